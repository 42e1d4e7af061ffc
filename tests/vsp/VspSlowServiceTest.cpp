// The view never waits on the service: a stopped (SIGSTOP) service during a refresh and during a
// Connect, Close racing a connection that succeeded, a service restart, and the saved intent
// of a connected port across failed repairs, closed windows and a service that starts late.
#include <signal.h>
#include <unistd.h>

#include <QFile>

#include "tests/vsp/VspFlowFixture.h"

namespace {

constexpr int kIo = 3000;

// The service stopped as by a debugger or a stuck disk, and always resumed at the end.
class Stopped {
  public:
    explicit Stopped(pid_t pid) : pid_(pid) { EXPECT_EQ(kill(pid_, SIGSTOP), 0); }
    ~Stopped() { Resume(); }
    void Resume() {
        if (pid_ > 0) kill(pid_, SIGCONT);
        pid_ = -1;
    }

  private:
    pid_t pid_;
};

// A vsp.dat line that saves COM5 as a connected client of 127.0.0.1:port.
QByteArray SavedConnected(uint16_t port) {
    return QString("1 \r\n0 COM5 2130706433l %1 0 1 Connected 1 0 1400 COM5 127.0.0.1 %1 \r\n")
        .arg(port)
        .toLatin1();
}

}  // namespace

class SlowService : public VspFlow {
  protected:
    // The clock's ticks no longer wait for answers: the service may not give them.
    void TicksDoNotWait() {
        frame.clock.SetPump([] { PumpQuiet(5); });
    }
    bool Logged(const QString& text) const { return frame.log.contains(text); }
};

TEST_F(SlowService, AStoppedServiceDuringARefreshKeepsTheTableAndTheEdit) {
    Start();
    Add(5);
    Add(6);
    Configure(1, [](VspForm& f) { f.remotePortText = "4001"; });
    vsp.ClickRow(0);
    vsp.OnSetting();
    Answered();
    ASSERT_TRUE(vsp.SettingMode());
    TicksDoNotWait();
    frame.log.clear();

    Stopped stopped(service.Pid());
    frame.clock.Advance(VspPortCommands::kServiceWatchMs);  // the list is asked for
    ASSERT_EQ(vsp.Commands().Service().Pending(), 1);
    frame.clock.Advance(VspService::kAnswerMs);
    EXPECT_EQ(vsp.Form().statusLine, VspPortCommands::kNotAnswering);
    EXPECT_EQ(frame.log, QStringList{VspPortCommands::kNotAnswering});
    // Nothing of what the window shows is thrown away, and the edit stays open.
    EXPECT_EQ(Column(VspRow::kNameColumn), (QStringList{"COM5", "COM6"}));
    EXPECT_EQ(frame.tree, (QStringList{"COM5", "COM6"}));
    EXPECT_TRUE(vsp.SettingMode());
    EXPECT_EQ(vsp.EditedPort(), "COM5");
    EXPECT_TRUE(vsp.Commands().ServiceUp());

    stopped.Resume();
    Answered();
    EXPECT_EQ(vsp.Form().statusLine, VspPortCommands::kAnsweringAgain);
    EXPECT_EQ(frame.log.last(), VspPortCommands::kAnsweringAgain);
    EXPECT_TRUE(vsp.SettingMode());
    VspForm form = vsp.Form();
    form.remotePortText = "4321";
    vsp.EditForm(form);
    vsp.OnSetting();
    Answered();
    EXPECT_FALSE(vsp.SettingMode());
    EXPECT_EQ(service.EntryOf(5).info.remotePort, 4321);
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
}

TEST_F(SlowService, AConnectWaitingOnAStoppedServiceShowsItsStateAndEndsWhenItAnswers) {
    Start();
    Add(5);
    Add(6);
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    TicksDoNotWait();

    Stopped stopped(service.Pid());
    vsp.ClickRow(0);
    vsp.OnConnect();
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connecting...");
    EXPECT_EQ(frame.tree, (QStringList{"COM5 (Connecting...)", "COM6"}));
    EXPECT_EQ(vsp.Form().statusLine, "Connecting...");
    EXPECT_TRUE(Enabled(VspControl::kClose));
    EXPECT_FALSE(Enabled(VspControl::kConnect));
    // The other port still answers clicks.
    vsp.ClickRow(1);
    EXPECT_EQ(vsp.SelectedName(), "COM6");
    EXPECT_TRUE(Enabled(VspControl::kConnect));
    frame.clock.Advance(VspService::kAnswerMs);
    EXPECT_EQ(vsp.Form().statusLine, VspPortCommands::kNotAnswering);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connecting...");

    stopped.Resume();
    Settle();
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Connected);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(vsp.Form().statusLine,
              QString("Connected to remote host 127.0.0.1@%1 successfully").arg(peer.port));
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
}

TEST_F(SlowService, CloseBeforeAStoppedServiceTookTheConnectEndsIt) {
    Start();
    Add(5);
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    TicksDoNotWait();

    Stopped stopped(service.Pid());
    vsp.ClickRow(0);
    vsp.OnConnect();
    ASSERT_TRUE(Enabled(VspControl::kClose));
    vsp.OnClose();
    stopped.Resume();
    Settle();
    EXPECT_EQ(vsp.Form().statusLine, "Connection attempt cancelled");
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
    EXPECT_TRUE(Enabled(VspControl::kConnect));
}

