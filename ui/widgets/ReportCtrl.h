#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QTableView>
#include <vector>

#include "ui/ReportColumnSpec.h"
#include "ui/ReportRowState.h"

class CReportModel;

// The list behind every table of the program: report layout with full-row selection, columns
// from a column specification string, a text and a background colour per cell that stay with
// their row, optional check boxes in column 0, grid lines on request and sorting by a clicked
// header that knows hexadecimal and decimal numbers, percentages, dates and times.
//
// Rows and columns are addressed by index. Colours: an invalid QColor means the system default
// (window text, window background).
//
// Column widths are given for the font the program's layout was drawn with. The list shows
// them scaled by one factor, the smallest (and at least 1) with which every column's title,
// and the sample text given for it, fits in the font in use; a font change scales them anew.
class CReportCtrl : public QTableView {
    Q_OBJECT
  public:
    enum CheckBoxMode { kNoCheckBoxes = 0, kIndependentCheckBoxes = 1 };

    explicit CReportCtrl(QWidget* parent = nullptr);
    ~CReportCtrl() override;

    // Columns.
    bool ApplyColumnSpec(const QString& spec);  // true if at least one column was created
    int InsertReportColumn(int position, const QString& title,
                           ReportAlign align = ReportAlign::Left,
                           int width = kDefaultColumnWidth);  // column index or -1
    bool DeleteColumn(int column);
    int ColumnCount() const;
    QString ColumnTitle(int column) const;
    ReportAlign ColumnAlign(int column) const;
    int ColumnWidth(int column) const;  // as given; the list shows columnWidth(column)
    // The widest text the column's cells are to show whole, such as a time stamp.
    void SetColumnSample(int column, const QString& text);
    double ColumnScale() const { return scale_; }

    // Rows and texts.
    int InsertRow(int index, const QString& text);  // the row's index or -1
    bool SetCellText(int row, int column, const QString& text);
    QString CellText(int row, int column) const;  // empty for a cell that does not exist
    int ItemCount() const;
    // First row at or after `from` whose cell in `column` reads exactly `text`; -1 if none.
    int FindRow(int column, const QString& text, int from = 0) const;
    bool DeleteRow(int row, bool selectNext = false);
    int CountRows(unsigned filter = ReportRows::kAll) const;
    int DeleteRows(unsigned filter = ReportRows::kAll);  // number deleted

    // Colours. A valid row and column: that cell; a valid row only: the whole row; a valid
    // column only: that column in every row; neither: every cell. With `redraw` the change is
    // shown at once, without it at the next repaint.
    void SetCellTextColor(int row, int column, const QColor& color, bool redraw = true);
    void SetCellBackColor(int row, int column, const QColor& color, bool redraw = true);
    QColor CellTextColor(int row, int column) const;  // the colour drawn, defaults resolved
    QColor CellBackColor(int row, int column) const;

    // Check boxes (column 0).
    void SetCheckBoxMode(int mode);
    int CheckBoxModeOf() const { return checkBoxMode_; }
    bool SetRowCheck(int row, bool tick);
    bool GetRowCheck(int row) const;

    // Selection and focus.
    int SelectedRow() const;  // the first selected row, -1 if none
    QList<int> SelectedRows() const;
    bool IsRowSelected(int row) const;
    void SetRowSelected(int row, bool selected);
    void SelectRow(int row);  // the only selected row, also focused
    int FocusedRow() const;
    void SetFocusedRow(int row);
    void EnsureRowVisible(int row);
    int RowAt(const QPoint& viewportPos) const;

    // Look and sorting.
    void ShowGridLines(bool on);
    void EnableHeaderSort(bool on);
    bool HeaderSortEnabled() const { return headerSort_; }
    bool SortRows(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }  // -1 when not sorted
    bool SortAscending() const { return sortAscending_; }

    // Rows can be dragged: a drag gesture on a row emits RowDragRequested and the owner runs
    // the drag.
    void SetRowDragEnabled(bool on);

  signals:
    // A mouse click or double-click, row and column -1 when the pointer was over no cell.
    void RowClicked(int row, int column, Qt::MouseButton button);
    void RowDoubleClicked(int row, int column, Qt::MouseButton button);
    // Any change of a row's check box, by the user or by the program.
    void RowCheckChanged(int row, bool ticked);
    void RowDragRequested(int row);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

  private:
    template <typename BaseHandler>
    void WatchCheckClick(QMouseEvent* event, BaseHandler&& base);
    void OnHeaderClicked(int section);
    void ResetSortState();
    void ShowSortIndicator();
    unsigned RowState(int row) const;
    void SetColor(bool text, int row, int column, const QColor& color, bool redraw);
    void ScaleColumns();
    int NeededWidth(int column) const;

    struct GivenColumn {
        int width = kDefaultColumnWidth;
        QString sample;
    };

    CReportModel* model_;
    std::vector<GivenColumn> given_;  // one per column
    double scale_ = 1.0;
    int checkBoxMode_ = kNoCheckBoxes;
    bool headerSort_ = false;
    int sortColumn_ = -1;
    bool sortAscending_ = true;
};
