#include <gtest/gtest.h>

#include "platform/ManualClock.h"
#include "protocol/Ipv4Address.h"
#include "tests/devsim/HostSocket.h"
#include "tools/devsim/LoopbackGuard.h"
#include "tools/devsim/SimRecords.h"

using namespace devsim;

namespace {

constexpr uint32_t kBase = 0x7F004D0A;  // 127.0.77.10
constexpr uint32_t kBroadcast = 0xFFFFFFFF;

class DeviceSimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim.Start()); }

    SimDevice& AddOne(DeviceProfile profile = DefaultProfile(0)) {
        SimDevice* d = sim.AddDevice(profile);
        EXPECT_NE(d, nullptr);
        return *d;
    }

    // Sends one request and returns the single answer, or an empty datagram.
    QNetworkDatagram Ask(const QByteArray& request, SimDevice& d, Port port = Port::Management) {
        host.Clear();
        host.Send(request, d, port);
        if (!host.WaitFor(1)) return {};
        host.Settle();
        EXPECT_EQ(host.Got().size(), 1u);
        return host.Got().front();
    }

    QByteArray SetupCommandFor(const SimDevice& d, const QString& name) {
        DeviceConfigRecord edited = d.StoredRecord();
        edited.Set(devrec::deviceName, name);
        edited.Set(devrec::listenPort, 4660);
        return BuildSetupCommand(edited, d.MacAddress()).ToByteArray();
    }

    ManualClock clock;
    DeviceSimulator sim{clock, TestOptions(kBase)};
    HostSocket host;
};

}  // namespace

TEST_F(DeviceSimulatorTest, BroadcastSearchIsAnsweredByEveryDeviceFromItsOwnAddress) {
    ASSERT_TRUE(sim.AddDevices(3));
    host.Send(msg::BuildSearchRequest(), kBroadcast, kTestManagementPort);
    ASSERT_TRUE(host.WaitFor(3));
    host.Settle();
    ASSERT_EQ(host.Got().size(), 3u);
    for (const QNetworkDatagram& reply : host.Got()) {
        SimDevice* d = sim.FindByAddress(reply.senderAddress().toIPv4Address());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(reply.senderPort(), kTestManagementPort);
        EXPECT_EQ(reply.data(), ReplyImage(d->StoredRecord(), msg::kSearchReply));
        ASSERT_EQ(d->Received().size(), 1u);
        EXPECT_TRUE(d->Received()[0].broadcast);
        EXPECT_EQ(d->Received()[0].handling, Handling::Answered);
    }
    EXPECT_EQ(sim.SearchesReceived(), 1);
    EXPECT_EQ(Ipv4Address(sim.Device(2).Address()).ToString(), "127.0.77.12");
}

TEST_F(DeviceSimulatorTest, UnicastGoesOnlyToTheAddressedDeviceAndNowhereElse) {
    ASSERT_TRUE(sim.AddDevices(2));
    const QNetworkDatagram reply = Ask(msg::BuildSearchRequest(), sim.Device(1));
    EXPECT_EQ(reply.senderAddress().toIPv4Address(), sim.Device(1).Address());
    EXPECT_TRUE(sim.Device(0).Received().empty());

    // An address where no device lives reaches the wildcard listener; it is not a broadcast.
    host.Clear();
    host.Send(msg::BuildSearchRequest(), kBase + 100, kTestManagementPort);
    host.Settle();
    EXPECT_TRUE(host.Got().empty());
    EXPECT_EQ(sim.SearchesReceived(), 0);
}

