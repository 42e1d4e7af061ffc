#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>

#include "tests/ui/QtPrinters.h"
#include "tests/ui/widgets/ReportFit.h"
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
        list.show();
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

// The widths given were set for another system's font. In every installed font, small or
// large, the list shows them scaled by one factor so that each title and the Time column's
// time stamp show whole, and never narrower than given.
TEST_F(ReportCtrlTest, ColumnsScaleSoTitlesAndSamplesShowWholeInTheFontInUse) {
    const QString stamp = QStringLiteral("2026-12-28--23-58-58 ");
    const std::vector<int> given{60, 140, 605};
    ASSERT_TRUE(list.ApplyColumnSpec("No, 60; Time, 140; Message, 605"));
    list.SetColumnSample(1, stamp);
    list.InsertRow(0, "9999");
    list.SetCellText(0, 1, stamp);
    QStringList families = QFontDatabase::families();
    ASSERT_FALSE(families.isEmpty());
    for (const QString& family : families) {
        for (int points : {6, 10, 18}) {
            const QFont font(family, points);
            list.setFont(font);
            SCOPED_TRACE(font.toString().toStdString());
            EXPECT_TRUE(CellShowsWhole(list, 0, 1));
            for (int column = 0; column < 3; ++column) {
                const int width = given[static_cast<size_t>(column)];
                EXPECT_TRUE(TitleShowsWhole(list, column)) << column;
                EXPECT_EQ(list.ColumnWidth(column), width);  // the width as given
                EXPECT_GE(list.columnWidth(column), width);
                EXPECT_NEAR(list.columnWidth(column), width * list.ColumnScale(), 1.0);
            }
        }
    }
}

TEST_F(ReportCtrlTest, ColumnWidthsSurviveCheckBoxModeAndDeletingAllRows) {
    list.InsertReportColumn(0, "", ReportAlign::Center, 20);
    list.InsertReportColumn(1, "NO.", ReportAlign::Center, 40);
    list.InsertRow(0, "");
    list.SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    list.DeleteRows(ReportRows::kAll);
    list.SetCheckBoxMode(CReportCtrl::kNoCheckBoxes);
    EXPECT_EQ(list.ColumnWidth(0), 20);
    EXPECT_EQ(list.ColumnWidth(1), 40);
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
    list.setFocus();
    list.SelectRow(1);
    list.SetRowCheck(0, true);
    for (Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ControlModifier}) {
        Key(&list, Qt::Key_Space, modifiers);
        EXPECT_FALSE(list.GetRowCheck(1)) << modifiers;
    }
    EXPECT_TRUE(list.GetRowCheck(0));
    EXPECT_EQ(list.SelectedRows(), QList<int>{1});
}

TEST_F(ReportCtrlTest, HeaderClicksSortNumbersPercentagesAndTextThenFlip) {
    list.ApplyColumnSpec("Row;Value;Name");
    list.EnableHeaderSort(true);
    struct {
        int column;
        QStringList texts;
        QStringList ascending;
    } cases[] = {
        {1, {"10", "9", "100"}, {"9", "10", "100"}},
        {1, {"2.5%", "10%", "1.25%"}, {"1.25%", "2.5%", "10%"}},
        {2, {"beta", "Alpha", "alpha"}, {"Alpha", "alpha", "beta"}},
    };
    for (const auto& c : cases) {
        list.DeleteRows();
        Fill(c.texts, c.column);
        ClickHeader(c.column);
        EXPECT_EQ(Column(c.column), c.ascending);
        EXPECT_EQ(list.SortColumn(), c.column);
        EXPECT_TRUE(list.SortAscending());
        ClickHeader(c.column);
        EXPECT_EQ(Column(c.column), QStringList(c.ascending.rbegin(), c.ascending.rend()));
        EXPECT_FALSE(list.SortAscending());
        EXPECT_EQ(list.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    }
}

TEST_F(ReportCtrlTest, SortStateResetsOnInsertAndTextChangeAndOtherHeaderStartsAscending) {
    list.ApplyColumnSpec("Row;Value");
    list.EnableHeaderSort(true);
    Fill({"3", "1", "2"});
    ClickHeader(1);
    ClickHeader(1);  // descending
    ClickHeader(0);  // another header: ascending
    EXPECT_EQ(list.SortColumn(), 0);
    EXPECT_TRUE(list.SortAscending());

    ClickHeader(1);
    ClickHeader(1);
    EXPECT_FALSE(list.SortAscending());
    list.InsertRow(3, "r3");
    EXPECT_EQ(list.SortColumn(), -1);
    EXPECT_FALSE(list.horizontalHeader()->isSortIndicatorShown());
    list.SetCellText(3, 1, "0");
    ClickHeader(1);  // ascending again, not the flip of the old descending sort
    EXPECT_EQ(Column(1), (QStringList{"0", "1", "2", "3"}));

    ClickHeader(1);
    list.SetCellText(0, 1, "7");
    EXPECT_EQ(list.SortColumn(), -1);
    EXPECT_TRUE(list.SortAscending());
}

TEST_F(ReportCtrlTest, SortingNeedsHeaderSortEnabled) {
    list.ApplyColumnSpec("Row;Value");
    Fill({"2", "1"});
    EXPECT_FALSE(list.SortRows(1, true));
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"2", "1"}));

    list.EnableHeaderSort(true);
    EXPECT_FALSE(list.SortRows(5, true));
    EXPECT_TRUE(list.SortRows(1, false));
    EXPECT_TRUE(list.SortRows(1, true));
    EXPECT_EQ(Column(1), (QStringList{"1", "2"}));
    list.EnableHeaderSort(false);
    EXPECT_EQ(list.SortColumn(), -1);
    ClickHeader(1);
    EXPECT_EQ(list.SortColumn(), -1);

    list.horizontalHeader()->hide();  // a list without headers cannot be made sortable
    list.EnableHeaderSort(true);
    EXPECT_FALSE(list.HeaderSortEnabled());
}

