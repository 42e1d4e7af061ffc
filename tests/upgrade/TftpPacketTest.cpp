#include <gtest/gtest.h>

#include "upgrade/TftpPacket.h"

namespace {

// The literal's bytes without the terminating NUL that the compiler adds.
template <size_t N>
QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

const QByteArray kUpgradeRequest = Bytes(
    "\x00\x02"
    "fw.bin\0"
    "octet\0"
    "blksize\0"
    "512\0"
    "tsize\0"
    "1024\0");
const QByteArray kData = Bytes(
    "\x00\x03\x12\x34"
    "abc");
const QByteArray kAck = Bytes("\x00\x04\xAB\xCD");
const QByteArray kError = Bytes(
    "\x00\x05\x00\x06"
    "exists\0");
const QByteArray kOptionAck = Bytes(
    "\x00\x06"
    "blksize\0"
    "512\0"
    "tsize\0"
    "0\0");

}  // namespace

TEST(TftpPacket, UpgradeRequestCarriesOctetModeBlockSizeAndLength) {
    EXPECT_EQ(EncodeTftp(MakeUpgradeRequest("fw.bin", 1024)), kUpgradeRequest);
    EXPECT_EQ(EncodeTftp(MakeUpgradeRequest("e.bin", 0)), Bytes("\x00\x02"
                                                                "e.bin\0"
                                                                "octet\0"
                                                                "blksize\0"
                                                                "512\0"
                                                                "tsize\0"
                                                                "0\0"));
    EXPECT_EQ(EncodeTftp(MakeUpgradeRequest("big.bin", 16776703)).right(15), Bytes("tsize\0"
                                                                                   "16776703\0"));
}

TEST(TftpPacket, GoldenVectorsDecodeAndEncodeBack) {
    const auto request = DecodeTftpRequest(kUpgradeRequest);
    ASSERT_TRUE(request);
    EXPECT_EQ(*request, MakeUpgradeRequest("fw.bin", 1024));

    const auto data = DecodeTftpData(kData);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->block, 0x1234);
    EXPECT_EQ(data->data, "abc");
    EXPECT_EQ(EncodeTftp(*data), kData);

    const auto ack = DecodeTftpAck(kAck);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->block, 0xABCD);
    EXPECT_EQ(EncodeTftp(*ack), kAck);

    const auto error = DecodeTftpError(kError);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, (TftpError{6, "exists"}));
    EXPECT_EQ(EncodeTftp(*error), kError);

    const auto optionAck = DecodeTftpOptionAck(kOptionAck);
    ASSERT_TRUE(optionAck);
    EXPECT_EQ(optionAck->options, (std::vector<TftpOption>{{"blksize", "512"}, {"tsize", "0"}}));
    EXPECT_EQ(EncodeTftp(*optionAck), kOptionAck);
    EXPECT_EQ(EncodeTftp(TftpOptionAck{}), Bytes("\x00\x06"));
}

TEST(TftpPacket, EachDecoderTakesOnlyItsOwnFullSixteenBitOpcode) {
    const QByteArray packets[] = {kUpgradeRequest, kData, kAck, kError, kOptionAck};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(DecodeTftpRequest(packets[i]).has_value(), i == 0);
        EXPECT_EQ(DecodeTftpData(packets[i]).has_value(), i == 1);
        EXPECT_EQ(DecodeTftpAck(packets[i]).has_value(), i == 2);
        EXPECT_EQ(DecodeTftpError(packets[i]).has_value(), i == 3);
        EXPECT_EQ(DecodeTftpOptionAck(packets[i]).has_value(), i == 4);
    }
    // A nonzero high byte makes another opcode, not an acknowledgement.
    EXPECT_FALSE(DecodeTftpAck(Bytes("\x01\x04\x00\x01")));
    EXPECT_EQ(PeekTftpOpcode(Bytes("\x01\x04")), 0x0104);
    EXPECT_FALSE(PeekTftpOpcode(Bytes("\x00")));
}

TEST(TftpPacket, CutPacketsAreRejectedOrAreWholeShorterPackets) {
    for (qsizetype n = 0; n < kUpgradeRequest.size(); ++n) {
        // Whole shorter requests end after the mode or after a complete option pair.
        const bool whole = n == 15 || n == 27;
        const auto decoded = DecodeTftpRequest(kUpgradeRequest.first(n));
        EXPECT_EQ(decoded.has_value(), whole) << n;
        if (decoded) {
            EXPECT_EQ(EncodeTftp(*decoded), kUpgradeRequest.first(n));
        }
    }
    for (qsizetype n = 0; n < kOptionAck.size(); ++n) {
        const bool whole = n == 2 || n == 14;
        EXPECT_EQ(DecodeTftpOptionAck(kOptionAck.first(n)).has_value(), whole) << n;
    }
    for (qsizetype n = 0; n < 4; ++n) {
        EXPECT_FALSE(DecodeTftpData(kData.first(n))) << n;
        EXPECT_FALSE(DecodeTftpAck(kAck.first(n))) << n;
        EXPECT_FALSE(DecodeTftpError(kError.first(n))) << n;
    }
    // Past the header a DATA packet is just shorter, and an error text without its NUL runs to
    // the end of the packet.
    EXPECT_EQ(DecodeTftpData(kData.first(5))->data, "a");
    EXPECT_EQ(DecodeTftpError(kError.first(6))->message, "ex");
    EXPECT_EQ(DecodeTftpError(kError.first(4))->message, "");
}

TEST(TftpPacket, OddShapesFromTheWire) {
    // Padding after an acknowledgement's block number is ignored.
    EXPECT_EQ(DecodeTftpAck(Bytes("\x00\x04\x00\x07\x00\x00"))->block, 7);
    // The error text stops at its first NUL.
    EXPECT_EQ(DecodeTftpError(Bytes("\x00\x05\x00\x00"
                                    "a\0b\0"))
                  ->message,
              "a");
    // DATA holds at most one 512-byte block.
    QByteArray full = EncodeTftp(TftpData{1, QByteArray(kTftpBlockSize, 'x')});
    EXPECT_TRUE(DecodeTftpData(full));
    EXPECT_FALSE(DecodeTftpData(full + 'x'));
    // An option name without its value is no option list.
    EXPECT_FALSE(
        DecodeTftpOptionAck(Bytes("\x00\x06"
                                  "tsize\0")));
    EXPECT_FALSE(
        DecodeTftpRequest(Bytes("\x00\x02"
                                "f\0"
                                "octet\0"
                                "tsize\0")));
    // A read request decodes too, for completeness of the codec.
    EXPECT_EQ(DecodeTftpRequest(Bytes("\x00\x01"
                                      "f\0"
                                      "octet\0"))
                  ->opcode,
              TftpOpcode::ReadRequest);
}