TEST_F(DeviceSimulatorTest, SetupStoresTheRecordAnswersWithItAndStaysSilentWhileRestarting) {
    DeviceProfile profile = DefaultProfile(0);
    profile.linkStatus = 1;
    profile.restartMs = 5000;
    SimDevice& d = AddOne(profile);
    const QByteArray command = SetupCommandFor(d, QStringLiteral("Renamed"));

    const QNetworkDatagram reply = Ask(command, d);
    ASSERT_EQ(reply.data().size(), 756);
    QByteArray expected = command;
    expected[8] = msg::kSetupReply;
    expected[9] = 0;
    expected[104] = 1;  // the live link status, which the command carries as 0
    EXPECT_EQ(reply.data(), expected);
    EXPECT_EQ(d.StoredRecord().Get(devrec::deviceName), "Renamed");
    EXPECT_EQ(d.StoredRecord().Get(devrec::listenPort), 4660);

    EXPECT_TRUE(d.IsRestarting());
    EXPECT_EQ(clock.DueIn(&d, SimDevice::kRestartTimer), 5000);
    host.Clear();
    host.Send(msg::BuildSearchRequest(), d, Port::Management);
    host.Send(msg::BuildStatusProbe(), d, Port::Probe);
    host.Settle();
    EXPECT_TRUE(host.Got().empty());
    EXPECT_EQ(d.Received().back().handling, Handling::Restarting);

    clock.Advance(4999);
    EXPECT_TRUE(d.IsRestarting());
    clock.Advance(1);
    EXPECT_FALSE(d.IsRestarting());
    const QNetworkDatagram after = Ask(msg::BuildSearchRequest(), d);
    EXPECT_EQ(after.data(), ReplyImage(d.StoredRecord(), msg::kSearchReply));
    EXPECT_EQ(
        DeviceConfigRecord::FromBytes({reinterpret_cast<const uint8_t*>(after.data().data()), 756})
            ->Get(devrec::deviceName),
        "Renamed");
    EXPECT_EQ(d.RestartCount(), 1);
}

TEST_F(DeviceSimulatorTest, ATruncatedSetupCommandChangesNothing) {
    SimDevice& d = AddOne();
    const DeviceConfigRecord before = d.StoredRecord();
    host.Send(SetupCommandFor(d, QStringLiteral("X")).left(755), d, Port::Management);
    host.Settle();
    EXPECT_TRUE(host.Got().empty());
    EXPECT_EQ(d.StoredRecord(), before);
    EXPECT_FALSE(d.IsRestarting());
    EXPECT_EQ(d.Received().back().handling, Handling::Ignored);
}

TEST_F(DeviceSimulatorTest, RestoreBringsBackTheFactoryRecordThenRestarts) {
    SimDevice& d = AddOne();
    Ask(SetupCommandFor(d, QStringLiteral("Renamed")), d);
    clock.Advance(d.Profile().restartMs);
    ASSERT_NE(d.StoredRecord(), d.FactoryRecord());

    const QNetworkDatagram ack = Ask(msg::BuildRestoreCommand(d.StoredRecord().bytes()), d);
    EXPECT_EQ(ack.data(), ReplyImage(d.FactoryRecord(), msg::kRestoreAck));
    EXPECT_EQ(d.StoredRecord(), d.FactoryRecord());
    EXPECT_TRUE(d.IsRestarting());
}

TEST_F(DeviceSimulatorTest, RebootAcknowledgesKeepsTheRecordAndRestarts) {
    SimDevice& d = AddOne();
    const DeviceConfigRecord before = d.StoredRecord();
    const QNetworkDatagram ack = Ask(msg::BuildRebootCommand(before.bytes()), d);
    EXPECT_EQ(ack.data(), ReplyImage(before, msg::kRebootAck));
    EXPECT_EQ(d.StoredRecord(), before);
    EXPECT_TRUE(d.IsRestarting());
    clock.Advance(d.Profile().restartMs);
    EXPECT_FALSE(d.IsRestarting());
}

TEST_F(DeviceSimulatorTest, StatusQueryGetsThe32ByteReplyWithTheCurrentValues) {
    SimDevice& d = AddOne();
    d.Status() = {0x0B, QStringLiteral("V2.0.1"), 0xFFFFFFFF, 17};
    const QNetworkDatagram reply = Ask(msg::BuildStatusQuery(), d);
    EXPECT_EQ(reply.senderPort(), kTestManagementPort);
    EXPECT_EQ(reply.data(),
              QByteArray("QMDRRDMQ\x11\x0BV2.0.1\0\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF\x11\0\0\0", 32));
}

TEST_F(DeviceSimulatorTest, StatusProbeIsAnsweredFromTheProbePortWithTheConfiguredByte) {
    SimDevice& d = AddOne();
    const QNetworkDatagram connected = Ask(msg::BuildStatusProbe(), d, Port::Probe);
    EXPECT_EQ(connected.senderPort(), kTestProbePort);
    EXPECT_EQ(connected.data(), BuildProbeAnswer(kBase, 1));
    d.SetProbeByte(0);
    EXPECT_EQ(Ask(msg::BuildStatusProbe(), d, Port::Probe).data()[69], 0);
}