TEST_F(ReportCtrlTest, ColoursChecksSelectionAndFocusMoveWithTheirRowsWhenSorted) {
    list.ApplyColumnSpec(", 30;Value");
    list.SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    list.EnableHeaderSort(true);
    Fill({"30", "10", "20"});
    list.SetCellBackColor(0, -1, kPink);  // row "30"
    list.SetCellTextColor(1, 1, kGreen);  // cell of row "10"
    list.SetRowCheck(2, true);            // row "20"
    list.SelectRow(0);                    // row "30" selected and focused
    list.SetRowSelected(1, true);         // row "10" selected too

    list.SortRows(1, true);
    ASSERT_EQ(Column(1), (QStringList{"10", "20", "30"}));
    EXPECT_EQ(Column(0), (QStringList{"r1", "r2", "r0"}));
    EXPECT_EQ(list.CellBackColor(2, 0), kPink);
    EXPECT_EQ(list.CellBackColor(2, 1), kPink);
    EXPECT_EQ(list.CellTextColor(0, 1), kGreen);
    EXPECT_NE(list.CellTextColor(2, 1), kGreen);
    EXPECT_TRUE(list.GetRowCheck(1));
    EXPECT_FALSE(list.GetRowCheck(2));
    EXPECT_EQ(list.SelectedRows(), (QList<int>{0, 2}));
    EXPECT_EQ(list.FocusedRow(), 2);
}

TEST_F(ReportCtrlTest, ColoursAndChecksFollowRowsOnInsertAndDelete) {
    list.ApplyColumnSpec(", 30;Value");
    list.SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    Fill({"a", "b", "c"});
    list.SetCellBackColor(1, -1, kLightGrey);
    list.SetRowCheck(2, true);

    list.InsertRow(0, "new");
    EXPECT_EQ(list.CellBackColor(2, 1), kLightGrey);  // "b" moved down
    EXPECT_EQ(list.CellBackColor(0, 1), list.palette().color(QPalette::Base));
    EXPECT_TRUE(list.GetRowCheck(3));
    EXPECT_FALSE(list.GetRowCheck(0));

    EXPECT_TRUE(list.DeleteRow(1));  // "a"
    EXPECT_EQ(list.CellText(1, 1), "b");
    EXPECT_EQ(list.CellBackColor(1, 0), kLightGrey);
    EXPECT_TRUE(list.GetRowCheck(2));
    EXPECT_FALSE(list.DeleteRow(3));

    EXPECT_TRUE(list.DeleteColumn(0));  // colours of the remaining column stay
    EXPECT_EQ(list.CellBackColor(1, 0), kLightGrey);
    EXPECT_EQ(list.CellText(1, 0), "b");
}

TEST_F(ReportCtrlTest, StateFiltersCountAndDeleteMatchingRows) {
    list.ApplyColumnSpec(", 30;Value");
    list.SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    Fill({"0", "1", "2", "3", "4", "5"});
    for (int row : {1, 2, 4}) list.SetRowCheck(row, true);
    list.SelectRow(2);  // selected, focused and ticked
    list.SetRowSelected(3, true);

    using namespace ReportRows;
    struct {
        unsigned filter;
        int count;
    } counts[] = {{kAll, 6},
                  {kSelected, 2},
                  {kNotSelected, 4},
                  {kChecked, 3},
                  {kNotChecked, 3},
                  {kFocused, 1},
                  {kNotFocused, 5},
                  {kSelected | kChecked, 1},
                  {kNotSelected | kChecked, 2},
                  {kChecked | kNotFocused, 2},
                  {kSelected | kNotSelected, 0}};
    for (const auto& c : counts) EXPECT_EQ(list.CountRows(c.filter), c.count) << c.filter;

    // rows 4 and 5 go; the focus that moves off a deleted row does not take more rows with it
    list.SelectRow(5);
    EXPECT_EQ(list.DeleteRows(kFocused), 1);
    list.SelectRow(4);
    EXPECT_EQ(list.DeleteRows(kFocused), 1);
    list.SelectRow(2);
    list.SetRowSelected(3, true);
    list.InsertRow(4, "r4");
    list.SetCellText(4, 1, "4");
    list.SetRowCheck(4, true);
    list.InsertRow(5, "r5");
    list.SetCellText(5, 1, "5");
    EXPECT_EQ(list.DeleteRows(kChecked | kNotSelected), 2);  // rows 1 and 4
    EXPECT_EQ(Column(1), (QStringList{"0", "2", "3", "5"}));
    EXPECT_EQ(list.DeleteRows(kNotChecked), 3);
    EXPECT_EQ(Column(1), QStringList{"2"});
    EXPECT_EQ(list.DeleteRows(kAll), 1);
    EXPECT_EQ(list.ItemCount(), 0);
}

