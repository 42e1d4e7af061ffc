// The virtual serial port form on the offscreen platform against a real veltro-vspd: what it
// shows after start-up, a click on a row, and the main window saving vsp.dat at close.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/widgets/OrvinApp.h"
#include "tests/support/EventPump.h"
#include "tests/support/FakeNetInterfaces.h"
#include "tests/support/FakeVspDriverQueries.h"
#include "tests/vsp/FakeVspFrame.h"
#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"
#include "ui/widgets/IpAddressEdit.h"
#include "ui/widgets/ReportCtrl.h"
#include "vsp/widgets/DlgVspPortConfig.h"
#include "vsp/widgets/ViewVsp.h"

namespace {

constexpr int kIo = 3000;

class ViewVsp : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.Start());
        service.Install(5);
        service.Install(6);
        ASSERT_TRUE(WaitTcpListening(peerPort, kIo));
        PortSession session(service, service.PathOf(6));
        ASSERT_EQ(session.Configure(ClientConfig(peerPort, 0)), 0u);
        ASSERT_EQ(session.Connect(), 0u);
    }
    void StartView() {
        frame.clock.SetPump([this] { Settle(); });
        view = std::make_unique<CViewVsp>(frame);
        view->resize(800, 500);
        view->show();
        view->InitialUpdate();
        frame.clock.Advance(VspController::kRefreshMs);
    }
    // The view has every answer it asked for.
    void Settle() {
        ASSERT_TRUE(PumpUntil([this] { return view->Controller().Settled(); }, kIo));
    }
    CReportCtrl& List() { return *view->List(); }
    QPushButton* Button(VspControl c) { return view->Button(c); }
    void ClickRow(int row) {
        const QRect cell = List().visualRect(List().model()->index(row, 1));
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, cell.center());
    }

    VspdProcess service;
    uint16_t peerPort = FreePort();
    Child peer{{"socat",
                "TCP-LISTEN:" + std::to_string(peerPort) + ",bind=127.0.0.1,reuseaddr,fork",
                "PIPE"}};
    FakeVspFrame frame{service.Socket()};
    std::unique_ptr<CViewVsp> view;
};

}  // namespace

TEST_F(ViewVsp, AfterStartUpTheListShowsThePortsAndTheConnectedOneIsGreen) {
    frame.dmRows = {{"127.0.0.1", false, "Idle"}};
    StartView();
    EXPECT_TRUE(frame.prompts.Texts().isEmpty());
    EXPECT_EQ(List().ColumnCount(), 8);
    EXPECT_EQ(List().ColumnTitle(4), "Remote Port");
    EXPECT_EQ(List().ColumnTitle(7), "Discarded");
    EXPECT_EQ(List().ColumnWidth(1), 150);
    EXPECT_TRUE(List().showGrid());
    EXPECT_FALSE(List().HeaderSortEnabled());
    ASSERT_EQ(List().ItemCount(), 2);
    EXPECT_EQ(List().CellText(0, 1), "COM5");
    EXPECT_EQ(List().CellText(0, 2), "Idle");
    EXPECT_EQ(List().CellText(1, 2), "Connected");
    EXPECT_EQ(List().CellText(1, 3), "127.0.0.1");
    EXPECT_EQ(List().CellText(1, 4), QString::number(peerPort));
    EXPECT_EQ(List().CellBackColor(1, 0), QColor(200, 255, 200));
    EXPECT_EQ(List().CellBackColor(0, 0), QColor(255, 255, 255));
    EXPECT_EQ(frame.dmRows[0].status, "Connected");
    EXPECT_FALSE(view->PortNumberBox()->isVisible());
    EXPECT_TRUE(view->PacketSizeEdit()->isVisible());
    EXPECT_FALSE(view->AddressEdit()->isEnabled());
    EXPECT_TRUE(Button(VspControl::kAdd)->isEnabled());
    EXPECT_FALSE(Button(VspControl::kConnect)->isEnabled());

    ClickRow(0);
    EXPECT_TRUE(Button(VspControl::kAdd)->isEnabled());
    EXPECT_TRUE(Button(VspControl::kRemove)->isEnabled());
    EXPECT_TRUE(Button(VspControl::kConnect)->isEnabled());
    EXPECT_FALSE(Button(VspControl::kClose)->isEnabled());
    EXPECT_TRUE(Button(VspControl::kSetting)->isEnabled());
    EXPECT_EQ(Button(VspControl::kConnect)->text(), "Connect");
    EXPECT_EQ(view->AddressEdit()->text(), "0.0.0.0");

    ClickRow(1);
    EXPECT_FALSE(Button(VspControl::kConnect)->isEnabled());
    EXPECT_TRUE(Button(VspControl::kClose)->isEnabled());
    EXPECT_FALSE(Button(VspControl::kRemove)->isEnabled());
    EXPECT_EQ(view->RemotePortEdit()->text(), QString::number(peerPort));

    // The service's counters, as the list follows it: the echo comes back to a closed port
    // and is discarded.
    {
        Fd tty = OpenTty(service.ComLink(6));
        ASSERT_EQ(write(tty.get(), "hello", 5), 5);
        ASSERT_TRUE(PumpUntil([&] { return service.EntryOf(6).bytesFromNet == 5; }, kIo));
    }
    ASSERT_TRUE(PumpUntil([&] { return service.EntryOf(6).droppedFromNet == 5; }, kIo));
    frame.clock.Advance(VspPortCommands::kServiceWatchMs);
    EXPECT_EQ(List().CellText(1, 5), "5");
    EXPECT_EQ(List().CellText(1, 6), "5");
    EXPECT_EQ(List().CellText(1, 7), "5");

    QTest::mouseClick(Button(VspControl::kClose), Qt::LeftButton);
    Settle();
    EXPECT_EQ(List().CellText(1, 2), "Idle");
    EXPECT_EQ(List().CellBackColor(1, 0), QColor(255, 255, 255));
    EXPECT_EQ(view->StatusLine()->text(), "Connection closed successfully");
    EXPECT_EQ(frame.dmRows[0].status, "Idle");
}

