#include "ui/widgets/ReportModel.h"

#include <algorithm>

namespace {

Qt::Alignment ToQt(ReportAlign align) {
    switch (align) {
        case ReportAlign::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case ReportAlign::Center:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case ReportAlign::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

CReportModel::CReportModel(QObject* parent) : QAbstractTableModel(parent) {}

QString CReportModel::OneLine(const QString& text) {
    if (!text.contains(u'\r') && !text.contains(u'\n')) return text;
    QString shown = text;
    shown.remove(u'\r');
    shown.replace(u'\n', u' ');
    return shown;
}

int CReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant CReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !IsRow(index.row()) || !IsColumn(index.column())) return {};
    const ReportRow& row = rows_[index.row()];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return OneLine(row.texts[column]);
        case Qt::EditRole:
            return row.texts[column];
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(ToQt(columns_[column].align));
        case Qt::ForegroundRole:
            return row.colors.text[column].isValid() ? QVariant(row.colors.text[column])
                                                     : QVariant();
        case Qt::BackgroundRole:
            return row.colors.back[column].isValid() ? QVariant(row.colors.back[column])
                                                     : QVariant();
        case Qt::CheckStateRole:
            if (checkable_ && column == 0) return row.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        default:
            return {};
    }
}

bool CReportModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !checkable_ || index.column() != 0) return false;
    return SetChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
}

Qt::ItemFlags CReportModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (checkable_ && index.column() == 0) f |= Qt::ItemIsUserCheckable;
    if (dragEnabled_) f |= Qt::ItemIsDragEnabled;
    return f;
}

QVariant CReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !IsColumn(section)) return {};
    if (role == Qt::DisplayRole) return columns_[section].title;
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ToQt(columns_[section].align));
    return {};
}

void CReportModel::Clear() {
    beginResetModel();
    rows_.clear();
    columns_.clear();
    endResetModel();
}

int CReportModel::InsertColumn(int position, const QString& title, ReportAlign align) {
    if (position < 0) return -1;
    position = std::min(position, ColumnCount());
    beginInsertColumns({}, position, position);
    columns_.insert(columns_.begin() + position, Column{title, align});
    for (ReportRow& row : rows_) {
        row.texts.insert(position, QString());
        row.colors.text.insert(row.colors.text.begin() + position, QColor());
        row.colors.back.insert(row.colors.back.begin() + position, QColor());
    }
    endInsertColumns();
    return position;
}

bool CReportModel::RemoveColumn(int column) {
    if (!IsColumn(column)) return false;
    beginRemoveColumns({}, column, column);
    columns_.erase(columns_.begin() + column);
    for (ReportRow& row : rows_) {
        row.texts.removeAt(column);
        row.colors.text.erase(row.colors.text.begin() + column);
        row.colors.back.erase(row.colors.back.begin() + column);
    }
    endRemoveColumns();
    return true;
}

QString CReportModel::ColumnTitle(int column) const {
    return IsColumn(column) ? columns_[column].title : QString();
}

ReportAlign CReportModel::ColumnAlign(int column) const {
    return IsColumn(column) ? columns_[column].align : ReportAlign::Left;
}

ReportRow CReportModel::NewRow() const {
    ReportRow row;
    const auto n = columns_.size();
    row.texts.resize(static_cast<qsizetype>(n));
    row.colors.text.assign(n, QColor());
    row.colors.back.assign(n, QColor());
    return row;
}

int CReportModel::InsertRow(int index, const QString& text) {
    if (index < 0) return -1;
    index = std::min(index, RowCount());
    ReportRow row = NewRow();
    if (!row.texts.isEmpty()) row.texts[0] = text;
    beginInsertRows({}, index, index);
    rows_.insert(rows_.begin() + index, std::move(row));
    endInsertRows();
    return index;
}

bool CReportModel::RemoveRows(int first, int count) {
    if (count <= 0 || !IsRow(first) || !IsRow(first + count - 1)) return false;
    beginRemoveRows({}, first, first + count - 1);
    rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
    endRemoveRows();
    return true;
}

void CReportModel::ClearRows() {
    // A removal rather than a reset: a reset would also forget the column widths of the view.
    if (rows_.empty()) return;
    beginRemoveRows({}, 0, RowCount() - 1);
    rows_.clear();
    endRemoveRows();
}

bool CReportModel::SetText(int row, int column, const QString& text) {
    if (!IsRow(row) || !IsColumn(column)) return false;
    rows_[row].texts[column] = text;
    NotifyCells(row, row, column, column);
    return true;
}

QString CReportModel::Text(int row, int column) const {
    return IsRow(row) && IsColumn(column) ? rows_[row].texts[column] : QString();
}

QStringList CReportModel::ColumnTexts(int column) const {
    QStringList texts;
    if (!IsColumn(column)) return texts;
    texts.reserve(RowCount());
    for (const ReportRow& row : rows_) texts.append(row.texts[column]);
    return texts;
}

std::vector<QColor>& CReportModel::Colors(ReportRow& row, ColorKind kind) {
    return kind == ColorKind::Text ? row.colors.text : row.colors.back;
}

void CReportModel::SetColor(ColorKind kind, int row, int column, const QColor& color, bool notify) {
    const int firstRow = IsRow(row) ? row : 0;
    const int lastRow = IsRow(row) ? row : RowCount() - 1;
    const int firstColumn = IsColumn(column) ? column : 0;
    const int lastColumn = IsColumn(column) ? column : ColumnCount() - 1;
    if (lastRow < firstRow || lastColumn < firstColumn) return;
    for (int r = firstRow; r <= lastRow; ++r) {
        std::vector<QColor>& colors = Colors(rows_[r], kind);
        std::fill(colors.begin() + firstColumn, colors.begin() + lastColumn + 1, color);
    }
    if (notify) NotifyCells(firstRow, lastRow, firstColumn, lastColumn);
}

QColor CReportModel::Color(ColorKind kind, int row, int column) const {
    if (!IsRow(row) || !IsColumn(column)) return {};
    const ReportRow& r = rows_[row];
    return kind == ColorKind::Text ? r.colors.text[column] : r.colors.back[column];
}

void CReportModel::SetCheckable(bool on) {
    if (on == checkable_) return;
    checkable_ = on;
    for (ReportRow& row : rows_) row.checked = false;
    if (!rows_.empty() && ColumnCount() > 0) NotifyCells(0, RowCount() - 1, 0, 0);
}

bool CReportModel::SetChecked(int row, bool checked) {
    if (!checkable_ || !IsRow(row)) return false;
    if (rows_[row].checked == checked) return true;
    rows_[row].checked = checked;
    if (ColumnCount() > 0) NotifyCells(row, row, 0, 0);
    emit CheckChanged(row, checked);
    return true;
}

void CReportModel::Permute(const std::vector<int>& order) {
    if (order.size() != rows_.size()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newIndexOf(order.size());
    std::vector<ReportRow> sorted;
    sorted.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newIndexOf[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from)
        to.append(index.isValid() ? createIndex(newIndexOf[index.row()], index.column())
                                  : QModelIndex());
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CReportModel::NotifyCells(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    emit dataChanged(index(firstRow, firstColumn), index(lastRow, lastColumn));
}
