// Ordinary sequences in which the view once acted on the wrong port or told the wrong story,
// against a real veltro-vspd: a device mapped between refreshes, COM1 beside COM10, a tree
// command during an edit, failures that must not read as success, a connection attempt that
// never gets an answer, removing a port in use, the service going away and coming back, and
// vsp.dat never replaced by a table that was never read.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QFile>

#include "tests/vsp/VspFlowFixture.h"
#include "vspd/WinErrors.h"

namespace {

constexpr int kIo = 3000;

// A pseudo-terminal that the service maps as a physical COM port.
struct MappedDevice {
    MappedDevice() : master(posix_openpt(O_RDWR | O_NOCTTY)) {
        EXPECT_EQ(grantpt(master) | unlockpt(master), 0);
    }
    ~MappedDevice() { close(master); }
    std::string Path() const { return ptsname(master); }
    int master;
};

}  // namespace

TEST_F(VspFlow, EveryCommandActsOnTheClickedPortAfterADeviceIsMappedBeforeIt) {
    Start();
    Add(5);
    Add(6);
    EchoPeer peer;
    ConfigureClient(1, peer.port);
    vsp.ClickRow(1);
    MappedDevice device;
    ASSERT_EQ(service.Call(vspd::MapRequest{device.Path(), 1}).status, 0u);

    vsp.OnConnect();
    Settle();
    EXPECT_EQ(service.EntryOf(6).state, vspd::PortState::Connected);
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
    EXPECT_EQ(Column(VspRow::kStatusColumn), (QStringList{"Idle", "Connected"}));
    EXPECT_EQ(Column(VspRow::kPortIdColumn), (QStringList{"1", "2"}));  // positions moved

    vsp.OnClose();
    Settle();
    EXPECT_EQ(service.EntryOf(6).state, vspd::PortState::Idle);
    Configure(1, [](VspForm& f) { f.remotePortText = "4444"; });
    EXPECT_EQ(service.EntryOf(6).info.remotePort, 4444);
    EXPECT_NE(service.EntryOf(5).info.remotePort, 4444);
    vsp.ClickRow(1);
    vsp.OnRemove();
    Settle();
    EXPECT_EQ(Column(VspRow::kNameColumn), QStringList{"COM5"});
    EXPECT_EQ(service.List().size(), 2u);  // the mapped device and COM5
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
}

TEST_F(VspFlow, Com1AndCom10AreTwoPortsInEitherOrder) {
    EchoPeer peer;
    for (const auto& order : {std::vector<int>{10, 1}, std::vector<int>{1, 10}}) {
        Start();
        for (int n : order) Add(n);
        const int com1 = vsp.Commands().Ports().RowOf("COM1");
        ConfigureClient(com1, peer.port);
        ConnectRow(com1);
        QStringList expected{"COM1 (127.0.0.1)", "COM10"};
        if (order[0] == 10) expected = {"COM10", "COM1 (127.0.0.1)"};
        EXPECT_EQ(frame.tree, expected);
        EXPECT_TRUE(vsp.CloseByName("COM1"));
        Settle();
        EXPECT_TRUE(vsp.RemoveByName("COM1"));
        Settle();
        EXPECT_EQ(frame.tree, QStringList{"COM10"});
        EXPECT_TRUE(vsp.RemoveByName("COM10"));
        Settle();
        EXPECT_TRUE(frame.tree.isEmpty());
    }
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
}

TEST_F(VspFlow, TreeCommandsDuringAnEditAreRefusedAndTheEditStaysUsable) {
    Start();
    Add(5);
    Add(6);
    vsp.ClickRow(0);
    vsp.OnSetting();
    Answered();
    ASSERT_TRUE(vsp.SettingMode());
    const QString refusal = "Finish the setting of COM5 first: press OK.";
    vsp.CreateFromTree();
    EXPECT_FALSE(vsp.CloseByName("COM6"));
    EXPECT_FALSE(vsp.RemoveByName("COM6"));
    EXPECT_FALSE(vsp.ConnectByDrop("COM6", "127.0.0.1", "4001", false));
    EXPECT_EQ(frame.prompts.Texts(), QStringList(4, refusal));
    EXPECT_EQ(service.List().size(), 2u);
    EXPECT_TRUE(vsp.SettingMode());

    VspForm form = vsp.Form();
    form.remotePortText = "4321";
    vsp.EditForm(form);
    vsp.OnSetting();
    EXPECT_TRUE(vsp.SettingMode());  // until the service has answered
    EXPECT_FALSE(Enabled(VspControl::kConnect));
    Answered();
    EXPECT_FALSE(vsp.SettingMode());
    EXPECT_TRUE(Enabled(VspControl::kList));
    EXPECT_TRUE(Enabled(VspControl::kSetting));
    EXPECT_EQ(service.EntryOf(5).info.remotePort, 4321);
}

