#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "monitor/widgets/ViewMonitor.h"
#include "tests/monitor/MonitorSimNet.h"
#include "tests/ui/widgets/ReportFit.h"
#include "ui/widgets/CommitNumberEdit.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

class ViewMonitor : public ::testing::Test {
  protected:
    bool Begin(std::initializer_list<devsim::DeviceProfile> profiles) {
        if (!sim.Start(profiles)) return false;
        view = std::make_unique<CViewMonitor>(sim.frame);
        view->Controller().SetDevicePort(sim.net.DevicePort());
        view->resize(1000, 400);
        view->show();
        QApplication::setActiveWindow(view.get());
        view->InitialUpdate();
        return true;
    }
    CReportCtrl& List() { return *view->List(); }
    QPushButton& Start() { return *view->StartButton(); }
    CommitNumberEdit& Box() { return *view->IntervalBox(); }
    void Type(const QString& keys) {
        Box().setFocus();
        Box().selectAll();
        QTest::keyClick(&Box(), Qt::Key_Backspace);
        QTest::keyClicks(&Box(), keys);
    }

    MonitorSimNet sim;
    std::unique_ptr<CViewMonitor> view;
};

}  // namespace

TEST_F(ViewMonitor, ListsTheTickedDevicesInEightCentredColumns) {
    MONITOR_BEGIN({{}, {}});
    const QStringList titles{"NO.",
                             "Query Status",
                             "Device Name",
                             "IP",
                             "Modem Status (Hex)",
                             "Firmware Version",
                             "Serial Port TX Count",
                             "Serial Port RX Count"};
    const std::vector<int> widths{40, 90, 109, 109, 135, 115, 135, 135};
    ASSERT_EQ(List().ColumnCount(), 8);
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(List().ColumnTitle(c), titles[c]);
        EXPECT_EQ(List().ColumnWidth(c), widths[static_cast<size_t>(c)]);
        EXPECT_TRUE(TitleShowsWhole(List(), c)) << c;  // the last one too
        EXPECT_EQ(List().ColumnAlign(c), ReportAlign::Center);
    }
    EXPECT_EQ(Start().text(), "Start");
    EXPECT_FALSE(Start().isEnabled());  // no rows yet

    view->Fill();
    ASSERT_EQ(List().ItemCount(), 2);
    EXPECT_EQ(List().CellText(1, 0), "2");
    EXPECT_EQ(List().CellText(1, 1), "Idle");
    EXPECT_EQ(List().CellText(1, 3), sim.Device(1).AddressText());
    EXPECT_EQ(List().CellBackColor(1, 5), QColor(215, 215, 230));
    EXPECT_TRUE(Start().isEnabled());

    sim.frame.devices.clear();
    view->Fill();
    EXPECT_EQ(List().ItemCount(), 0);
    EXPECT_FALSE(Start().isEnabled());
}

TEST_F(ViewMonitor, ShowsAnswersAndFailuresWhileRunningAndKeepsThemAfterStop) {
    devsim::DeviceProfile answering;
    answering.status = {0x0B, "V1.6.12-b0013", 0xFFFFFFFFu, 5};
    MONITOR_BEGIN({answering, Silent()});
    view->Fill();
    QTest::mouseClick(&Start(), Qt::LeftButton);
    DmSimNet::Deliver();
    EXPECT_EQ(Start().text(), "Stop");
    EXPECT_TRUE(Start().isEnabled());
    EXPECT_EQ(List().CellText(0, 1), "Success");
    EXPECT_EQ(List().CellText(0, 4), "0B");
    EXPECT_EQ(List().CellText(0, 5), "V1.6.12-b0013");
    EXPECT_EQ(List().CellText(0, 6), "4294967295");
    EXPECT_EQ(List().CellText(1, 1), "Querying");
    EXPECT_EQ(List().CellBackColor(1, 1), QColor(215, 215, 230));  // a query keeps the colour

    sim.Advance(1000);
    EXPECT_EQ(List().CellText(1, 1), "Fail");
    for (int c = 4; c < 8; ++c) EXPECT_EQ(List().CellText(1, c), "---");
    EXPECT_EQ(List().CellBackColor(1, 0), QColor(230, 230, 215));

    view->Fill();  // shown again while running
    EXPECT_EQ(List().ItemCount(), 2);
    EXPECT_EQ(List().CellText(1, 1), "Fail");

    QTest::mouseClick(&Start(), Qt::LeftButton);
    EXPECT_EQ(Start().text(), "Start");
    EXPECT_EQ(List().CellText(0, 4), "0B");
    EXPECT_EQ(List().CellText(1, 1), "Fail");
    EXPECT_EQ(sim.Log(), (QStringList{"Monitor function starts", "Monitor function stoped."}));
}

TEST_F(ViewMonitor, IntervalIsClampedWhenTheEditIsFinished) {
    MONITOR_BEGIN({{}});
    view->Fill();
    EXPECT_EQ(Box().text(), "3");
    struct Case {
        const char* typed;
        const char* finish;  // Enter, focus leaving, or Start
        int kept;
    };
    const Case cases[] = {
        {"1", "enter", 3},   {"4000", "enter", 3600}, {"10", "enter", 10}, {"1", "focus", 3},
        {"25", "focus", 25}, {"4000", "start", 3600}, {"", "enter", 3},    {"7", "start", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " " + c.finish);
        Type(c.typed);
        // Nothing is taken while typing: "1" on its way to "10" stays "1".
        EXPECT_EQ(Box().text(), c.typed);
        const QString finish = c.finish;
        if (finish == "enter") QTest::keyClick(&Box(), Qt::Key_Return);
        if (finish == "focus") Start().setFocus();
        if (finish == "start") QTest::mouseClick(&Start(), Qt::LeftButton);
        EXPECT_EQ(Box().text(), QString::number(c.kept));
        EXPECT_EQ(sim.frame.interval, c.kept);
        EXPECT_EQ(view->Controller().Interval(), c.kept);
        if (view->Controller().Running()) {
            EXPECT_EQ(sim.net.frame.clock.PeriodOf(&view->Controller(), 1), c.kept * 1000);
            QTest::mouseClick(&Start(), Qt::LeftButton);
        }
    }
    // Only digits go in, at most four.
    Type("12a345");
    EXPECT_EQ(Box().text(), "1234");
}