TEST_F(DeviceSimulatorTest, HostAnnouncementsAreRecordedAndNeverAnswered) {
    SimDevice& d = AddOne();
    clock.Advance(250);
    for (int i = 0; i < 3; ++i)
        host.Send(msg::BuildHostAnnouncement(0x7F000001, {0x0F, 0xA1}), d, Port::Probe);
    ASSERT_TRUE(PumpUntilCount(d.Announcements(), 3));
    host.Settle();
    EXPECT_TRUE(host.Got().empty());
    const Announcement& a = d.Announcements().front();
    EXPECT_EQ(a.hostAddress, 0x7F000001u);
    EXPECT_EQ(a.reportedPort, (std::array<uint8_t, 2>{0x0F, 0xA1}));
    EXPECT_EQ(a.timeMs, 250);
    EXPECT_EQ(d.Received().back().handling, Handling::Taken);
}

TEST_F(DeviceSimulatorTest, ForeignAndBrokenDatagramsAreRecordedButNotAnswered) {
    SimDevice& d = AddOne();
    host.Send(QByteArray("QMDRRDMQ"), d, Port::Management);         // no command byte
    host.Send(QByteArray("XMDRRDMQ\x0E", 9), d, Port::Management);  // no magic
    host.Send(msg::BuildHeaderOnly(static_cast<msg::Command>(0x07)), d, Port::Management);
    host.Send(msg::BuildSearchRequest(), d, Port::Probe);                       // wrong port
    host.Send(msg::BuildHostAnnouncement(1, {0, 0}).left(15), d, Port::Probe);  // short
    ASSERT_TRUE(PumpUntilCount(d.Received(), 5));
    host.Settle();
    EXPECT_TRUE(host.Got().empty());
    EXPECT_EQ(d.CountReceived(-1), 2);
    for (const ReceivedCommand& r : d.Received()) EXPECT_EQ(r.handling, Handling::Ignored);
    EXPECT_TRUE(d.Announcements().empty());
}

TEST_F(DeviceSimulatorTest, AStaticLoopbackAddressIsTakenUpAfterTheRestart) {
    SimDevice& d = AddOne();
    SimDevice& other = AddOne();
    DeviceConfigRecord edited = d.StoredRecord();
    edited.Set(devrec::staticIp, kBase + 50);
    const QNetworkDatagram reply = Ask(BuildSetupCommand(edited, d.MacAddress()).ToByteArray(), d);
    EXPECT_EQ(reply.senderAddress().toIPv4Address(), kBase);
    clock.Advance(d.Profile().restartMs);
    EXPECT_EQ(d.Address(), kBase + 50);
    const QNetworkDatagram moved = Ask(msg::BuildSearchRequest(), d);
    EXPECT_EQ(moved.senderAddress().toIPv4Address(), kBase + 50);
    EXPECT_EQ(d.StoredRecord().Get(devrec::currentIp), kBase + 50);

    // Another device's address, or one taken by DHCP, leaves the device where it is.
    edited = other.StoredRecord();
    edited.Set(devrec::staticIp, kBase + 50);
    Ask(BuildSetupCommand(edited, other.MacAddress()).ToByteArray(), other);
    clock.Advance(other.Profile().restartMs);
    EXPECT_EQ(other.Address(), kBase + 1);
    edited.Set(devrec::staticIp, kBase + 60);
    edited.SetFlag(devrec::netFlags, devrec::kDhcpClient, true);
    Ask(BuildSetupCommand(edited, other.MacAddress()).ToByteArray(), other);
    clock.Advance(other.Profile().restartMs);
    EXPECT_EQ(other.Address(), kBase + 1);
}

