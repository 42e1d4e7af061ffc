// Port commands against a real veltro-vspd and real peers: Setting, Connect (client and
// server), Close, and the refusals before a connection is attempted.
#include <QFile>

#include "platform/ManualClock.h"
#include "tests/support/EventPump.h"
#include "tests/vsp/VspFlowFixture.h"
#include "tools/devsim/DeviceSimulator.h"
#include "vspd/DriverRequests.h"

namespace {

constexpr int kIo = 3000;

}  // namespace

TEST_F(VspFlow, ClientConnectCarriesBytesToThePeerAndBackThenCloses) {
    Start();
    Add(5);
    Add(6);
    ASSERT_EQ(Column(VspRow::kNameColumn), (QStringList{"COM5", "COM6"}));
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    EXPECT_EQ(vsp.SettingCaption(), "Setting");
    EXPECT_EQ(vsp.ConnectCaption(), "Connect");

    ConnectRow(0);
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
    EXPECT_EQ(vsp.Form().statusLine,
              QString("Connected to remote host 127.0.0.1@%1 successfully").arg(peer.port));
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(vsp.Rows()[0].back, kVspConnectedBack);
    EXPECT_EQ(Cell(0, VspRow::kRemoteIpColumn), "127.0.0.1");
    EXPECT_EQ(Cell(0, VspRow::kRemotePortColumn), QString::number(peer.port));
    EXPECT_EQ(Word("COM5"), vsppoll::kAnsweredOpen);
    EXPECT_EQ(frame.tree, (QStringList{"COM5 (127.0.0.1)", "COM6"}));
    EXPECT_FALSE(Enabled(VspControl::kConnect));
    EXPECT_TRUE(Enabled(VspControl::kClose));
    EXPECT_FALSE(Enabled(VspControl::kSetting));
    EXPECT_FALSE(Enabled(VspControl::kRemove));
    EXPECT_TRUE(frame.SavedTable().contains(
        QString("0 COM5 2130706433l %1 0 0 Connected 1 0 1400 COM5 127.0.0.1 %1 \r\n")
            .arg(peer.port)
            .toLatin1()));

    {
        Fd tty = OpenTty(service.ComLink(5));
        ASSERT_TRUE(tty.valid());
        const Bytes data = RandomBytes(20000, 7);
        EXPECT_EQ(EchoThrough(tty.get(), data, 1024, kIo), data);
        // A terminal holds the port: Close is refused and nothing changes.
        vsp.OnClose();
        Settle();
        EXPECT_EQ(frame.prompts.Texts(), QStringList{VspPortCommands::kStopTerminal});
        EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    }
    frame.prompts.Clear();
    vsp.OnClose();
    Settle();
    EXPECT_TRUE(frame.prompts.Texts().isEmpty());
    EXPECT_EQ(frame.terminalCalls.last(), "close COM5");
    EXPECT_EQ(frame.tree, (QStringList{"COM5", "COM6"}));
    EXPECT_EQ(vsp.Form().statusLine, "Connection closed successfully");
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_EQ(vsp.Rows()[0].back, kVspIdleBack);
    EXPECT_EQ(Cell(0, VspRow::kRemoteIpColumn), "");
    EXPECT_TRUE(Enabled(VspControl::kConnect));
    EXPECT_FALSE(Enabled(VspControl::kClose));
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
    // A later restore from the table shows the port without a remote peer.
    EXPECT_TRUE(frame.SavedTable().contains(" Idle 1 0 1400 COM5 # # \r\n"));
}

