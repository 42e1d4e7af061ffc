#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <vector>

#include "ui/ReportColumnSpec.h"

// A cell colour that is not valid stands for the system default (window text or window).
struct RowColors {
    std::vector<QColor> text;
    std::vector<QColor> back;
};

struct ReportRow {
    QStringList texts;  // one per column
    RowColors colors;   // one entry of each per column; moves with the row
    bool checked = false;
};

// The rows and columns behind CReportCtrl. Rows live in one vector, so appending is amortised
// O(1) and announced to the view as a single inserted row.
class CReportModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum class ColorKind { Text, Back };

    explicit CReportModel(QObject* parent = nullptr);

    // Cells hold their texts exactly (the log's time cells end in " \r\n"); a row shows one
    // line.
    static QString OneLine(const QString& text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    bool IsRow(int row) const { return row >= 0 && row < RowCount(); }
    bool IsColumn(int column) const { return column >= 0 && column < ColumnCount(); }
    int RowCount() const { return static_cast<int>(rows_.size()); }
    int ColumnCount() const { return static_cast<int>(columns_.size()); }

    void Clear();  // every row and every column
    int InsertColumn(int position, const QString& title, ReportAlign align);
    bool RemoveColumn(int column);
    QString ColumnTitle(int column) const;
    ReportAlign ColumnAlign(int column) const;

    int InsertRow(int index, const QString& text);
    bool RemoveRows(int first, int count);
    void ClearRows();

    bool SetText(int row, int column, const QString& text);
    QString Text(int row, int column) const;
    QStringList ColumnTexts(int column) const;

    // An invalid row stands for every row and an invalid column for every column.
    void SetColor(ColorKind kind, int row, int column, const QColor& color, bool notify);
    QColor Color(ColorKind kind, int row, int column) const;  // invalid: the default

    void SetCheckable(bool on);
    bool Checkable() const { return checkable_; }
    bool SetChecked(int row, bool checked);
    bool Checked(int row) const { return IsRow(row) && rows_[row].checked; }
    void SetDragEnabled(bool on) { dragEnabled_ = on; }

    // order[i] is the old index of the row that moves to position i; views keep selection and
    // the current row on the rows that they were on.
    void Permute(const std::vector<int>& order);

  signals:
    void CheckChanged(int row, bool checked);

  private:
    struct Column {
        QString title;
        ReportAlign align = ReportAlign::Left;
    };
    ReportRow NewRow() const;
    std::vector<QColor>& Colors(ReportRow& row, ColorKind kind);
    void NotifyCells(int firstRow, int lastRow, int firstColumn, int lastColumn);

    std::vector<Column> columns_;
    std::vector<ReportRow> rows_;
    bool checkable_ = false;
    bool dragEnabled_ = false;
};
