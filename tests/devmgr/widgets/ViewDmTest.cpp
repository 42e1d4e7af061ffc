#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "devmgr/widgets/DlgDmSetting.h"
#include "devmgr/widgets/ViewDm.h"
#include "tests/devmgr/DmSimNet.h"
#include "tests/ui/widgets/ReportFit.h"
#include "ui/widgets/ReportCtrl.h"

using devsim::DeviceProfile;

namespace {

class ViewDm : public ::testing::Test {
  protected:
    void SetUp() override {
        DM_START_NET(net);
        view = std::make_unique<CViewDm>(net.frame);
        view->Controller().SetDevicePort(net.DevicePort());
        view->resize(900, 500);
        view->show();
        view->InitialUpdate();
        net.Ticks(1);
    }

    QPushButton* Button(DmButton b) { return view->Button(b); }
    std::vector<bool> ButtonsEnabled() {
        std::vector<bool> on;
        for (int i = 0; i < kDmButtonCount; ++i) on.push_back(Button(DmButton(i))->isEnabled());
        return on;
    }
    CReportCtrl& List() { return *view->List(); }
    // Lists the simulator's devices with the Search button.
    void Search() {
        QTest::mouseClick(Button(DmButton::kSearch), Qt::LeftButton);
        net.Ticks(1);
        net.frame.prompts.Clear();
    }
    QPoint CellCentre(int row, int column) {
        return List().visualRect(List().model()->index(row, column)).center();
    }

    DmSimNet net;
    std::unique_ptr<CViewDm> view;
};

}  // namespace

TEST_F(ViewDm, ShowsEveryControlAndTheListColumns) {
    const QStringList texts{"System Setting", "Search",  "Device Setup", "Firmware Upgrade",
                            "Reboot",         "Restore", "Web Browser"};
    for (int i = 0; i < kDmButtonCount; ++i) EXPECT_EQ(Button(DmButton(i))->text(), texts[i]);
    EXPECT_EQ(ButtonsEnabled(), (std::vector<bool>{true, true, false, true, false, false, false}));
    EXPECT_EQ(view->StatusText()->text(), " Idle");
    EXPECT_EQ(view->ProgressBar()->minimum(), 0);
    EXPECT_EQ(view->ProgressBar()->maximum(), 1000);
    EXPECT_EQ(view->SearchAtStartBox()->text(), "Search After Application Start");
    EXPECT_FALSE(view->SearchAtStartBox()->isChecked());
    EXPECT_FALSE(view->findChildren<QLabel*>().isEmpty());
    bool labelled = false;
    for (QLabel* label : view->findChildren<QLabel*>()) labelled |= label->text() == "Devices List";
    EXPECT_TRUE(labelled);

    const QStringList titles{"",   "NO.",  "Device Name", "MAC Address", "DHCP",
                             "IP", "Port", "Mode",        "Status"};
    const std::vector<int> widths{20, 40, 130, 130, 55, 100, 50, 50, 90};
    ASSERT_EQ(List().ColumnCount(), 9);
    for (int c = 0; c < 9; ++c) {
        EXPECT_EQ(List().ColumnTitle(c), titles[c]);
        EXPECT_EQ(List().ColumnWidth(c), widths[static_cast<size_t>(c)]);
        EXPECT_TRUE(TitleShowsWhole(List(), c)) << c;
        EXPECT_EQ(List().ColumnAlign(c), ReportAlign::Center);
    }
    EXPECT_EQ(List().CheckBoxModeOf(), CReportCtrl::kIndependentCheckBoxes);
    EXPECT_TRUE(List().showGrid());
    EXPECT_FALSE(List().horizontalHeader()->sectionsClickable());
    EXPECT_EQ(List().selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(ViewDm, ASearchFillsTheListWithItsColoursAndBringsTheButtonsBack) {
    DeviceProfile connected;
    connected.name = "Gate";
    connected.linkStatus = 1;
    connected.clientMode = true;
    connected.destinationPort = 6001;
    net.Add(connected);
    DeviceProfile unnamed;
    unnamed.name = "";
    unnamed.dhcp = true;
    net.Add(unnamed);

    QTest::mouseClick(Button(DmButton::kSearch), Qt::LeftButton);
    EXPECT_EQ(view->StatusText()->text(), " Searching ...");
    EXPECT_EQ(ButtonsEnabled(), std::vector<bool>(kDmButtonCount, false));
    net.Ticks(1);
    EXPECT_EQ(view->StatusText()->text(), " Idle");
    EXPECT_EQ(view->ProgressBar()->value(), 1000);
    EXPECT_EQ(ButtonsEnabled(), std::vector<bool>(kDmButtonCount, true));

    ASSERT_EQ(List().ItemCount(), 2);
    const DmDeviceTable& t = view->DeviceTable();
    for (int row = 0; row < 2; ++row)
        for (int c = 1; c < 9; ++c) EXPECT_EQ(List().CellText(row, c), t.CellText(row, c));
    EXPECT_EQ(List().CellText(0, 2), "Gate");
    EXPECT_EQ(List().CellText(0, 6), "6001");
    EXPECT_EQ(List().CellText(0, 7), "Client");
    EXPECT_EQ(List().CellText(0, 8), "Connected");
    EXPECT_EQ(List().CellBackColor(0, 3), QColor(220, 220, 220));
    EXPECT_EQ(List().CellText(1, 2), "DSM2");
    EXPECT_EQ(List().CellText(1, 4), "Enable");
    EXPECT_EQ(List().CellBackColor(1, 5), QColor(232, 192, 192));
    EXPECT_FALSE(List().GetRowCheck(0));
    EXPECT_EQ(List().CellText(1, 3).mid(9, 5), List().CellText(1, 3).mid(9, 5).toLower());
}

TEST_F(ViewDm, ClicksTickRowsAndSelectThemAndADoubleClickOpensTheSheet) {
    net.Add();
    net.Add();
    Search();
    DmController& dm = view->Controller();
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, CellCentre(1, 3));
    EXPECT_TRUE(List().GetRowCheck(1));
    EXPECT_TRUE(dm.Table().IsChecked(1));
    EXPECT_EQ(dm.SelectedRow(), 1);
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, CellCentre(1, 5));
    EXPECT_FALSE(dm.Table().IsChecked(1));

    List().SetRowCheck(0, true);  // as the check box itself does
    EXPECT_TRUE(dm.Table().IsChecked(0));
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, CellCentre(0, 0));
    EXPECT_FALSE(dm.Table().IsChecked(0));  // the check box toggles by itself, once
    EXPECT_EQ(dm.SelectedRow(), 0);
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {},
                      QPoint(10, List().viewport()->height() - 2));
    EXPECT_EQ(dm.SelectedRow(), std::nullopt);

    int opened = 0;
    dm.SetSetupSheet([&](const DeviceConfigRecord&, int row) {
        EXPECT_EQ(row, 1);
        ++opened;
        return std::optional<DeviceConfigRecord>(
            BuildSetupCommand(dm.Table().Record(1), dm.Table().Record(1).MacAddress()));
    });
    net.frame.prompts.Answer(PromptAnswer::No);  // do not send
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, CellCentre(1, 2));
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(List().GetRowCheck(1));
    EXPECT_EQ(dm.SelectedRow(), 1);
}

