#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>

#include "tests/ui/QtPrinters.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

const QColor kLightGrey(220, 220, 220);
const QColor kPink(232, 192, 192);
const QColor kGreen(0, 176, 0);

void SendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button,
               Qt::KeyboardModifiers modifiers, const QPoint& pos) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, modifiers);
    QApplication::sendEvent(target, &event);
}

void Click(QWidget* target, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = {}) {
    SendMouse(target, QEvent::MouseButtonPress, button, modifiers, pos);
    SendMouse(target, QEvent::MouseButtonRelease, button, modifiers, pos);
}

void DoubleClick(QWidget* target, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(target, QEvent::MouseButtonPress, button, {}, pos);
    SendMouse(target, QEvent::MouseButtonRelease, button, {}, pos);
    SendMouse(target, QEvent::MouseButtonDblClick, button, {}, pos);
    SendMouse(target, QEvent::MouseButtonRelease, button, {}, pos);
}

void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = {}) {
    const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QString();
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

class ReportCtrlTest : public testing::Test {
  protected:
    ReportCtrlTest() {
        list.resize(600, 400);
        list.setLocale(QLocale::c());
    }

    // Rows with the given texts in column `column`, row i showing "r<i>" in column 0.
    void Fill(const QStringList& texts, int column = 1) {
        for (int i = 0; i < texts.size(); ++i) {
            list.InsertRow(i, QString("r%1").arg(i));
            list.SetCellText(i, column, texts[i]);
        }
    }

    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < list.ItemCount(); ++row) texts.append(list.CellText(row, column));
        return texts;
    }

    QPoint CellCentre(int row, int column) const {
        return list.visualRect(list.model()->index(row, column)).center();
    }

    // The check box of a row, in viewport coordinates: the left end of column 0.
    QPoint CheckBoxPoint(int row) const {
        const QRect cell = list.visualRect(list.model()->index(row, 0));
        return QPoint(cell.left() + list.style()->pixelMetric(QStyle::PM_IndicatorWidth) / 2 + 3,
                      cell.center().y());
    }

    void ClickHeader(int column) {
        QHeaderView* header = list.horizontalHeader();
        const QPoint p(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                       header->height() / 2);
        Click(header->viewport(), p);
    }

    QColor PixelAt(const QPoint& viewportPoint) {
        return list.viewport()->grab().toImage().pixelColor(viewportPoint);
    }

    CReportCtrl list;
};

TEST_F(ReportCtrlTest, ColumnSpecGivesTitlesWidthsAndAlignments) {
    ASSERT_TRUE(list.ApplyColumnSpec("No, 60; Time, 140; Message, 605"));
    ASSERT_EQ(list.ColumnCount(), 3);
    EXPECT_EQ(list.ColumnTitle(1), " Time");
    EXPECT_EQ(list.ColumnWidth(0), 60);
    EXPECT_EQ(list.ColumnWidth(2), 605);
    EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), " Message");

    list.InsertRow(0, "x");
    ASSERT_TRUE(list.ApplyColumnSpec("A, 50, 1;;B"));  // replaces rows and columns
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(list.ColumnCount(), 2);
    EXPECT_EQ(list.ColumnAlign(0), ReportAlign::Center);
    EXPECT_EQ(list.ColumnWidth(1), 100);
    EXPECT_FALSE(list.ApplyColumnSpec(";;"));
    EXPECT_EQ(list.ColumnCount(), 0);
}

