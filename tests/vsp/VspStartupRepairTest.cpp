// The start-up repair: client ports that vsp.dat saved as connected while the service has them
// disconnected are announced to their device, and reconnected when they connect at start.
#include <QFile>

#include "protocol/ByteOrder.h"
#include "tests/vsp/VspSupervisionFixture.h"

namespace {

std::vector<devsim::ReceivedCommand> AnnouncementsOf(const devsim::SimDevice& device) {
    std::vector<devsim::ReceivedCommand> all;
    for (const auto& r : device.Received())
        if (r.port == devsim::Port::Probe && r.command == msg::kHostAnnouncement) all.push_back(r);
    return all;
}

}  // namespace

class StartupRepair : public Supervision {
  protected:
    // COM5 configured for the device but not connected, and a vsp.dat that saved it as
    // "Connected", loaded as at program start.
    void SaveAsConnected(int32_t connectAtStart) {
        Start();
        AddClientPort(connectAtStart);
        ASSERT_EQ(service.EntryOf(5).info.connected, 0u);
        QByteArray saved = frame.SavedTable();
        ASSERT_TRUE(saved.contains(" Idle "));
        QFile file(frame.PortTablePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(saved.replace(" Idle ", " Connected "));
        file.close();
        frame.table.Load(frame.PortTablePath());
        ASSERT_TRUE(frame.table.TableLoaded());
    }
    std::array<uint8_t, 2> ReportedPort() {
        vspd::RemoteInfoReply reply;
        EXPECT_EQ(frame.driver.GetRemoteInfo("COM5", &reply), 0u);
        std::array<uint8_t, 2> port{};
        bytes::PutBE16(port.data(), reply.reportedPort);
        return port;
    }
};

TEST_F(StartupRepair, AnnouncesThreeTimesAndReconnectsTwoSecondsLater) {
    SaveAsConnected(1);
    const std::array<uint8_t, 2> reported = ReportedPort();
    vsp.RunStartupRepair();
    ASSERT_TRUE(PumpUntil([&] { return AnnouncementsOf(*device).size() >= 3; }));
    PumpQuiet(kPumpMs);
    const auto announcements = AnnouncementsOf(*device);
    ASSERT_EQ(announcements.size(), 3u);
    const QByteArray expected = msg::BuildHostAnnouncement(0x7F000001, reported);
    for (const auto& a : announcements) {
        EXPECT_EQ(a.bytes, expected);
        EXPECT_EQ(a.sender, QHostAddress(frame.hostAddress));
        EXPECT_EQ(a.senderPort, msg::kUnicastSocketPort);
        EXPECT_EQ(a.timeMs, frame.clock.Now());
    }
    for (const auto& a : device->Announcements()) {
        EXPECT_EQ(a.hostAddress, 0x7F000001u);
        EXPECT_EQ(a.reportedPort, reported);
    }

    EXPECT_EQ(frame.clock.DueIn(&vsp.Commands(), VspPortCommands::kReconnectTimer),
              VspPortCommands::kReconnectMs);
    frame.clock.Advance(VspPortCommands::kReconnectMs - 1);
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
    frame.clock.Advance(1);
    Settle();
    EXPECT_EQ(service.EntryOf(5).info.connected, 1u);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(Cell(0, VspRow::kRemoteIpColumn), DeviceIp());
    EXPECT_EQ(Cell(0, VspRow::kRemotePortColumn), QString::number(peer->port));
    EXPECT_EQ(Word("COM5"), vsppoll::kAnsweredOpen);
    EXPECT_EQ(frame.tree, QStringList{"COM5 (" + DeviceIp() + ")"});
    EXPECT_FALSE(frame.clock.IsRunning(&vsp.Commands(), VspPortCommands::kReconnectTimer));
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
}

TEST_F(StartupRepair, WithoutConnectAtStartOnlyAnnounces) {
    SaveAsConnected(0);
    vsp.RunStartupRepair();
    ASSERT_TRUE(PumpUntil([&] { return AnnouncementsOf(*device).size() >= 3; }));
    EXPECT_FALSE(frame.clock.IsRunning(&vsp.Commands(), VspPortCommands::kReconnectTimer));
    frame.clock.Advance(10 * VspPortCommands::kReconnectMs);
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
}

TEST_F(StartupRepair, APortTheServiceHasConnectedIsLeftAlone) {
    SaveAsConnected(1);
    ConnectRow(0);
    ASSERT_EQ(service.EntryOf(5).info.connected, 1u);
    vsp.RunStartupRepair();
    Answered();
    PumpQuiet(50);
    EXPECT_TRUE(AnnouncementsOf(*device).empty());
    EXPECT_FALSE(frame.clock.IsRunning(&vsp.Commands(), VspPortCommands::kReconnectTimer));
}

TEST_F(StartupRepair, WithoutVspDatNothingIsSent) {
    Start();
    AddClientPort(1);
    ASSERT_FALSE(QFile::exists(frame.PortTablePath() + ".missing"));
    frame.table.Load(frame.PortTablePath() + ".missing");
    ASSERT_FALSE(frame.table.TableLoaded());
    vsp.RunStartupRepair();
    Answered();
    PumpQuiet(50);
    EXPECT_TRUE(device->Received().empty());
    EXPECT_FALSE(frame.clock.IsRunning(&vsp.Commands(), VspPortCommands::kReconnectTimer));
    frame.clock.Advance(10 * VspPortCommands::kReconnectMs);
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
}