TEST_F(ViewDm, WebBrowserOpensTheOneTickedDevicesPage) {
    net.Add();
    net.Add();
    Search();
    List().SetRowCheck(0, true);
    List().SetRowCheck(1, true);
    QTest::mouseClick(Button(DmButton::kWebBrowser), Qt::LeftButton);
    EXPECT_EQ(net.frame.prompts.Texts(), QStringList{"Please set ONE device server each time !!"});
    EXPECT_TRUE(net.frame.prompts.opened.isEmpty());

    List().SetRowCheck(0, false);
    QTest::mouseClick(Button(DmButton::kWebBrowser), Qt::LeftButton);
    EXPECT_EQ(net.frame.prompts.opened, QStringList{"http://" + List().CellText(1, 5)});
    EXPECT_EQ(view->StatusText()->text(), " Idle");
    EXPECT_EQ(view->ProgressBar()->value(), 0);
    EXPECT_EQ(ButtonsEnabled(), std::vector<bool>(kDmButtonCount, true));
}

TEST_F(ViewDm, ASetupReplyShowsTheRowAsSetUp) {
    DeviceProfile profile;
    profile.faults.delayMs = 1500;
    profile.faults.commands = {msg::kSetupCommand};
    net.Add(profile);
    Search();
    DmController& dm = view->Controller();
    List().SetRowCheck(0, true);
    dm.SetSetupSheet([&](const DeviceConfigRecord& record, int) {
        DeviceConfigRecord edited = record;
        edited.Set(devrec::deviceName, "Renamed");
        return std::optional<DeviceConfigRecord>(BuildSetupCommand(edited, record.MacAddress()));
    });
    QTest::mouseClick(Button(DmButton::kDeviceSetup), Qt::LeftButton);
    EXPECT_EQ(view->StatusText()->text(), " Device setting ...");
    EXPECT_EQ(view->ProgressBar()->value(), 100);
    net.frame.clock.Advance(1600);
    EXPECT_EQ(List().CellText(0, 2), "Renamed");
    EXPECT_EQ(List().CellText(0, 8), "Device Setup Success");
    EXPECT_EQ(List().CellTextColor(0, 4), QColor(0, 176, 0));
    EXPECT_EQ(List().CellBackColor(0, 4), QColor(232, 192, 192));
    EXPECT_FALSE(List().GetRowCheck(0));
}

TEST_F(ViewDm, TheVirtualPortViewSetsTheStatusColumn) {
    net.Add();
    Search();
    view->SetStatusText(0, "Connected");
    EXPECT_EQ(List().CellText(0, 8), "Connected");
    EXPECT_EQ(List().CellBackColor(0, 1), QColor(220, 220, 220));
    view->SetStatusText(0, "Idle");
    EXPECT_EQ(List().CellBackColor(0, 1), QColor(232, 192, 192));
    EXPECT_EQ(view->RowCount(), 1);
}

TEST_F(ViewDm, SystemSettingShowsTheSettingsPeriodsAndTheBoxIsHandedBack) {
    net.frame.settings.periods = {10, 15, 15};
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* dialog = view->SettingDialog();
        for (auto field :
             {dmperiod::Field::kSearch, dmperiod::Field::kRestore, dmperiod::Field::kReboot})
            shown << dialog->Edit(field)->text();
        dialog->Edit(dmperiod::Field::kReboot)->setText("20");
        dialog->OkButton()->click();
    });
    QTest::mouseClick(Button(DmButton::kSystemSetting), Qt::LeftButton);
    EXPECT_EQ(shown, (QStringList{"10", "15", "15"}));
    EXPECT_EQ(view->Controller().WorkingPeriods(), (DmPeriods{10, 15, 20}));
    EXPECT_EQ(net.frame.settings.periods, (DmPeriods{10, 15, 20}));

    view->SearchAtStartBox()->click();
    EXPECT_FALSE(net.frame.settings.searchAtStart);
    view->HandOverSettings();
    EXPECT_TRUE(net.frame.settings.searchAtStart);
}