TEST_F(VspFlow, FailuresAreNeverToldAsSuccess) {
    Start();
    Add(5);
    ASSERT_EQ(vsp.Form().statusLine, "Added a virtual serial port successfully");
    QFile::remove(frame.DriverPackagePath());
    frame.prompts.Clear();
    Add(6);
    EXPECT_EQ(frame.prompts.Texts(), QStringList{"SetupOpenInfFile error, 2\n"});
    EXPECT_EQ(vsp.Form().statusLine, "Added a virtual serial port failed");
    EXPECT_EQ(vsp.Progress(), 0);  // no full bar after a failure
    EXPECT_EQ(frame.tree, QStringList{"COM5"});

    // A removal the service cannot do leaves the port, its row and its item.
    Fd held = OpenTty(service.ComLink(5));
    frame.prompts.Clear();
    EXPECT_TRUE(vsp.RemoveByName("COM5"));
    Settle();
    EXPECT_EQ(frame.prompts.Texts(), QStringList{VspPortCommands::kStopTerminal});
    EXPECT_EQ(frame.tree, QStringList{"COM5"});
    EXPECT_EQ(vsp.RowCount(), 1);
}

TEST_F(VspFlow, RemovingAPortInUseAsksFirst) {
    Start();
    Add(5);
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    ConnectRow(0);
    frame.prompts.Answer(PromptAnswer::No);
    EXPECT_TRUE(vsp.RemoveByName("COM5"));
    Settle();
    ASSERT_EQ(frame.prompts.shown.size(), 1u);
    EXPECT_EQ(frame.prompts.shown[0].text, "COM5 is in use (Connected). Remove it anyway?");
    EXPECT_EQ(frame.prompts.shown[0].defaultAnswer, PromptAnswer::No);
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Connected);
    frame.prompts.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(vsp.RemoveByName("COM5"));
    Settle();
    EXPECT_TRUE(service.List().empty());
    EXPECT_EQ(vsp.RowCount(), 0);
}

// A connection attempt to a device that never answers (its listener's queue is full).
class SilentDeviceFlow : public VspFlow {
  protected:
    SilentDeviceFlow() : VspFlow(VspdOptions{.connectTimeoutMs = 20000}) {}
    void SetUp() override {
        VspFlow::SetUp();
        full = TcpListen(&port, 0);
        queued = TcpConnect(port);
        ASSERT_TRUE(queued.valid());
    }
    uint16_t port = 0;
    Fd full, queued;
};

TEST_F(SilentDeviceFlow, AnAttemptIsAStateOfItsPortThatCloseCancels) {
    Start();
    Add(5);
    Add(6);
    ConfigureClient(0, port);
    vsp.ClickRow(0);
    vsp.OnConnect();
    Answered();
    // The window goes on: the attempt shows on its row, the other port answers clicks.
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connecting...");
    EXPECT_EQ(frame.tree, (QStringList{"COM5 (Connecting...)", "COM6"}));
    EXPECT_EQ(vsp.Form().statusLine, "Connecting...");
    EXPECT_TRUE(Enabled(VspControl::kClose));
    EXPECT_FALSE(Enabled(VspControl::kConnect));
    vsp.ClickRow(1);
    EXPECT_TRUE(Enabled(VspControl::kConnect));
    EXPECT_FALSE(Enabled(VspControl::kClose));
    EXPECT_EQ(vsp.Commands().Connector().RunningCount(), 1);

    vsp.ClickRow(0);
    vsp.OnClose();
    Settle();
    EXPECT_EQ(vsp.Form().statusLine, "Connection attempt cancelled");
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    // The service ends the attempt when its session goes, long before its own bound.
    EXPECT_TRUE(PumpUntil([&] { return service.EntryOf(5).state == vspd::PortState::Idle; }, kIo));
    EXPECT_EQ(frame.tree, (QStringList{"COM5", "COM6"}));
    EXPECT_TRUE(Enabled(VspControl::kConnect));
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
    EXPECT_TRUE(frame.SavedTable().contains(" Idle 1 0 1400 COM5 # # \r\n"));
}

