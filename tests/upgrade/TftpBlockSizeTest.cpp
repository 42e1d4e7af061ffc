#include <gtest/gtest.h>

#include "tests/upgrade/TftpClientOnFake.h"
#include "upgrade/TftpBlockSize.h"

// The "blksize" negotiation of an upgrade that asks for a size of its own: the device's answer
// decides, within what was asked.
namespace {

constexpr uint32_t kDevice = 0x7F000001;
constexpr uint16_t kDevicePort = 3000;

QByteArray Pattern(qint64 size) {
    QByteArray bytes(size, '\0');
    for (qint64 i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + i / 700) & 0xFF);
    return bytes.replace(0, 4, "QMDR");
}

QByteArray OptionAck(std::vector<TftpOption> options) {
    return EncodeTftp(TftpOptionAck{std::move(options)});
}

class TftpBlockSizeTest : public TftpClientOnFake {
  protected:
    // What the device got, block by block, acknowledging each; empty when the client ended
    // the transfer before any data.
    std::vector<QByteArray> Upload() {
        std::vector<QByteArray> blocks;
        while (!transport.sent.empty() && client.IsRunning()) {
            const QByteArray packet = transport.sent.back().packet;
            if (PeekTftpOpcode(packet) != static_cast<uint16_t>(TftpOpcode::Data)) break;
            blocks.push_back(packet.mid(kTftpHeaderSize));
            transport.Deliver(EncodeTftp(TftpAck{static_cast<uint16_t>(blocks.size())}), kDevice,
                              kDevicePort);
        }
        return blocks;
    }

    int finished = 0;
};

TEST_F(TftpBlockSizeTest, TheDevicesAnswerDecidesWithinWhatWasAsked) {
    struct Case {
        const char* name;
        int asked;         // 0: as the window asks
        QByteArray reply;  // to the write request
        int blockSize;     // of the DATA blocks; 0: refused with an error packet
        QByteArray error;  // its message
    };
    const std::vector<Case> cases{
        {"accepted", 1428, OptionAck({{"blksize", "1428"}, {"tsize", "3000"}}), 1428, {}},
        {"lowered by the device", 1428, OptionAck({{"BLKSIZE", "1024"}}), 1024, {}},
        {"lowered to 512", 1428, OptionAck({{"blksize", "512"}}), 512, {}},
        {"option left out", 1428, OptionAck({{"tsize", "3000"}}), 512, {}},
        {"no option acknowledgement", 1428, EncodeTftp(TftpAck{0}), 512, {}},
        {"smaller than asked for below 512", 100, OptionAck({{"blksize", "8"}}), 8, {}},
        {"larger answer", 1428, OptionAck({{"blksize", "1429"}}), 0,
         "blksize 1429 is more than the 1428 asked"},
        {"below the least", 1428, OptionAck({{"blksize", "7"}}), 0, "blksize 7 is less than 8"},
        {"no number", 1428, OptionAck({{"blksize", "big"}}), 0,
         "the blksize answered is no number"},
        {"malformed", 1428,
         QByteArray("\0\x06"
                    "blksize\0",
                    10),
         0, "malformed option acknowledgement"},
        {"the window, whose answer is not examined", 0, OptionAck({{"blksize", "2048"}}), 512, {}},
    };
    const QByteArray image = Pattern(3000);
    const QString path = WriteImage(image);
    QObject::connect(&client, &CTftpClient::upgradeFinished, [this] { ++finished; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        transport.sent.clear();
        log.clear();
        const int before = finished;
        client.SetBlockSize(c.asked);
        ASSERT_TRUE(client.Start(path, kDevice, kDevice));
        ASSERT_EQ(transport.sent.size(), 1u);
        const auto request = DecodeTftpRequest(transport.sent[0].packet);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->options[0],
                  (TftpOption{"blksize", QByteArray::number(c.asked ? c.asked : 512)}));

        transport.Deliver(c.reply, kDevice, kDevicePort);
        const std::vector<QByteArray> blocks = Upload();
        if (c.blockSize == 0) {
            EXPECT_TRUE(blocks.empty());
            ASSERT_EQ(transport.sent.size(), 2u);
            EXPECT_EQ(transport.sent[1].packet, EncodeTftp(TftpError{8, c.error}));
            EXPECT_EQ(transport.sent[1].port, kDevicePort);
            EXPECT_EQ(log.at(log.size() - 2),
                      "TFTP_ERROR sent, ERR_CODE: 8, ERR_MSG: " + QString::fromLatin1(c.error));
            EXPECT_EQ(finished, before);
            EXPECT_FALSE(client.IsRunning());
            continue;
        }
        QByteArray got;
        for (size_t i = 0; i < blocks.size(); ++i) {
            if (i + 1 < blocks.size()) {
                EXPECT_EQ(blocks[i].size(), c.blockSize) << i;
            }
            got += blocks[i];
        }
        EXPECT_LT(blocks.back().size(), c.blockSize);
        EXPECT_EQ(got, image);
        EXPECT_EQ(finished, before + 1);
    }
    EXPECT_TRUE(prompts.shown.empty());
}

// An image must fit in 32767 blocks of the size asked, and of the size the device answers.
TEST_F(TftpBlockSizeTest, ABlockSizeTheImageDoesNotFitInIsRefused) {
    EXPECT_EQ(TftpBlockSizeProblem(7, 4), "a TFTP block size is 8 to 65464 bytes, not 7");
    EXPECT_EQ(TftpBlockSizeProblem(65465, 4), "a TFTP block size is 8 to 65464 bytes, not 65465");
    EXPECT_EQ(TftpBlockSizeProblem(8, 8 * 32767 - 1), "");
    EXPECT_EQ(TftpBlockSizeProblem(8, 8 * 32767),
              "the image needs more than 32767 blocks of 8 bytes");
    EXPECT_EQ(TftpBlockSizeProblem(65464, CTftpClient::kMaxImageSize), "");

    const QString path = WriteImage(Pattern(8 * 32767));
    client.SetBlockSize(8);
    EXPECT_FALSE(client.Start(path, kDevice, kDevice));
    EXPECT_EQ(prompts.Texts(), QStringList{"the image needs more than 32767 blocks of 8 bytes"});
    EXPECT_TRUE(transport.sent.empty());

    client.SetBlockSize(16);
    ASSERT_TRUE(client.Start(path, kDevice, kDevice));
    transport.Deliver(OptionAck({{"blksize", "8"}}), kDevice, kDevicePort);
    ASSERT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(transport.sent[1].packet,
              EncodeTftp(TftpError{8, "the image needs more than 32767 blocks of 8 bytes"}));
    EXPECT_FALSE(client.IsRunning());
}

}  // namespace