TEST_F(ViewVsp, TheServerRadioMovesThePortTextIntoTheListenPort) {
    StartView();
    ClickRow(0);
    QTest::mouseClick(Button(VspControl::kSetting), Qt::LeftButton);
    Settle();
    EXPECT_EQ(Button(VspControl::kSetting)->text(), "OK");
    EXPECT_FALSE(List().isEnabled());
    QRadioButton* server = qobject_cast<QRadioButton*>(view->Control(VspControl::kServer));
    QTest::mouseClick(server, Qt::LeftButton);
    EXPECT_EQ(view->ListenPortEdit()->text(), "0");
    EXPECT_EQ(view->RemotePortEdit()->text(), "");
    EXPECT_TRUE(view->ListenPortEdit()->isEnabled());
    EXPECT_FALSE(view->AddressEdit()->isEnabled());
    view->ListenPortEdit()->clear();
    QTest::keyClicks(view->ListenPortEdit(), "4321");
    QTest::mouseClick(Button(VspControl::kSetting), Qt::LeftButton);
    Settle();
    EXPECT_EQ(Button(VspControl::kConnect)->text(), "Server");
    EXPECT_EQ(service.EntryOf(5).info.mode, 0u);
    EXPECT_EQ(service.EntryOf(5).info.remotePort, 4321);
}

TEST(DlgVspPortConfig, MarksNumbersInUseAndPreselectsTheLowestFree) {
    VspComUsage used{};
    used[0] = used[1] = used[3] = 1;
    CDlgVspPortConfig dialog(used);
    EXPECT_EQ(dialog.windowTitle(), "COM Port Configuration");
    ASSERT_EQ(dialog.List()->count(), 256);
    EXPECT_EQ(dialog.List()->itemText(0), "COM1 (in used)");
    EXPECT_EQ(dialog.List()->itemText(2), "COM3");
    EXPECT_EQ(dialog.List()->itemText(255), "COM256");
    EXPECT_EQ(dialog.ChosenNumber(), 3);
    used.fill(1);
    EXPECT_EQ(CDlgVspPortConfig(used).ChosenNumber(), 1);
}

TEST_F(ViewVsp, ClosingTheMainWindowSavesThePortTable) {
    QTemporaryDir dir;
    QFile::copy(frame.DriverPackagePath(), dir.filePath("TUNLDRV.inf"));
    ScriptedPrompts prompts;
    ManualClock clock;
    FakeNetInterfaces net;
    net.hostAddresses = QStringList{"127.0.0.1"};
    net.adapters = std::vector<AdapterInfo>{{"lo", "127.0.0.1", "255.0.0.0"}};
    FakeVspDriverQueries busy;
    FrameServices services{prompts, clock, net, busy, dir.path()};
    services.vspSocket = QString::fromStdString(service.Socket());
    COrvinApp app(services);
    CMainFrame* mainFrame = app.InitInstance();
    ASSERT_NE(mainFrame, nullptr);
    EXPECT_EQ(mainFrame->FunctionView(kFunctionVsp), &mainFrame->VirtualPorts());
    clock.SetPump([mainFrame] {
        PumpUntil([mainFrame] { return mainFrame->VirtualPorts().Controller().Settled(); }, kIo);
    });
    clock.Advance(VspController::kRefreshMs);
    EXPECT_EQ(mainFrame->VirtualPorts().List()->ItemCount(), 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("vsp.dat")));
    mainFrame->close();
    QFile saved(dir.filePath("vsp.dat"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.startsWith("2 \r\n0 COM5 ")) << text.toStdString();
    EXPECT_TRUE(text.contains(" Connected 1 ")) << text.toStdString();
}
