#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <map>

#include "app/widgets/OrvinApp.h"
#include "devmgr/widgets/ViewDm.h"
#include "monitor/widgets/ViewMonitor.h"
#include "platform/ManualClock.h"
#include "platform/NetInterfaces.h"
#include "platform/ScriptedPrompts.h"
#include "protocol/Message.h"
#include "tests/support/EventPump.h"
#include "tests/support/FakeNetInterfaces.h"
#include "tests/support/FakeVspDriverQueries.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TestNamespace.h"
#include "tools/devsim/DeviceSimulator.h"
#include "ui/widgets/CommitNumberEdit.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

constexpr uint16_t kDevicePort = 41122;
constexpr uint32_t kDeviceBase = 0x7F2A0001;  // 127.42.0.1

// The whole program's frame in a fresh working directory, started again as often as asked.
class MonitorInFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        net.hostAddresses = QStringList{"127.0.0.1"};
        net.adapters = std::vector<AdapterInfo>{{"lo", "127.0.0.1", "255.0.0.0"}};
        WriteFileBytes(dir.filePath("TUNLDRV.inf"), "");
    }
    CMainFrame* Launch() {
        app = std::make_unique<COrvinApp>(FrameServices{prompts, clock, net, vsp, dir.path()});
        return app->InitInstance();
    }
    CViewMonitor& Monitor() { return app->Frame()->Monitor(); }
    // Simulated devices on 127.42.0.x, answering at kDevicePort.
    bool StartDevices(int count) {
        devsim::SimulatorOptions options;
        options.managementPort = kDevicePort;
        options.baseAddress = kDeviceBase;
        options.tftp = false;
        devices = std::make_unique<devsim::DeviceSimulator>(clock, options);
        return devices->Start() && devices->AddDevices(count);
    }
    // The program with its device manager and monitor talking to those devices.
    CMainFrame* LaunchOnDevices() {
        CMainFrame* frame = Launch();
        if (!frame) return nullptr;
        frame->DeviceManager().Controller().SetDevicePort(kDevicePort);
        Monitor().Controller().SetDevicePort(kDevicePort);
        return frame;
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ManualClock clock;
    FakeNetInterfaces net;
    FakeVspDriverQueries vsp;
    std::unique_ptr<COrvinApp> app;
    std::unique_ptr<devsim::DeviceSimulator> devices;
};

}  // namespace

TEST_F(MonitorInFrame, IsFunctionViewZeroAndKeepsItsIntervalInTheSettingsFile) {
    CMainFrame* frame = Launch();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->FunctionView(kFunctionMonitor), &Monitor());
    frame->ShowFunctionView(kFunctionMonitor);
    CommitNumberEdit& box = *Monitor().IntervalBox();
    EXPECT_EQ(box.text(), "3");
    box.setFocus();
    box.selectAll();
    QTest::keyClicks(&box, "10");
    QTest::keyClick(&box, Qt::Key_Return);
    frame->close();

    frame = Launch();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->Settings().monitorInterval, 10);
    EXPECT_EQ(Monitor().IntervalBox()->text(), "10");
    EXPECT_EQ(Monitor().Controller().Interval(), 10);
}

TEST_F(MonitorInFrame, ShowingTheViewCopiesTheTickedDevicesAndRepliesReachIt) {
    ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace;
    ASSERT_TRUE(StartDevices(3));
    devsim::DeviceSimulator& sim = *devices;
    sim.Device(2).Status() = {0x0B, "V2.0.01", 1, 2};

    CMainFrame* frame = LaunchOnDevices();
    ASSERT_NE(frame, nullptr);
    DmController& dm = frame->DeviceManager().Controller();
    dm.OnSearch();
    ASSERT_TRUE(PumpUntil([&] { return dm.Table().Count() == 3; }));
    clock.Advance(1000);
    const int row = dm.Table().FindRowByIp(sim.Device(2).AddressText());
    dm.SetRowChecked(row, true);

    frame->ShowFunctionView(kFunctionMonitor);
    CReportCtrl& list = *Monitor().List();
    ASSERT_EQ(list.ItemCount(), 1);
    EXPECT_EQ(list.CellText(0, 0), QString::number(row));
    EXPECT_EQ(list.CellText(0, 3), sim.Device(2).AddressText());

    QTest::mouseClick(Monitor().StartButton(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return list.CellText(0, 1) == "Success"; }));
    EXPECT_EQ(list.CellText(0, 4), "0B");
    EXPECT_EQ(list.CellText(0, 5), "V2.0.01");

    // Shown again while running: the list stays as it is.
    dm.SetRowChecked(row, false);
    frame->ShowFunctionView(kFunctionDeviceManager);
    frame->ShowFunctionView(kFunctionMonitor);
    EXPECT_EQ(list.ItemCount(), 1);
    EXPECT_EQ(list.CellText(0, 1), "Success");
    // Once, whatever other views logged meanwhile (the port view answers when it is answered).
    const auto rows = frame->Log().Rows();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const auto& r) { return r.message == "Monitor function starts"; }),
              1);
}