TEST_F(SlowService, CloseRacingASuccessTellsWhatTheServiceHas) {
    Start();
    Add(5);
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    vsp.ClickRow(0);
    vsp.OnConnect();
    ASSERT_TRUE(PumpUntil([&] { return vsp.Commands().Connector().RunningCount() == 1; }));
    // The service connects the port before the window hears of it; then the user presses
    // Close. No event is delivered in between.
    for (int i = 0; i < kIo && service.EntryOf(5).state != vspd::PortState::Connected; ++i)
        usleep(1000);
    ASSERT_EQ(service.EntryOf(5).state, vspd::PortState::Connected);
    vsp.OnClose();
    Settle();
    EXPECT_EQ(vsp.Form().statusLine, "Connection closed successfully");
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_TRUE(frame.SavedTable().contains(" Idle 1 0 1400 COM5 # # \r\n"));
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
}

TEST_F(SlowService, ARestartInAMomentIsToldAndItsDroppedLinkShown) {
    Start();
    Add(5);
    EchoPeer peer;
    ConfigureClient(0, peer.port);
    ConnectRow(0);
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    frame.log.clear();

    service.Stop();
    ASSERT_TRUE(service.Start());  // before the window had a chance to look
    ASSERT_TRUE(PumpUntil([&] { return Logged(VspPortCommands::kRestarted); }, kIo))
        << frame.log.join("|").toStdString();
    Answered();
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_EQ(frame.tree, QStringList{"COM5"});
}

TEST_F(SlowService, CreateFromTheTreeWhileTheServiceIsDownSaysWhy) {
    Start();
    service.Kill();
    frame.clock.Advance(VspPortCommands::kServiceWatchMs);
    ASSERT_FALSE(vsp.Commands().ServiceUp());
    vsp.CreateFromTree();
    EXPECT_EQ(frame.prompts.Texts(), QStringList{VspPortCommands::kServiceDown});
}

// COM5 in the service as a client of 127.0.0.1:port that connects at start, and a vsp.dat
// that saved it connected, loaded as at program start.
class SavedIntent : public SlowService {
  protected:
    void SetUpSavedPort(uint16_t port) {
        service.Install(5);
        PortSession session(service, service.PathOf(5));
        vspd::RemoteInfoRequest config = ClientConfig(port, vspd::kProtocolTcp, 1400);
        config.connectAtStart = 1;
        ASSERT_EQ(session.Configure(config), 0u);
        QFile file(frame.PortTablePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(SavedConnected(port));
        file.close();
        frame.table.Load(frame.PortTablePath());
        ASSERT_TRUE(frame.table.TableLoaded());
    }
    void StartWithRepair(VspController& view) {
        view.InitialUpdate();
        view.RunStartupRepair();
        frame.clock.Advance(VspController::kRefreshMs);
    }
};

TEST_F(SavedIntent, AnUnreachableDeviceIsRetriedWithBackOffAndTheIntentOutlivesTheWindow) {
    const uint16_t port = FreePort();  // nothing listens yet
    SetUpSavedPort(port);
    {
        VspController view(frame);
        const auto settle = [&] {
            ASSERT_TRUE(PumpUntil([&] { return view.Settled(); }, kAttemptGuardMs));
        };
        frame.clock.SetPump([&] {
            PumpQuiet(5);
            settle();
        });
        StartWithRepair(view);
        VspPortCommands& commands = view.Commands();
        int wait = VspPortCommands::kReconnectMs;
        for (int pass = 0; pass < 4; ++pass) {
            ASSERT_TRUE(frame.clock.IsRunning(&commands, VspPortCommands::kReconnectTimer));
            frame.clock.Advance(frame.clock.DueIn(&commands, VspPortCommands::kReconnectTimer));
            settle();
            EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
            wait *= 2;
            EXPECT_EQ(frame.clock.DueIn(&commands, VspPortCommands::kReconnectTimer), wait) << pass;
        }
        EXPECT_TRUE(frame.prompts.Texts().isEmpty());
        view.SaveTable();  // the window closes
        frame.clock.SetPump([this] { Answered(); });
    }
    EXPECT_TRUE(frame.SavedTable().contains(" Connected 1 0 1400 COM5 127.0.0.1 "))
        << frame.SavedTable().toStdString();

    // The next start finds the device.
    EchoPeer peer(port);
    frame.table.Load(frame.PortTablePath());
    StartWithRepair(vsp);
    frame.clock.Advance(VspPortCommands::kReconnectMs);
    Settle();
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Connected);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");

    // Closed by the user, it is meant to stay closed.
    vsp.ClickRow(0);
    vsp.OnClose();
    Settle();
    EXPECT_TRUE(frame.SavedTable().contains(" Idle 1 0 1400 COM5 # # \r\n"));
    frame.clock.Advance(10 * VspPortCommands::kReconnectMs);
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
}

TEST_F(SavedIntent, StartedWhileTheServiceIsDownTheRepairRunsWhenItComesBack) {
    EchoPeer peer;
    SetUpSavedPort(peer.port);
    service.Stop();
    StartWithRepair(vsp);
    EXPECT_EQ(frame.log, QStringList{VspPortCommands::kServiceDown});
    vsp.SaveTable();  // closing now leaves vsp.dat as it was
    EXPECT_EQ(frame.SavedTable(), SavedConnected(peer.port));

    ASSERT_TRUE(service.Start());
    frame.clock.Advance(VspPortCommands::kServiceRetryMs);
    EXPECT_EQ(frame.log.last(), VspPortCommands::kServiceBack);
    // The service may reconnect its connect-at-start port itself; else the repair does.
    frame.clock.Advance(VspPortCommands::kReconnectMs);
    Settle();
    EXPECT_TRUE(
        PumpUntil([&] { return service.EntryOf(5).state == vspd::PortState::Connected; }, kIo));
    frame.clock.Advance(VspPortCommands::kServiceWatchMs);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    vsp.SaveTable();
    EXPECT_TRUE(frame.SavedTable().contains(" Connected 1 0 1400 COM5 127.0.0.1 "));
}
