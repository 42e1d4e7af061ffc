#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "app/widgets/DeviceDrag.h"
#include "app/widgets/OrvinApp.h"
#include "devmgr/widgets/ViewDm.h"
#include "platform/ManualClock.h"
#include "platform/NetInterfaces.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/EventPump.h"
#include "tests/support/FakeNetInterfaces.h"
#include "tests/support/FakeVspDriverQueries.h"
#include "tests/support/FileBytes.h"
#include "tests/vspd/VspdProcess.h"
#include "tools/devsim/DeviceSimulator.h"
#include "ui/widgets/ReportCtrl.h"
#include "vsp/VspController.h"
#include "vsp/widgets/ViewVsp.h"

namespace {

constexpr uint16_t kSerialPort = 34110;

// The whole program's frame with a port service of its own and a simulated device whose
// serial side echoes, as a user meets them.
class NavigationInFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(service.Start());
        net.hostAddresses = QStringList{"127.0.0.1"};
        net.adapters = std::vector<AdapterInfo>{{"lo", "127.0.0.1", "255.0.0.0"}};
        const QString source = qEnvironmentVariable("VELTRO_SOURCE_DIR");
        WriteFileBytes(dir.filePath("TUNLDRV.inf"),
                       ReadFileBytes(QDir(source).filePath("data/TUNLDRV.inf")));
        ASSERT_TRUE(sim.Start());
        devsim::DeviceProfile profile;
        profile.listenPort = kSerialPort;
        device = sim.AddDevice(profile);
        ASSERT_NE(device, nullptr);

        app = std::make_unique<COrvinApp>(FrameServices{prompts,
                                                        clock,
                                                        net,
                                                        vspQueries,
                                                        dir.path(),
                                                        {},
                                                        {},
                                                        QString::fromStdString(service.Socket())});
        frame = app->InitInstance();
        ASSERT_NE(frame, nullptr);
        frame->showNormal();
        frame->resize(1100, 760);
        Menu().SetMenuRunner([this](const QString& entry, const QPoint&) {
            offered << entry;
            return true;
        });
        Vsp().SetPortNumberChooser([this](const VspComUsage&) { return nextComNumber; });
        clock.Advance(VspController::kRefreshMs);
        Settle();
    }
    CViewMenu& Menu() { return frame->Navigation(); }
    VspController& Vsp() { return frame->VirtualPorts().Controller(); }
    QStringList Items() {
        QStringList texts;
        for (int i = 0; i < Menu().PortsRoot()->childCount(); ++i)
            texts << Menu().PortsRoot()->child(i)->text(0);
        return texts;
    }
    void RightClick(int child) {
        QTreeWidget& tree = Menu().Tree();
        QTreeWidgetItem* item = child < 0 ? Menu().PortsRoot() : Menu().PortsRoot()->child(child);
        Menu().OnContextMenu(tree.visualItemRect(item).center());
    }
    void CreatePort(int comNumber) {
        nextComNumber = comNumber;
        RightClick(-1);
        Settle();
        clock.Advance(VspController::kRefreshMs);
        Settle();
    }
    // The port view's requests and connection attempts have their answers.
    void Settle() {
        ASSERT_TRUE(PumpUntil([this] { return Vsp().Settled(); }));
    }
    void Search() {
        QTest::mouseClick(frame->DeviceManager().Button(DmButton::kSearch), Qt::LeftButton);
        for (int i = 0; i < 3; ++i) {
            PumpQuiet(20);
            clock.Advance(1000);
        }
    }

    QTemporaryDir dir;
    VspdProcess service;
    ScriptedPrompts prompts;
    ManualClock clock;
    FakeNetInterfaces net;
    FakeVspDriverQueries vspQueries;
    ManualClock simClock;
    devsim::DeviceSimulator sim{simClock};
    devsim::SimDevice* device = nullptr;
    std::unique_ptr<COrvinApp> app;
    CMainFrame* frame = nullptr;
    QStringList offered;
    int nextComNumber = 5;
};

}  // namespace