TEST_F(DeviceSimulatorTest, AddressesSkipDotZeroAndDot255AndStayUnique) {
    DeviceSimulator wide(clock, TestOptions(0x7F004EFE));  // 127.0.78.254
    ASSERT_TRUE(wide.AddDevices(3));
    EXPECT_EQ(Ipv4Address(wide.Device(1).Address()).ToString(), "127.0.79.1");
    EXPECT_EQ(Ipv4Address(wide.Device(2).Address()).ToString(), "127.0.79.2");
    DeviceProfile taken;
    taken.address = wide.Device(2).Address();
    EXPECT_EQ(wide.AddDevice(taken), nullptr);
    DeviceProfile outside;
    outside.address = 0xC0000201;  // 192.0.2.1
    EXPECT_EQ(wide.AddDevice(outside), nullptr);
}

TEST(LoopbackGuard, OnlyIpv4LoopbackIsADestination) {
    for (const char* yes : {"127.0.0.1", "127.0.77.10", "127.255.255.254"})
        EXPECT_TRUE(IsLoopbackDestination(QHostAddress(QString::fromLatin1(yes)))) << yes;
    for (const char* no : {"128.0.0.1", "126.255.255.255", "192.168.0.3", "255.255.255.255",
                           "0.0.0.0", "::1", "::ffff:127.0.0.1", "10.0.0.1"})
        EXPECT_FALSE(IsLoopbackDestination(QHostAddress(QString::fromLatin1(no)))) << no;
    EXPECT_FALSE(IsLoopbackDestination(QHostAddress()));
}

TEST_F(DeviceSimulatorTest, NothingIsSentToASenderOutsideTheMachine) {
    SimDevice& d = AddOne();
    const QHostAddress outside(QStringLiteral("192.0.2.1"));
    d.OnDatagram(Port::Management, msg::BuildSearchRequest(), outside, 25120);
    d.OnDatagram(Port::Probe, msg::BuildStatusProbe(), outside, 25126);
    ASSERT_EQ(d.Sent().size(), 2u);
    EXPECT_TRUE(d.Sent()[0].refused);
    EXPECT_TRUE(d.Sent()[1].refused);
    EXPECT_EQ(sim.RefusedSends(), 2);

    // The wildcard listener does not even pass such a search on.
    sim.OnBroadcast(msg::BuildSearchRequest(), outside, 25120);
    EXPECT_EQ(sim.SearchesReceived(), 0);
    EXPECT_EQ(d.Received().size(), 2u);

    // Nor does the TFTP side answer one, not even with an error.
    d.Tftp().OnRequest(QByteArray("\0\x02"
                                  "f\0octet\0",
                                  10),
                       outside, 1234);
    d.Tftp().OnRequest(QByteArray("\0\x01"
                                  "f\0octet\0",
                                  10),
                       outside, 1234);
    EXPECT_EQ(d.RefusedSends(), 4);
    EXPECT_EQ(d.Tftp().ActiveTransfers(), 0);
}

TEST(DeviceSimulatorFilter, SearchesFromAnotherPortAreLeftToOtherSimulators) {
    ManualClock clock;
    HostSocket mine, theirs;
    SimulatorOptions options = TestOptions(0x7F00510A);  // 127.0.81.10
    options.searchSenderPort = mine.Port();
    DeviceSimulator sim(clock, options);
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(sim.AddDevices(2));
    theirs.Send(msg::BuildSearchRequest(), kBroadcast, kTestManagementPort);
    mine.Send(msg::BuildSearchRequest(), kBroadcast, kTestManagementPort);
    ASSERT_TRUE(mine.WaitFor(2));
    theirs.Settle();
    mine.Settle();
    EXPECT_EQ(mine.Got().size(), 2u);
    EXPECT_TRUE(theirs.Got().empty());
    EXPECT_EQ(sim.SearchesReceived(), 1);
}

TEST(DeviceSimulatorRecording, ALongRunningSimulatorAnswersButKeepsNothing) {
    ManualClock clock;
    HostSocket host;
    SimulatorOptions options = TestOptions(0x7F00520A);  // 127.0.82.10
    options.recordTraffic = false;
    DeviceSimulator sim(clock, options);
    ASSERT_TRUE(sim.Start());
    SimDevice* d = sim.AddDevice(DefaultProfile(0));
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 3; ++i) host.Send(msg::BuildSearchRequest(), *d, Port::Management);
    ASSERT_TRUE(host.WaitFor(3));
    EXPECT_TRUE(d->Received().empty());
    EXPECT_TRUE(d->Sent().empty());
}
