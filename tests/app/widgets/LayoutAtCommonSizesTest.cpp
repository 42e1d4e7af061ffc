// The window at a common laptop size (1066 x 666): what the user sees of the terminal's logs and
// edits, the monitor's titles and the navigation buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>

#include "app/widgets/OrvinApp.h"
#include "monitor/widgets/ViewMonitor.h"
#include "platform/ManualClock.h"
#include "platform/NetInterfaces.h"
#include "platform/ScriptedPrompts.h"
#include "terminal/widgets/TerminalLog.h"
#include "terminal/widgets/TerminalPanel.h"
#include "terminal/widgets/ViewTerminal.h"
#include "tests/support/FakeNetInterfaces.h"
#include "tests/support/FakeVspDriverQueries.h"
#include "tests/support/FileBytes.h"
#include "tests/ui/widgets/ReportFit.h"
#include "ui/widgets/ReportCtrl.h"
#include "vsp/VspDriverQueries.h"

namespace {

constexpr QSize kLaptop(1066, 666);

class LayoutAtCommonSizes : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        net.hostAddresses = QStringList{"127.0.0.1"};
        net.adapters = std::vector<AdapterInfo>{{"lo", "127.0.0.1", "255.0.0.0"}};
        WriteFileBytes(dir.filePath("TUNLDRV.inf"), "");
        app = std::make_unique<COrvinApp>(FrameServices{prompts, clock, net, vsp, dir.path()});
        frame = app->InitInstance();
        ASSERT_NE(frame, nullptr);
        frame->showNormal();
        frame->resize(kLaptop);
        QApplication::processEvents();
    }

    // Whether a line edit has the room to show its text whole.
    static bool HoldsItsText(const QLineEdit* edit) {
        const int room = edit->contentsRect().width() - edit->textMargins().left() -
                         edit->textMargins().right() - 4;  // the line edit's own margin
        return edit->fontMetrics().horizontalAdvance(edit->text()) <= room;
    }

    // Whether a widget lies whole inside the window and inside the pane's visible part.
    bool ShownWhole(QWidget* widget) const {
        const QRect inFrame(widget->mapTo(frame, QPoint(0, 0)), widget->size());
        return frame->rect().contains(inFrame) &&
               widget->visibleRegion().boundingRect() == widget->rect();
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ManualClock clock;
    FakeNetInterfaces net;
    FakeVspDriverQueries vsp;
    std::unique_ptr<COrvinApp> app;
    CMainFrame* frame = nullptr;
};

TEST_F(LayoutAtCommonSizes, TheTerminalShowsItsLogsAndEveryValueWhole) {
    frame->ShowBottomView(kBottomTerminal);
    QApplication::processEvents();
    for (int i = 0; i < kTerminalCount; ++i) {
        SCOPED_TRACE(i);
        TerminalPanel& panel = frame->Terminal().Panel(i);
        TerminalLog* log = panel.Log();
        EXPECT_GE(log->viewport()->height(), 5 * log->fontMetrics().lineSpacing());
        EXPECT_TRUE(ShownWhole(log));
        for (QLineEdit* edit : panel.findChildren<QLineEdit*>()) {
            if (qobject_cast<QComboBox*>(edit->parentWidget())) continue;
            edit->setText(QStringLiteral("100000"));  // the widest TX value
            EXPECT_TRUE(HoldsItsText(edit));
            EXPECT_TRUE(ShownWhole(edit));
        }
        for (QComboBox* list : panel.findChildren<QComboBox*>()) {
            EXPECT_GE(list->width(), list->minimumSizeHint().width())
                << list->currentText().toStdString();
            EXPECT_TRUE(ShownWhole(list));
        }
    }

    // Hex with time stamps: a line's ASCII column shows without scrolling sideways.
    TerminalPanel& panel = frame->Terminal().Panel(0);
    panel.HexBox()->click();
    panel.TimeBox()->click();
    panel.Controller().OnReceived(QByteArray("0123456789abcdefghijklmnopqrstuv"));
    QApplication::processEvents();
    EXPECT_TRUE(panel.Log()->toPlainText().contains("01234567"))
        << panel.Log()->toPlainText().toStdString();
    EXPECT_EQ(panel.Log()->horizontalScrollBar()->maximum(), 0);

    // At the window's minimum size the pane scrolls rather than cutting a value short.
    frame->resize(frame->minimumSize());
    QApplication::processEvents();
    for (int i = 0; i < kTerminalCount; ++i)
        for (QLineEdit* edit : frame->Terminal().Panel(i).findChildren<QLineEdit*>())
            EXPECT_TRUE(HoldsItsText(edit)) << i << " " << edit->text().toStdString();
    frame->resize(kLaptop);
    QApplication::processEvents();

    // The system log gets its split back; a split the user set stays.
    frame->ShowBottomView(kBottomLog);
    const QList<int> moved{300,
                           frame->Rows()->sizes().value(1) + frame->Rows()->sizes().value(0) - 300};
    frame->Rows()->setSizes(moved);
    emit frame->Rows()->splitterMoved(300, 1);
    frame->ShowBottomView(kBottomTerminal);
    EXPECT_EQ(frame->Rows()->sizes(), moved);
}

TEST_F(LayoutAtCommonSizes, TheMonitorShowsEveryTitleWhole) {
    frame->ShowFunctionView(kFunctionMonitor);
    QApplication::processEvents();
    CReportCtrl* list = frame->Monitor().List();
    const QHeaderView* header = list->horizontalHeader();
    for (int column = 0; column < list->ColumnCount(); ++column) {
        EXPECT_TRUE(TitleShowsWhole(*list, column)) << column;
        EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column),
                  list->viewport()->width())
            << column;
    }
}

TEST_F(LayoutAtCommonSizes, TheNavigationButtonsNeverOverlap) {
    const int total = frame->Rows()->sizes().value(0) + frame->Rows()->sizes().value(1);
    frame->Rows()->setSizes({0, total});
    QApplication::processEvents();
    QList<QPushButton*> buttons;
    for (int id : {CViewMenu::kDeviceManagementId, CViewMenu::kVirtualSerialPortId,
                   CViewMenu::kDeviceMonitorId, CViewMenu::kTerminalId})
        buttons << frame->Navigation().Button(id);
    for (int i = 0; i < buttons.size(); ++i) {
        EXPECT_GE(buttons[i]->height(), buttons[i]->sizeHint().height()) << i;
        if (i > 0) {
            EXPECT_FALSE(buttons[i]->geometry().intersects(buttons[i - 1]->geometry())) << i;
        }
    }
}

}  // namespace
