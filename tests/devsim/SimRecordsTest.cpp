#include <gtest/gtest.h>

#include <vector>

#include "devcfg/ValueLists.h"
#include "tools/devsim/SimRecords.h"

using namespace devsim;

namespace {

constexpr uint32_t kAddress = 0x7F00000A;  // 127.0.0.10
constexpr Mac kMac{0x02, 0x56, 0x54, 0x00, 0x00, 0x01};

std::vector<uint8_t> Bytes(const DeviceConfigRecord& r, int offset, int width) {
    return {r.bytes().begin() + offset, r.bytes().begin() + offset + width};
}
std::vector<uint8_t> Bytes(const QByteArray& d, int offset, int width) {
    return {d.begin() + offset, d.begin() + offset + width};
}

DeviceProfile LabProfile() {
    DeviceProfile profile;
    profile.name = QStringLiteral("Lab-01");
    profile.operationMode = 1;
    profile.linkStatus = 1;
    return profile;
}

}  // namespace

TEST(FactoryRecord, GoldenBytesAtEveryEncoding) {
    const DeviceConfigRecord r = FactoryRecord(LabProfile(), kAddress, kMac);
    struct Case {
        int offset;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases{
        {0, {'Q', 'M', 'D', 'R', 'R', 'D', 'M', 'Q', 0x01, 0x00}},
        {10, {'L', 'a', 'b', '-', '0', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {26, {0x02, 0x56, 0x54, 0x00, 0x00, 0x01}},
        {32, {0x04, 0x21}},                          // TCP server; NTP clock, VCOM
        {34, {127, 0, 0, 10, 127, 0, 0, 10}},        // current and static address
        {42, {0x0F, 0xA1, 0x62, 0x22, 0x0F, 0xA1}},  // ports big-endian: 4001, 25122, 4001
        {84, {255, 0, 0, 0, 127, 0, 0, 1, 127, 0, 0, 1}},
        {96, {8, 1, 0, 0, 0x00, 0xC2, 0x01, 0x00}},  // 8N1, no flow control, 115200 LE
        {104, {1, 0, 0x00, 0x0A}},                   // link, reserved, transmit timer BE
        {360, {0x03, 0x00, 25, 0, 0}},               // cold and warm start mails, port 25
        {612, {100, 0, 10, 10, 199, 0, 10, 10}},     // DHCP pool as host words
        {620, {0, 255, 255, 255, 1, 0, 10, 10, 0xA0, 0x05, 0}},
        {740, {12}},
        {744, {0xF6, 0x01, 0, 1, 0xE8, 0x03, 10, 0, 10, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Bytes(r, c.offset, static_cast<int>(c.bytes.size())), c.bytes)
            << "at offset " << c.offset;
    for (auto [offset, width] : devrec::kReservedRanges)
        EXPECT_EQ(Bytes(r, offset, width), std::vector<uint8_t>(width, 0)) << offset;
}

TEST(FactoryRecord, EveryListFieldHasAPositionSoTheEditorOpensItCleanly) {
    DeviceProfile wireless = LabProfile();
    wireless.wifi = true;
    wireless.baudRate = 9600;
    for (const DeviceProfile& profile : {LabProfile(), wireless}) {
        const DeviceConfigRecord r = FactoryRecord(profile, kAddress, kMac);
        EXPECT_TRUE(lists::baudRate.PositionOf(r.Get(devrec::baudRate)));
        EXPECT_TRUE(lists::dataBits.PositionOf(r.Get(devrec::dataBits)));
        EXPECT_TRUE(lists::stopBits.PositionOf(r.Get(devrec::stopBits)));
        EXPECT_TRUE(lists::parity.PositionOf(r.Get(devrec::parity)));
        EXPECT_TRUE(lists::flowControl.PositionOf(r.Get(devrec::flowControl)));
        EXPECT_TRUE(lists::wifiNetworkMode.PositionOf(r.Get(devrec::wifiNetworkMode)));
        EXPECT_TRUE(lists::wifiChannel.PositionOf(r.Get(devrec::wifiChannel)));
        EXPECT_TRUE(lists::wifiSecurity.PositionOf(r.Get(devrec::wifiSecurity)));
        EXPECT_TRUE(lists::wepKeyIndex.PositionOf(r.Get(devrec::wepKeyIndex)));
        EXPECT_TRUE(lists::wepKeyLength.PositionOf(r.Get(devrec::wepKeyLength)));
        EXPECT_TRUE(lists::smtpSecurity.PositionOf(r.Get(devrec::smtpSecurity)));
        EXPECT_TRUE(lists::modbusTransferMode.PositionOf(r.Get(devrec::modbusTransferMode)));
        EXPECT_TRUE(lists::dhcpServerStatus.PositionOf(r.Get(devrec::dhcpServerEnabled)));
        EXPECT_TRUE(lists::timeZone.PositionOf(r.Get(devrec::ntpTimeZone)));
        EXPECT_TRUE(lists::wifiRf.PositionOf(r.Get(devrec::wifiRf)));
        EXPECT_EQ(r.Get(devrec::ssidLength), r.Get(devrec::ssid).size());
        EXPECT_EQ(r.Get(devrec::pskLength), r.Get(devrec::psk).size());
        EXPECT_GE(r.Get(devrec::psk).size(), 8);
        EXPECT_EQ(r.WepKey(false, 3).size(), devrec::wep64KeyWidth);
        EXPECT_EQ(r.WepKey(true, 3).size(), devrec::wep128KeyWidth);
    }
}

TEST(FactoryRecord, FlagsFollowTheProfileAndASixteenCharacterNameHasNoTerminator) {
    DeviceProfile profile;
    profile.name = QStringLiteral("ABCDEFGHIJKLMNOP");
    profile.clientMode = true;
    profile.dhcp = true;
    profile.udp = true;
    profile.operationMode = 3;
    const DeviceConfigRecord r = FactoryRecord(profile, kAddress, kMac);
    EXPECT_EQ(r.Get(devrec::netFlags), 0xC8);
    EXPECT_EQ(r.Get(devrec::modeFlags), 0x23);
    EXPECT_EQ(r.bytes()[25], 'P');
    EXPECT_EQ(r.bytes()[26], 0x02);  // the MAC follows at once
    EXPECT_EQ(r.Get(devrec::deviceName), profile.name);
}

TEST(ReplyImage, CarriesTheStoredRecordUnderTheReplyCode) {
    DeviceConfigRecord stored = FactoryRecord(LabProfile(), kAddress, kMac);
    stored.Set(devrec::marker, 1);
    for (auto code : {msg::kSearchReply, msg::kSetupReply, msg::kRestoreAck, msg::kRebootAck}) {
        const QByteArray image = ReplyImage(stored, code);
        ASSERT_EQ(image.size(), 756);
        EXPECT_EQ(static_cast<uint8_t>(image[8]), code);
        EXPECT_EQ(image[9], 0);
        EXPECT_EQ(image.mid(10), stored.ToByteArray().mid(10));
    }
}

TEST(AcceptSetup, KeepsTheDevicesOwnIdentityAndLiveStateAndTakesEverythingElse) {
    const DeviceConfigRecord live = FactoryRecord(LabProfile(), kAddress, kMac);
    DeviceConfigRecord edited = live;
    edited.Set(devrec::deviceName, QStringLiteral("Renamed"));
    edited.Set(devrec::currentIp, 0xC0A80003);
    edited.Set(devrec::staticIp, 0x7F000063);
    edited.Set(devrec::listenPort, 4660);
    edited.Set(devrec::modbusPort, 4660);
    const DeviceConfigRecord command =
        BuildSetupCommand(edited, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});

    const DeviceConfigRecord stored = AcceptSetup(command, live);
    EXPECT_EQ(stored.Get(devrec::command), msg::kSearchReply);
    EXPECT_EQ(stored.Get(devrec::marker), 0);
    EXPECT_EQ(stored.MacAddress(), kMac);
    EXPECT_EQ(stored.Get(devrec::currentIp), kAddress);
    EXPECT_EQ(stored.Get(devrec::linkStatus), 1);
    EXPECT_EQ(stored.Get(devrec::deviceName), "Renamed");
    EXPECT_EQ(stored.Get(devrec::staticIp), 0x7F000063u);
    EXPECT_EQ(Bytes(stored, 42, 2), (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_EQ(Bytes(stored, 744, 2), (std::vector<uint8_t>{0x34, 0x12}));
}

TEST(StatusReply, GoldenBytes) {
    const QByteArray reply =
        BuildStatusReply({0x0B, QStringLiteral("V1.6.12"), 0xFFFFFFFF, 0x01020304});
    const std::vector<uint8_t> expected{
        'Q', 'M', 'D', 'R', 'R', 'D', 'M', 'Q', 0x11, 0x0B, 'V',  '1',  '.',  '6',  '.',  '1',
        '2', 0,   0,   0,   0,   0,   0,   0,   0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(Bytes(reply, 0, reply.size()), expected);
}

TEST(StatusReply, ALongVersionIsCutSoItsTerminatorStaysInTheField) {
    const QByteArray reply = BuildStatusReply({0, QStringLiteral("ABCDEFGHIJKLMNOPQRST"), 0, 0});
    ASSERT_EQ(reply.size(), 32);
    EXPECT_EQ(reply.mid(10, 13), "ABCDEFGHIJKLM");
    EXPECT_EQ(reply[23], 0);
}

TEST(ProbeAnswer, AddressAt34AndTheStatusByteAt69) {
    const QByteArray answer = BuildProbeAnswer(0x7F004D05, 0x01);
    ASSERT_EQ(answer.size(), 70);
    EXPECT_EQ(answer.left(9), QByteArray("QMDRRDMQ\x01", 9));
    EXPECT_EQ(Bytes(answer, 34, 4), (std::vector<uint8_t>{127, 0, 77, 5}));
    EXPECT_EQ(answer[69], 0x01);
    EXPECT_EQ(BuildProbeAnswer(0x7F004D05, 0)[69], 0);
}

TEST(WithoutMagic, OverwritesOnlyTheMagic) {
    const QByteArray original = BuildProbeAnswer(0x7F000001, 1);
    const QByteArray broken = WithoutMagic(original);
    EXPECT_EQ(broken.left(8), "XXXXXXXX");
    EXPECT_EQ(broken.mid(8), original.mid(8));
    EXPECT_EQ(WithoutMagic(QByteArray("QMD")), "XXX");
}