TEST_F(VspFlow, ServerStartShowsServerAfterItsPauseAndAPeerReachesThePort) {
    Start();
    Add(5);
    const uint16_t listen = FreePort();
    Configure(0, [&](VspForm& f) {
        f.clientMode = 0;
        f.listenPortText = QString::number(listen);
    });
    EXPECT_EQ(vsp.ConnectCaption(), "Server");
    const QByteArray saved = frame.SavedTable();

    vsp.ClickRow(0);
    vsp.OnConnect();
    Answered();
    EXPECT_EQ(vsp.Form().statusLine, QString("Server started on port %1").arg(listen));
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    frame.clock.Advance(VspPortCommands::kServerWaitMs - 1);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    frame.clock.Advance(1);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Server");
    EXPECT_EQ(Cell(0, VspRow::kRemotePortColumn), QString::number(listen));
    EXPECT_EQ(vsp.Rows()[0].back, kVspConnectedBack);
    EXPECT_EQ(frame.tree, QStringList{"COM5 (Server)"});
    EXPECT_FALSE(Enabled(VspControl::kConnect));
    EXPECT_TRUE(Enabled(VspControl::kClose));
    // A server start does not save the table; the next save has it listening.
    EXPECT_EQ(frame.SavedTable(), saved);
    vsp.SaveTable();
    EXPECT_TRUE(frame.SavedTable().contains(
        QString(" Server 0 0 1400 COM5  %1 \r\n").arg(listen).toLatin1()));

    Fd tty = OpenTty(service.ComLink(5));
    Fd peer = TcpConnect(listen);
    ASSERT_TRUE(peer.valid());
    const Bytes data = RandomBytes(3000, 3);
    PumpSide net(peer.get()), com(tty.get());
    net.send = data;
    EXPECT_TRUE(Pump(net, com, 0, data.size(), kIo));
    EXPECT_EQ(com.received, data);
}

TEST_F(VspFlow, ConnectFailuresAreToldByTheServiceCode) {
    Start();
    Add(5);
    const uint16_t closed = FreePort();
    ConfigureClient(0, closed);
    ConnectRow(0);
    EXPECT_EQ(frame.prompts.Texts(),
              QStringList{"Connection failed! (The remote host refused the network connection)"});
    EXPECT_EQ(vsp.Form().statusLine, "");
    EXPECT_TRUE(Enabled(VspControl::kConnect));
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_TRUE(frame.SavedTable().contains(" Idle 1 0 1400 COM5 # # \r\n"));
}

TEST_F(VspFlow, ConnectToADeviceAnotherPortIsLinkedToIsRefusedBeforeAnyAttempt) {
    Start();
    Add(5);
    Add(9);
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    ConfigureClient(1, peer.port);
    ConnectRow(1);
    ASSERT_EQ(frame.tree, (QStringList{"COM5", "COM9 (127.0.0.1)"}));
    ConnectRow(0);
    EXPECT_EQ(frame.prompts.Texts(),
              QStringList{"Warning: This remote device has already established a connection "
                          "with another virtual serial port!"});
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
}

TEST_F(VspFlow, ConnectToAUdpDeviceReconfiguresATcpPortForUdpFirst) {
    Start();
    Add(5);
    uint16_t port = 0;
    Fd device = UdpBind(&port);
    ConfigureClient(0, port, 0);
    frame.dmRows = {{"10.1.1.1"}, {"127.0.0.1", true}};
    ConnectRow(0);
    EXPECT_EQ(service.EntryOf(5).info.protocol, vspd::kProtocolUdp);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(frame.dmRows[1].status, "Connected");
    EXPECT_EQ(frame.dmRows[0].status, "Idle");

    Fd tty = OpenTty(service.ComLink(5));
    const Bytes data = {'p', 'i', 'n', 'g'};
    ASSERT_EQ(write(tty.get(), data.data(), data.size()), ssize_t(data.size()));
    EXPECT_EQ(ReadSome(device.get(), 64, kIo), data);
}

TEST_F(VspFlow, SettingEditStateAndItsRefusals) {
    Start();
    Add(5);
    vsp.ClickRow(0);
    vsp.OnSetting();
    Answered();
    EXPECT_EQ(vsp.SettingCaption(), "OK");
    for (VspControl c : {VspControl::kAdd, VspControl::kRemove, VspControl::kConnect,
                         VspControl::kClose, VspControl::kList, VspControl::kListenPort})
        EXPECT_FALSE(Enabled(c)) << int(c);
    for (VspControl c : {VspControl::kSetting, VspControl::kAddress, VspControl::kRemotePort,
                         VspControl::kPacketSize, VspControl::kTcp, VspControl::kServer,
                         VspControl::kEnableVcom, VspControl::kConnectAtStart})
        EXPECT_TRUE(Enabled(c)) << int(c);
    ASSERT_EQ(vsp.PortNumberEntries().size(), 256);
    EXPECT_EQ(vsp.PortNumberEntries()[4], "COM5 (in used)");
    EXPECT_EQ(vsp.PortNumberEntries()[5], "COM6");
    EXPECT_EQ(vsp.PortNumberIndex(), 4);

    VspForm form = vsp.Form();
    form.clientMode = -1;
    vsp.EditForm(form);
    vsp.OnSetting();
    EXPECT_EQ(frame.prompts.Texts(), QStringList{"Not Select The Connection Type!"});
    EXPECT_TRUE(vsp.SettingMode());
    EXPECT_EQ(vsp.SettingCaption(), "OK");
}