// File > Export List... gives each listed device the version the monitor last read from it,
// found by its MAC address: rebuilding the monitor's rows and a failed query keep it, a search
// that no longer finds the device forgets it.
TEST_F(MonitorInFrame, ExportListGivesEachDeviceTheLastVersionTheMonitorReadFromIt) {
    ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace;
    ASSERT_TRUE(StartDevices(2));
    devsim::DeviceSimulator& sim = *devices;
    sim.Device(0).Status().firmwareVersion = "V2.0.01";
    sim.Device(1).Status().firmwareVersion = "V3.1.07";

    CMainFrame* frame = LaunchOnDevices();
    ASSERT_NE(frame, nullptr);
    DmController& dm = frame->DeviceManager().Controller();
    const auto search = [&](int listed) {
        dm.OnSearch();
        ASSERT_TRUE(PumpUntil([&] { return dm.Table().Count() == listed; }));
        clock.Advance(1000);
        prompts.Clear();
    };
    // Each listed device's MAC address and the version the CSV gives it.
    const auto exported = [&] {
        prompts.AnswerFile(dir.filePath("list.csv"));
        frame->OnExportList();
        std::map<QString, QString> versions;
        for (const QByteArray& line : ReadFileBytes(dir.filePath("list.csv")).split('\n').mid(1))
            if (const QStringList fields = QString::fromUtf8(line).trimmed().split(',');
                fields.size() == 10)
                versions[fields[3]] = fields[9];
        return versions;
    };
    const QString macA = DmDeviceTable::MacText(sim.Device(0).StoredRecord());
    const QString macB = DmDeviceTable::MacText(sim.Device(1).StoredRecord());
    search(2);
    for (int row = 0; row < 2; ++row) dm.SetRowChecked(row, true);
    frame->ShowFunctionView(kFunctionMonitor);
    CReportCtrl& list = *Monitor().List();
    QTest::mouseClick(Monitor().StartButton(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return list.CellText(1, 1) == "Success"; }));
    QTest::mouseClick(Monitor().StartButton(), Qt::LeftButton);
    using Versions = std::map<QString, QString>;
    EXPECT_EQ(exported(), (Versions{{macA, "V2.0.01"}, {macB, "V3.1.07"}}));

    // B unticked and the monitor shown again; A's query fails.
    dm.SetRowChecked(dm.Table().FindRowByMac(sim.Device(1).MacAddress()), false);
    frame->ShowFunctionView(kFunctionDeviceManager);
    frame->ShowFunctionView(kFunctionMonitor);
    devsim::Faults deaf;
    deaf.silent = true;
    deaf.commands = {msg::kStatusQuery};
    sim.Device(0).SetFaults(deaf);
    QTest::mouseClick(Monitor().StartButton(), Qt::LeftButton);
    clock.Advance(1000);
    ASSERT_EQ(list.CellText(0, 5), "---");
    QTest::mouseClick(Monitor().StartButton(), Qt::LeftButton);
    EXPECT_EQ(exported(), (Versions{{macA, "V2.0.01"}, {macB, "V3.1.07"}}));

    // B misses a search: when it is found again, nothing read from it is known.
    devsim::Faults away;
    away.silent = true;
    away.commands = {msg::kSearchRequest};
    sim.Device(1).SetFaults(away);
    search(1);
    EXPECT_EQ(exported(), (Versions{{macA, "V2.0.01"}}));
    sim.Device(1).SetFaults({});
    search(2);
    EXPECT_EQ(exported(), (Versions{{macA, "V2.0.01"}, {macB, ""}}));
}