TEST_F(ReportCtrlTest, DeleteRowCanSelectTheFollowingRowFirst) {
    list.ApplyColumnSpec("A");
    Fill({}, 0);
    for (int i = 0; i < 3; ++i) list.InsertRow(i, QString::number(i));
    list.SelectRow(0);
    EXPECT_TRUE(list.DeleteRow(0, true));
    EXPECT_EQ(list.SelectedRows(), QList<int>{0});
    EXPECT_EQ(list.CellText(list.SelectedRow(), 0), "1");
    EXPECT_TRUE(list.DeleteRow(1, true));  // no following row: nothing else changes
    EXPECT_EQ(list.CellText(list.SelectedRow(), 0), "1");
}

TEST_F(ReportCtrlTest, ClicksAndDoubleClicksReportTheirRowOrNone) {
    list.ApplyColumnSpec("A, 100;B, 100");
    list.InsertRow(0, "x");
    QList<QList<int>> clicks;
    QObject::connect(&list, &CReportCtrl::RowClicked, [&](int row, int column, Qt::MouseButton b) {
        clicks.append({row, column, int(b)});
    });
    QObject::connect(&list, &CReportCtrl::RowDoubleClicked,
                     [&](int row, int column, Qt::MouseButton) {
                         clicks.append({row, column});
                     });
    Click(list.viewport(), CellCentre(0, 1), Qt::RightButton);
    Click(list.viewport(), QPoint(50, 300));
    DoubleClick(list.viewport(), CellCentre(0, 0));
    ASSERT_GE(clicks.size(), 3);
    EXPECT_EQ(clicks[0], (QList<int>{0, 1, int(Qt::RightButton)}));
    EXPECT_EQ(clicks[1], (QList<int>{-1, -1, int(Qt::LeftButton)}));
    EXPECT_TRUE(clicks.contains(QList<int>{0, 0}));
    EXPECT_EQ(list.SelectedRow(), 0);
}

TEST_F(ReportCtrlTest, AppendingRowsInsertsOneRowAtATimeWithoutResettingTheView) {
    list.ApplyColumnSpec("No, 60; Time, 140; Message, 605");
    int resets = 0;
    int inserted = 0;
    QObject::connect(list.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(list.model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) {
                         EXPECT_EQ(first, last);
                         ++inserted;
                     });
    constexpr int kRows = 3000;
    for (int i = 0; i < kRows; ++i) {
        const int row = list.InsertRow(list.ItemCount(), QString::number(i + 1));
        list.SetCellText(row, 2, QString("message %1").arg(i));
        list.EnsureRowVisible(row);
    }
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(inserted, kRows);
    EXPECT_EQ(list.ItemCount(), kRows);
    EXPECT_EQ(list.CellText(kRows - 1, 0), QString::number(kRows));
    EXPECT_EQ(list.rowAt(list.viewport()->height() - 2) + 1, kRows);  // last row on screen
    list.EnsureRowVisible(10);
    EXPECT_LE(list.rowAt(1), 10);
    EXPECT_GE(list.rowAt(list.viewport()->height() - 2), 10);
}

TEST_F(ReportCtrlTest, ADragGestureOnARowIsHandedToTheOwner) {
    list.ApplyColumnSpec("A, 100");
    list.InsertRow(0, "a");
    list.InsertRow(1, "b");
    list.SetRowDragEnabled(true);
    QList<int> dragged;
    QObject::connect(&list, &CReportCtrl::RowDragRequested, [&](int row) { dragged.append(row); });
    const QPoint start = CellCentre(1, 0);
    SendMouse(list.viewport(), QEvent::MouseButtonPress, Qt::LeftButton, {}, start);
    const QPoint far = start + QPoint(0, 3 * QApplication::startDragDistance() + 5);
    SendMouse(list.viewport(), QEvent::MouseMove, Qt::LeftButton, {}, start + QPoint(0, 1));
    SendMouse(list.viewport(), QEvent::MouseMove, Qt::LeftButton, {}, far);
    SendMouse(list.viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, {}, far);
    EXPECT_EQ(dragged, QList<int>{1});
}

}  // namespace