TEST_F(SilentDeviceFlow, ClosingTheWindowDuringAnAttemptEndsIt) {
    auto view = std::make_unique<VspController>(frame);
    view->InitialUpdate();
    frame.clock.Advance(VspController::kRefreshMs);
    const auto answered = [&] {
        ASSERT_TRUE(PumpUntil([&] { return view->Commands().Service().Pending() == 0; }));
    };
    view->SetPortNumberChooser([](const VspComUsage&) { return 5; });
    view->OnAdd();
    answered();
    view->ClickRow(0);
    view->OnSetting();
    answered();
    VspForm form = view->Form();
    form.remoteIp = 0x7F000001;
    form.remotePortText = QString::number(port);
    view->EditForm(form);
    view->OnSetting();
    answered();
    view->OnConnect();
    answered();
    ASSERT_EQ(view->Commands().Connector().RunningCount(), 1);
    view.reset();  // well before the service's 20 s bound
    EXPECT_TRUE(PumpUntil([&] { return service.EntryOf(5).state == vspd::PortState::Idle; }, kIo));
}

TEST_F(VspFlow, TheServiceGoingAwayIsToldOnceAndItsReturnRefreshesTheList) {
    frame.dmRows = {{"127.0.0.1"}};
    Start();
    Add(5);
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    ConnectRow(0);
    ASSERT_EQ(frame.dmRows[0].status, "Connected");
    frame.log.clear();
    frame.prompts.Clear();

    service.Kill();
    frame.clock.Advance(VspPortCommands::kServiceWatchMs);
    EXPECT_EQ(vsp.Form().statusLine, VspPortCommands::kServiceDownStatus);
    EXPECT_EQ(frame.log, QStringList{VspPortCommands::kServiceDown});
    EXPECT_EQ(vsp.RowCount(), 0);
    EXPECT_TRUE(frame.tree.isEmpty());
    EXPECT_EQ(frame.dmRows[0].status, "Idle");
    for (VspControl c : {VspControl::kAdd, VspControl::kRemove, VspControl::kConnect,
                         VspControl::kClose, VspControl::kSetting})
        EXPECT_FALSE(Enabled(c)) << int(c);
    // Told once, and no box for the commands that still come.
    vsp.OnAdd();
    Answered();
    EXPECT_FALSE(vsp.CloseByName("COM5"));
    frame.clock.Advance(5 * VspPortCommands::kServiceRetryMs);
    EXPECT_EQ(frame.log.size(), 1);
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
    // Nothing of the ports is written while they cannot be read.
    const QByteArray saved = frame.SavedTable();
    vsp.SaveTable();
    EXPECT_EQ(frame.SavedTable(), saved);

    ASSERT_TRUE(service.Start());
    frame.clock.Advance(VspPortCommands::kServiceRetryMs);
    EXPECT_EQ(frame.log.last(), VspPortCommands::kServiceBack);
    EXPECT_EQ(Column(VspRow::kNameColumn), QStringList{"COM5"});
    EXPECT_EQ(frame.tree, QStringList{"COM5"});
    EXPECT_TRUE(Enabled(VspControl::kAdd));
}

TEST_F(VspFlow, VspDatIsNeverReplacedByATableThatWasNeverRead) {
    const QByteArray saved =
        "1 \r\n0 COM5 2130706433l 4001 0 1 Connected 1 0 1400 COM5 127.0.0.1 4001 \r\n";
    QFile file(frame.PortTablePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(saved);
    file.close();
    frame.table.Load(frame.PortTablePath());
    vsp.InitialUpdate();
    vsp.SaveTable();  // closed before the first refresh
    EXPECT_EQ(frame.SavedTable(), saved);

    service.Kill();
    frame.clock.Advance(VspController::kRefreshMs);
    vsp.SaveTable();
    EXPECT_EQ(frame.SavedTable(), saved);
}

TEST_F(VspFlow, EachDevicesStatusFollowsThePortLinkedToIt) {
    EchoPeer first, second(FreePort(), "0.0.0.0");  // reached at 127.0.0.3
    frame.dmRows = {{"127.0.0.1"}, {"127.0.0.3"}};
    Start();
    Add(5);
    Add(6);
    ConfigureClient(0, first.port);
    ConnectRow(0);
    // A drop while another port's row is shown in the form.
    ASSERT_TRUE(vsp.ConnectByDrop("COM6", "127.0.0.3", QString::number(second.port), false));
    Settle();
    EXPECT_EQ(frame.dmRows[0].status, "Connected");
    EXPECT_EQ(frame.dmRows[1].status, "Connected");

    EXPECT_TRUE(vsp.CloseByName("COM5"));
    Settle();
    EXPECT_EQ(frame.dmRows[0].status, "Idle");
    EXPECT_EQ(frame.dmRows[1].status, "Connected");
    EXPECT_EQ(frame.tree, (QStringList{"COM5", "COM6 (127.0.0.3)"}));
}