TEST_F(NavigationInFrame, ButtonsSwitchThePanesAsOneGroupBesideTheTerminalToggle) {
    QTest::mouseClick(Menu().Button(CViewMenu::kDeviceManagementId), Qt::LeftButton);
    EXPECT_EQ(frame->FunctionViewIndex(), kFunctionDeviceManager);
    EXPECT_TRUE(Menu().Button(CViewMenu::kDeviceManagementId)->isChecked());
    QTest::mouseClick(Menu().TerminalButton(), Qt::LeftButton);
    EXPECT_EQ(frame->BottomViewIndex(), kBottomTerminal);
    QTest::mouseClick(Menu().Button(CViewMenu::kDeviceMonitorId), Qt::LeftButton);
    EXPECT_EQ(frame->FunctionViewIndex(), kFunctionMonitor);
    EXPECT_EQ(frame->BottomViewIndex(), kBottomTerminal);
    EXPECT_TRUE(Menu().TerminalButton()->isChecked());
    QTest::mouseClick(Menu().Button(CViewMenu::kVirtualSerialPortId), Qt::LeftButton);
    EXPECT_EQ(frame->FunctionViewIndex(), kFunctionVsp);
    EXPECT_FALSE(Menu().Button(CViewMenu::kDeviceMonitorId)->isChecked());
    QTest::mouseClick(Menu().TerminalButton(), Qt::LeftButton);
    EXPECT_EQ(frame->BottomViewIndex(), kBottomLog);
}

TEST_F(NavigationInFrame, TheTreeFollowsPortsCreatedConnectedClosedAndRemoved) {
    EXPECT_TRUE(Items().isEmpty());
    CreatePort(5);
    CreatePort(6);
    EXPECT_EQ(offered, (QStringList{"&Create", "&Create"}));
    EXPECT_EQ(Items(), (QStringList{"COM5", "COM6"}));

    Search();
    ASSERT_EQ(frame->DeviceManager().RowCount(), 1);
    const QString ip = device->AddressText();
    Menu().DropDevice(Menu().PortsRoot()->child(1), ip, QString::number(kSerialPort), false);
    Settle();
    EXPECT_EQ(Items(), (QStringList{"COM5", "COM6 (" + ip + ")"}));
    EXPECT_EQ(frame->DeviceManager().DeviceTable().CellText(0, DmDeviceTable::kStatusColumn),
              "Connected");

    RightClick(1);  // "&Close"
    Settle();
    EXPECT_EQ(Items(), (QStringList{"COM5", "COM6"}));
    RightClick(0);  // "&Remove"
    Settle();
    clock.Advance(VspController::kRefreshMs);
    Settle();
    EXPECT_EQ(offered.mid(2), (QStringList{"&Close", "&Remove"}));
    EXPECT_EQ(Items(), QStringList{"COM6"});
    EXPECT_EQ(service.List().size(), 1u);
}

TEST_F(NavigationInFrame, DraggingAnIdleDeviceOntoAPortConnectsItAndTheBytesComeBack) {
    CreatePort(5);
    Search();
    CViewDm& dm = frame->DeviceManager();
    ASSERT_EQ(dm.RowCount(), 1);
    QWidget* list = dm.List()->viewport();
    const QPoint row = dm.List()->visualRect(dm.List()->model()->index(0, 2)).center();
    QTreeWidget& tree = Menu().Tree();
    const QPoint target = list->mapFromGlobal(
        tree.viewport()->mapToGlobal(tree.visualItemRect(Menu().PortsRoot()->child(0)).center()));
    QTest::mousePress(list, Qt::LeftButton, {}, row);
    QTest::mouseMove(list, row + QPoint(20, 0));
    QTest::mouseMove(list, row + QPoint(40, 0));
    ASSERT_TRUE(Menu().Drag()->Active());
    QTest::mouseMove(list, target);
    QTest::mouseRelease(list, Qt::LeftButton, {}, target);
    Settle();

    const QString ip = device->AddressText();
    EXPECT_EQ(Items(), QStringList{"COM5 (" + ip + ")"});
    EXPECT_EQ(dm.DeviceTable().CellText(0, DmDeviceTable::kStatusColumn), "Connected");

    // The port's link reaches the device's serial side, which echoes.
    const int fd = ::open(service.ComLink(5).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(fd, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &raw), 0);
    ASSERT_EQ(::write(fd, "hello", 5), 5);
    QByteArray back;
    for (int i = 0; i < 300 && back.size() < 5; ++i) {
        PumpQuiet(10);
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) back.append(buffer, n);
    }
    ::close(fd);
    EXPECT_EQ(back, "hello");

    // A connected row does not drag again.
    QTest::mousePress(list, Qt::LeftButton, {}, row);
    QTest::mouseMove(list, row + QPoint(20, 0));
    QTest::mouseMove(list, row + QPoint(40, 0));
    EXPECT_FALSE(Menu().Drag()->Active());
    QTest::mouseRelease(list, Qt::LeftButton, {}, row + QPoint(40, 0));
}