TEST_F(ReportCtrlTest, InsertedColumnsUseTheirAlignmentCodes) {
    EXPECT_EQ(list.InsertReportColumn(0, "a", ReportAlign::Right, 40), 0);
    EXPECT_EQ(list.InsertReportColumn(9, "c", ReportAlign::Center, 30), 1);  // appended
    EXPECT_EQ(list.InsertReportColumn(-1, "bad"), -1);
    list.InsertRow(0, "1");
    const auto align = [&](int c) {
        return list.model()->index(0, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    };
    EXPECT_TRUE(align(0) & Qt::AlignRight);
    EXPECT_TRUE(align(1) & Qt::AlignHCenter);
    EXPECT_EQ(list.ColumnWidth(1), 30);
}

TEST_F(ReportCtrlTest, TextsOfRowsAndCells) {
    list.ApplyColumnSpec("A;B");
    EXPECT_EQ(list.InsertRow(0, "first"), 0);
    EXPECT_EQ(list.InsertRow(7, "last"), 1);  // past the end: appended
    EXPECT_EQ(list.InsertRow(-1, "no"), -1);
    EXPECT_EQ(list.InsertRow(1, "middle"), 1);
    EXPECT_TRUE(list.SetCellText(1, 1, "m2"));
    EXPECT_FALSE(list.SetCellText(3, 0, "x"));
    EXPECT_FALSE(list.SetCellText(0, 2, "x"));
    EXPECT_EQ(Column(0), (QStringList{"first", "middle", "last"}));
    EXPECT_EQ(list.CellText(1, 1), "m2");
    EXPECT_EQ(list.CellText(5, 0), "");
    EXPECT_EQ(list.FindRow(0, "last"), 2);
    EXPECT_EQ(list.FindRow(0, "Last"), -1);

    // a cell keeps its text exactly; the row shows it on one line
    list.SetCellText(0, 1, "2024-5-3--12-4-5 \r\n");
    EXPECT_EQ(list.CellText(0, 1), "2024-5-3--12-4-5 \r\n");
    EXPECT_EQ(list.model()->index(0, 1).data().toString(), "2024-5-3--12-4-5  ");
}

TEST_F(ReportCtrlTest, ColourCasesCellRowColumnAndAll) {
    list.ApplyColumnSpec("A;B;C");
    for (int i = 0; i < 3; ++i) list.InsertRow(i, "x");
    const QColor text = list.palette().color(QPalette::Text);
    const QColor window = list.palette().color(QPalette::Base);
    EXPECT_EQ(list.CellTextColor(1, 1), text);
    EXPECT_EQ(list.CellBackColor(1, 1), window);

    list.SetCellBackColor(2, -1, kLightGrey);  // the whole row
    list.SetCellTextColor(-1, 1, kGreen);      // a column in every row
    list.SetCellBackColor(0, 2, kPink);        // one cell
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const QColor back = r == 2 ? kLightGrey : (r == 0 && c == 2 ? kPink : window);
            EXPECT_EQ(list.CellBackColor(r, c), back) << r << "," << c;
            EXPECT_EQ(list.CellTextColor(r, c), c == 1 ? kGreen : text) << r << "," << c;
        }

    list.InsertReportColumn(1, "new");  // the new cells take the defaults
    EXPECT_EQ(list.CellBackColor(2, 1), window);
    EXPECT_EQ(list.CellBackColor(2, 2), kLightGrey);
    EXPECT_EQ(list.CellTextColor(0, 2), kGreen);

    list.SetCellBackColor(-1, -1, kPink);  // everything
    list.SetCellTextColor(7, 9, kGreen);   // nothing valid: every cell too
    EXPECT_EQ(list.CellBackColor(1, 3), kPink);
    EXPECT_EQ(list.CellTextColor(2, 0), kGreen);
    list.SetCellBackColor(1, 0, QColor());  // back to the default
    EXPECT_EQ(list.CellBackColor(1, 0), window);
}

TEST_F(ReportCtrlTest, RowColourIsDrawn) {
    list.ApplyColumnSpec("A, 100;B, 100");
    list.InsertRow(0, "");
    list.InsertRow(1, "");
    list.SetCellBackColor(1, -1, kLightGrey);
    list.show();
    EXPECT_EQ(PixelAt(CellCentre(1, 1)), kLightGrey);
    EXPECT_EQ(PixelAt(CellCentre(0, 1)), list.palette().color(QPalette::Base));
}

TEST_F(ReportCtrlTest, ChecksAreStoredPerRowInCheckBoxMode) {
    list.ApplyColumnSpec(", 20;Name");
    list.InsertRow(0, "");
    list.InsertRow(1, "");
    EXPECT_FALSE(list.SetRowCheck(0, true));  // no check boxes yet
    list.SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    QList<std::pair<int, bool>> changed;
    QObject::connect(&list, &CReportCtrl::RowCheckChanged, [&](int row, bool ticked) {
        changed.append({row, ticked});
    });
    EXPECT_TRUE(list.SetRowCheck(1, true));
    EXPECT_FALSE(list.GetRowCheck(0));
    EXPECT_TRUE(list.GetRowCheck(1));
    EXPECT_EQ(list.model()->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(list.model()->index(1, 1).data(Qt::CheckStateRole).isValid());
    EXPECT_EQ(changed, (QList<std::pair<int, bool>>{{1, true}}));
}

TEST_F(ReportCtrlTest, ClickThatChangesACheckSelectsAndFocusesThatRowOnly) {
    list.ApplyColumnSpec(", 40;Name, 100");
    list.SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    for (int i = 0; i < 4; ++i) list.InsertRow(i, "");
    list.show();
    list.SelectRow(0);
    list.SetRowSelected(3, true);

    Click(list.viewport(), CheckBoxPoint(2), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_TRUE(list.GetRowCheck(2));
    EXPECT_EQ(list.SelectedRows(), QList<int>{2});
    EXPECT_EQ(list.FocusedRow(), 2);

    // unticking works the same way
    list.SelectRow(1);
    Click(list.viewport(), CheckBoxPoint(2), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_FALSE(list.GetRowCheck(2));
    EXPECT_EQ(list.SelectedRows(), QList<int>{2});
}

TEST_F(ReportCtrlTest, SpaceBarDoesNotChangeTheFocusedRowsCheck) {
    list.ApplyColumnSpec(", 40;Name, 100");
    list.SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    list.InsertRow(0, "");
    list.InsertRow(1, "");
    list.show();
    list.setFocus();
    list.SelectRow(1);
    list.SetRowCheck(0, true);
    Key(&list, Qt::Key_Space);
    Key(&list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(list.GetRowCheck(1));
    EXPECT_TRUE(list.GetRowCheck(0));
    EXPECT_EQ(list.SelectedRows(), QList<int>{1});
}

}  // namespace
