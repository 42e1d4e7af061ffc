#include <gtest/gtest.h>

#include "monitor/MonitorController.h"
#include "monitor/MonitorRow.h"
#include "monitor/StatusReply.h"
#include "protocol/Message.h"
#include "tools/devsim/SimRecords.h"

namespace {

std::span<const uint8_t> Bytes(const QByteArray& data) {
    return {reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size())};
}

const QByteArray kGoldenReply = QByteArray::fromHex(
    "514d445252444d51"              // magic
    "11"                            // status reply
    "0b"                            // modem status
    "56312e362e31322d623030313300"  // "V1.6.12-b0013" and its zero byte
    "ffffffff"                      // TX 4294967295
    "78563412");                    // RX 0x12345678

const StatusReply kGoldenValues{0x0B, "V1.6.12-b0013", 0xFFFFFFFFu, 0x12345678u};

}  // namespace

TEST(StatusMessages, QueryAndReplyMatchTheirBytes) {
    EXPECT_EQ(msg::BuildStatusQuery(), QByteArray::fromHex("514d445252444d5110"));
    ASSERT_EQ(kGoldenReply.size(), StatusReply::kSize);
    EXPECT_EQ(kGoldenValues.Encode(), kGoldenReply);
    EXPECT_EQ(StatusReply::Decode(Bytes(kGoldenReply)), kGoldenValues);
}

TEST(StatusMessages, ReplyReadsWhatTheSimulatedDeviceSends) {
    const QByteArray sent = devsim::BuildStatusReply({0x0B, "V1.6.12-b0013", 0xFFFFFFFFu, 1});
    EXPECT_EQ(StatusReply::Decode(Bytes(sent)),
              (StatusReply{0x0B, "V1.6.12-b0013", 0xFFFFFFFFu, 1}));
}

TEST(StatusMessages, TruncatedOrForeignRepliesAreRejected) {
    for (int size = 0; size < StatusReply::kSize; ++size)
        EXPECT_FALSE(StatusReply::Decode(Bytes(kGoldenReply.left(size)))) << size;
    QByteArray otherCommand = kGoldenReply;
    otherCommand[msg::kCommandOffset] = msg::kSearchReply;
    QByteArray noMagic = kGoldenReply;
    noMagic[0] = 'X';
    EXPECT_FALSE(StatusReply::Decode(Bytes(otherCommand)));
    EXPECT_FALSE(StatusReply::Decode(Bytes(noMagic)));
    // Bytes after the 32 are not the reply's business.
    EXPECT_EQ(StatusReply::Decode(Bytes(kGoldenReply + QByteArray(10, '\xCC'))), kGoldenValues);
}

TEST(StatusMessages, VersionEndsAtItsZeroByteOrAtItsField) {
    QByteArray afterZero = kGoldenReply;
    afterZero[StatusReply::kVersionOffset + 3] = '\0';
    EXPECT_EQ(StatusReply::Decode(Bytes(afterZero))->firmwareVersion, "V1.");

    QByteArray noZero = kGoldenReply;
    for (int i = 0; i < StatusReply::kVersionWidth; ++i)
        noZero[StatusReply::kVersionOffset + i] = 'A';
    const auto reply = StatusReply::Decode(Bytes(noZero));
    EXPECT_EQ(reply->firmwareVersion, QByteArray(StatusReply::kVersionWidth, 'A'));
    EXPECT_EQ(reply->txCount, 0xFFFFFFFFu);
    EXPECT_EQ(reply->Encode(), noZero);
}

TEST(MonitorRows, ShowTheReplyTheFailureAndTheDevice) {
    MonitorRow row = MonitorRow::FromDevice({4, "Lab-7", "127.0.0.9", "00-1A-AB-cd-ef-07"});
    EXPECT_EQ(row.cells, (std::array<QString, 8>{"4", "Idle", "Lab-7", "127.0.0.9"}));
    EXPECT_EQ(row.mac, "00-1A-AB-cd-ef-07");
    EXPECT_EQ(row.back, kMonitorNormalBack);

    row.ShowFailure();
    EXPECT_EQ(row.cells, (std::array<QString, 8>{"4", "Fail", "Lab-7", "127.0.0.9", "---", "---",
                                                 "---", "---"}));
    EXPECT_EQ(row.back, (Rgb{230, 230, 215}));

    row.ShowReply({0x0B, "V1.6.12-b0013", 0xFFFFFFFFu, 0});
    EXPECT_EQ(row.cells, (std::array<QString, 8>{"4", "Success", "Lab-7", "127.0.0.9", "0B",
                                                 "V1.6.12-b0013", "4294967295", "0"}));
    EXPECT_EQ(row.back, (Rgb{215, 215, 230}));
    row.ShowReply({0xF0, "", 1, 2});
    EXPECT_EQ(row.cells[MonitorRow::kModemColumn], "F0");
}

TEST(MonitorRows, IntervalIsClampedTo3Through3600) {
    const std::pair<qint64, int> cases[] = {
        {-5, 3},  {0, 3},       {1, 3},       {2, 3},       {3, 3},
        {10, 10}, {3600, 3600}, {3601, 3600}, {4000, 3600}, {1LL << 40, 3600}};
    for (const auto& [typed, kept] : cases)
        EXPECT_EQ(MonitorController::ClampInterval(typed), kept) << typed;
}