TEST_F(VspFlow, SettingRenumbersThePortThroughTheService) {
    Start();
    Add(5);
    Add(6);
    Configure(0, [](VspForm&) {});
    EXPECT_EQ(Cell(0, VspRow::kNameColumn), "COM5");  // the same number: nothing to do
    vsp.ClickRow(0);
    vsp.OnSetting();
    Answered();
    vsp.SetPortNumberIndex(6);
    vsp.OnSetting();
    Answered();
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
    EXPECT_EQ(Cell(0, VspRow::kNameColumn), "COM7");
    EXPECT_EQ(vsp.SelectedName(), "COM7");
    EXPECT_EQ(frame.tree, (QStringList{"COM7", "COM6"}));
    EXPECT_EQ(frame.terminalCalls.last(), "refresh");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(service.ComLink(7))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(service.ComLink(5))));
    EXPECT_TRUE(frame.SavedTable().contains("0 COM7 "));

    // A number another port holds is refused by the service; the record stays.
    vsp.ClickRow(0);
    vsp.OnSetting();
    Answered();
    vsp.SetPortNumberIndex(5);
    vsp.OnSetting();
    Answered();
    EXPECT_EQ(frame.prompts.Texts(), QStringList{"Claim COM PORT Failed"});
    EXPECT_EQ(Cell(0, VspRow::kNameColumn), "COM7");
}

TEST_F(VspFlow, ADeviceDroppedOnAPortConnectsItToTheSimulatedDevice) {
    ManualClock simClock;
    devsim::SimulatorOptions options;
    options.baseAddress = 0x7F005B0A;  // 127.0.91.10
    options.managementPort = 36122;
    options.probePort = 36124;
    options.tftp = false;
    devsim::DeviceSimulator sim(simClock, options);
    ASSERT_TRUE(sim.Start());
    devsim::DeviceProfile profile;
    profile.listenPort = 34110;
    devsim::SimDevice* device = sim.AddDevice(profile);
    ASSERT_NE(device, nullptr);
    Start();
    Add(5);
    frame.dmRows = {{device->AddressText()}};

    EXPECT_FALSE(vsp.ConnectByDrop("COM9", device->AddressText(), "34110", false));
    EXPECT_TRUE(vsp.ConnectByDrop("COM5", device->AddressText(), "34110", false));
    Settle();
    EXPECT_EQ(vsp.Form().statusLine,
              QString("Connected to remote host %1@34110 successfully").arg(device->AddressText()));
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(Cell(0, VspRow::kRemoteIpColumn), device->AddressText());
    EXPECT_EQ(frame.dmRows[0].status, "Connected");
    EXPECT_EQ(vsp.SelectedRow(), std::nullopt);  // only the user's click moves the selection
    EXPECT_TRUE(frame.SavedTable().contains(" Connected 1 0 1400 COM5 127.0.91.10 34110 \r\n"));

    // The simulator runs on this thread's event loop: pump it while reading the echo back.
    Fd tty = OpenTty(service.ComLink(5));
    const Bytes data = RandomBytes(4000, 11);
    ASSERT_EQ(write(tty.get(), data.data(), data.size()), ssize_t(data.size()));
    Bytes back;
    EXPECT_TRUE(PumpUntil(
        [&] {
            const Bytes more = ReadSome(tty.get(), data.size(), 1);
            back.insert(back.end(), more.begin(), more.end());
            return back.size() >= data.size();
        },
        kIo));
    EXPECT_EQ(back, data);
    EXPECT_EQ(device->Status().txCount, data.size());
}
