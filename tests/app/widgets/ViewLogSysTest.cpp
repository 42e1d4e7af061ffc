#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QToolTip>

#include "app/SystemLog.h"
#include "app/widgets/ViewLogSys.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FileBytes.h"
#include "tests/ui/widgets/ReportFit.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

class ViewLogSysTest : public ::testing::Test {
  protected:
    QStringList Row(int row) const {
        return {list->CellText(row, 0), list->CellText(row, 1), list->CellText(row, 2)};
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    SystemLog log{prompts, [] { return QDateTime(QDate(2024, 11, 30), QTime(23, 5, 0)); }};
    CViewLogSys view{log};
    CReportCtrl* list = view.findChild<CReportCtrl*>("1004");
};

}  // namespace

TEST_F(ViewLogSysTest, ListHasTheLogColumnsAndTheStartUpLines) {
    ASSERT_NE(list, nullptr);
    EXPECT_NE(view.findChild<QLabel*>(), nullptr);
    EXPECT_EQ(view.findChild<QLabel*>()->text(), "System Log");
    ASSERT_EQ(list->ColumnCount(), 3);
    EXPECT_EQ(list->ColumnTitle(0), "No");
    EXPECT_EQ(list->ColumnWidth(1), 140);
    EXPECT_EQ(list->ColumnTitle(2), " Message");  // titles keep their spaces
    EXPECT_EQ(list->ColumnWidth(2), 605);

    view.InitialUpdate("127.0.0.2");
    ASSERT_EQ(list->ItemCount(), 2);
    EXPECT_EQ(Row(0),
              (QStringList{"1", "2024-11-30--23-5-0 \r\n", "Application starts successfully."}));
    // The Time column was set for another system's font: it shows a whole time stamp here.
    for (int column = 0; column < 3; ++column) EXPECT_TRUE(TitleShowsWhole(*list, column));
    list->SetCellText(0, 1, FormatLogTime(QDateTime(QDate(2026, 12, 10), QTime(23, 21, 45))));
    EXPECT_TRUE(CellShowsWhole(*list, 0, 1));
    EXPECT_EQ(Row(1), (QStringList{"2", "2024-11-30--23-5-0 \r\n",
                                   "Selected network interface: 127.0.0.2"}));
}

TEST_F(ViewLogSysTest, OpenLogRefillsTheListAndNewLinesFollow) {
    view.InitialUpdate("127.0.0.2");
    log.AddLog("third");
    const QString path = dir.filePath("a.log");
    WriteFileBytes(path, "VELTRO Log File$7$t$seven$8$t$eight$");
    prompts.AnswerFile(path);
    view.OnOpenLog();
    ASSERT_EQ(list->ItemCount(), 2);
    EXPECT_EQ(Row(1), (QStringList{"8", "t", "eight"}));
    log.AddLog("ninth");
    ASSERT_EQ(list->ItemCount(), 3);
    EXPECT_EQ(Row(2), (QStringList{"9", "2024-11-30--23-5-0 \r\n", "ninth"}));

    prompts.AnswerFile(dir.filePath("b.log"));
    view.OnSaveLog();
    QFile saved(dir.filePath("b.log"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(),
              "VELTRO Log File$7$t$seven$8$t$eight$9$2024-11-30--23-5-0 \r\n$ninth$");
}

TEST_F(ViewLogSysTest, ViewShowsLinesLoggedBeforeItWasMade) {
    SystemLog early(prompts, [] { return QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0)); });
    early.AddLog("before the view");
    CViewLogSys late(early);
    CReportCtrl* lateList = late.findChild<CReportCtrl*>("1004");
    ASSERT_EQ(lateList->ItemCount(), 1);
    EXPECT_EQ(lateList->CellText(0, 2), "before the view");
}

// The message column takes what the other two leave, and a message too long for it is whole in
// its tooltip.
TEST_F(ViewLogSysTest, TheMessageTakesTheRestOfTheWidthAndItsTooltipTheWholeText) {
    const QString note = QStringLiteral(
        "The virtual serial port service is not running and no user session can start it "
        "(veltro-vspd, process of this program): virtual ports stay unavailable until it runs");
    log.AddLog(note);
    view.resize(1400, 300);
    view.show();
    QApplication::processEvents();
    const QHeaderView* header = list->horizontalHeader();
    EXPECT_EQ(header->sectionViewportPosition(2) + header->sectionSize(2),
              list->viewport()->width());
    EXPECT_GT(header->sectionSize(2), 1000);

    const QRect cell = list->visualRect(list->model()->index(0, 2));
    QHelpEvent help(QEvent::ToolTip, cell.center(), list->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(list->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), note);
}
