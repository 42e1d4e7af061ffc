#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "devmgr/widgets/DlgDmSetting.h"
#include "tests/devmgr/FakeDmFrame.h"

using dmperiod::Field;

namespace {

class DmSettingDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        frame.settings.periods = {10, 15, 15};  // a default settings file
        dialog.Prepare();
        dialog.show();
    }
    void Enter(Field field, const QString& text) { dialog.Edit(field)->setText(text); }
    QString Shown(Field field) const { return dialog.Edit(field)->text(); }

    FakeDmFrame frame;
    DmPeriods working{10, 10, 15};  // the view's values before the first opening
    CDlgDmSetting dialog{frame, working};
};

}  // namespace

TEST_F(DmSettingDialog, OpensWithTheSettingsValuesNotTheWorkingOnes) {
    EXPECT_EQ(dialog.windowTitle(), "Setting");
    EXPECT_EQ(Shown(Field::kSearch), "10");
    EXPECT_EQ(Shown(Field::kRestore), "15");
    EXPECT_EQ(Shown(Field::kReboot), "15");
    EXPECT_EQ(working, (DmPeriods{10, 15, 15}));
}

TEST_F(DmSettingDialog, OkWithATooSmallSearchPeriodStaysOpenButStoresIt) {
    Enter(Field::kSearch, "3");
    dialog.OkButton()->click();
    ASSERT_EQ(frame.prompts.shown.size(), 1u);
    EXPECT_EQ(frame.prompts.shown[0].text, "Enter an integer between 5 and 1000.");
    EXPECT_EQ(frame.prompts.shown[0].caption, "VELTRO");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), dialog.Edit(Field::kSearch));
    EXPECT_EQ(frame.settings.periods.search, 3);
    EXPECT_EQ(working.search, 3);
}

TEST_F(DmSettingDialog, CancelWithATooLargeRebootPeriodClosesAndKeepsTheSettings) {
    Enter(Field::kReboot, "2000");
    dialog.CancelButton()->click();
    EXPECT_EQ(frame.prompts.Texts(), QStringList{"Enter an integer between 10 and 1000."});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(working.reboot, 2000);
    EXPECT_EQ(frame.settings.periods, (DmPeriods{10, 15, 15}));
}

TEST_F(DmSettingDialog, OkWithATooLargeRebootPeriodTellsTwiceAndStaysOpen) {
    Enter(Field::kReboot, "2000");
    Enter(Field::kSearch, "20");
    dialog.OkButton()->click();
    EXPECT_EQ(frame.prompts.Texts(), (QStringList{"Enter an integer between 10 and 1000.",
                                                  "Enter an integer between 10 and 1000."}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), dialog.Edit(Field::kReboot));
    // Reading stopped at the reboot period: the search period was never read.
    EXPECT_EQ(frame.settings.periods, (DmPeriods{10, 15, 2000}));
}

TEST_F(DmSettingDialog, ANonNumberIsReportedAndGoodValuesAreConfirmed) {
    Enter(Field::kRestore, "ten");
    dialog.OkButton()->click();
    EXPECT_EQ(frame.prompts.Texts(), (QStringList{"Enter an integer.", "Enter an integer."}));
    EXPECT_TRUE(dialog.isVisible());

    frame.prompts.Clear();
    Enter(Field::kSearch, "50");
    Enter(Field::kRestore, "20");
    Enter(Field::kReboot, "30");
    dialog.OkButton()->click();
    EXPECT_TRUE(frame.prompts.shown.empty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(frame.settings.periods, (DmPeriods{50, 20, 30}));
    EXPECT_EQ(working, (DmPeriods{50, 20, 30}));
}
