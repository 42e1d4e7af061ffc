#include "ui/widgets/ReportCtrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/ReportSort.h"
#include "ui/widgets/ReportModel.h"

namespace {

constexpr int kRowPadding = 6;  // pixels above and below the text in a row

}  // namespace

CReportCtrl::CReportCtrl(QWidget* parent) : QTableView(parent), model_(new CReportModel(this)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + kRowPadding);

    QHeaderView* header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(0);  // a check-box column is 20 pixels wide
    header->setSectionsClickable(false);
    header->setSortIndicatorShown(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header, &QHeaderView::sectionClicked, this, &CReportCtrl::OnHeaderClicked);
    connect(model_, &CReportModel::CheckChanged, this, &CReportCtrl::RowCheckChanged);
}

CReportCtrl::~CReportCtrl() = default;

bool CReportCtrl::ApplyColumnSpec(const QString& spec) {
    model_->Clear();
    given_.clear();
    ResetSortState();
    const QList<ReportColumnSpec> columns = ParseColumnSpec(spec);
    for (const ReportColumnSpec& column : columns)
        InsertReportColumn(ColumnCount(), column.title, column.align, column.width);
    return ColumnCount() > 0;
}

int CReportCtrl::InsertReportColumn(int position, const QString& title, ReportAlign align,
                                    int width) {
    const int column = model_->InsertColumn(position, title, align);
    if (column < 0) return -1;
    given_.insert(given_.begin() + column, GivenColumn{std::max(0, width), {}});
    ScaleColumns();
    ResetSortState();  // column indexes have moved
    return column;
}

bool CReportCtrl::DeleteColumn(int column) {
    if (!model_->RemoveColumn(column)) return false;
    given_.erase(given_.begin() + column);
    ScaleColumns();
    ResetSortState();
    return true;
}

void CReportCtrl::SetColumnSample(int column, const QString& text) {
    if (!model_->IsColumn(column)) return;
    given_[static_cast<size_t>(column)].sample = text;
    ScaleColumns();
}

// What the column needs to show its title, and its sample, whole: the header's and the item
// delegate's own measures, margins included.
int CReportCtrl::NeededWidth(int column) const {
    int needed = horizontalHeader()->sectionSizeHint(column);
    const QString& sample = given_[static_cast<size_t>(column)].sample;
    if (!sample.isEmpty()) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.text = CReportModel::OneLine(sample);
        option.features |= QStyleOptionViewItem::HasDisplay;
        needed = std::max(
            needed,
            style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width());
    }
    return needed;
}

void CReportCtrl::ScaleColumns() {
    double scale = 1.0;
    for (int column = 0; column < ColumnCount(); ++column) {
        const int given = given_[static_cast<size_t>(column)].width;
        if (given > 0) scale = std::max(scale, static_cast<double>(NeededWidth(column)) / given);
    }
    scale_ = scale;
    for (int column = 0; column < ColumnCount(); ++column)
        horizontalHeader()->resizeSection(
            column, static_cast<int>(std::ceil(given_[static_cast<size_t>(column)].width * scale)));
}

void CReportCtrl::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) ScaleColumns();
}

int CReportCtrl::ColumnCount() const {
    return model_->ColumnCount();
}

QString CReportCtrl::ColumnTitle(int column) const {
    return model_->ColumnTitle(column);
}

ReportAlign CReportCtrl::ColumnAlign(int column) const {
    return model_->ColumnAlign(column);
}

int CReportCtrl::ColumnWidth(int column) const {
    return model_->IsColumn(column) ? given_[static_cast<size_t>(column)].width : 0;
}

int CReportCtrl::InsertRow(int index, const QString& text) {
    const int row = model_->InsertRow(index, text);
    if (row >= 0) ResetSortState();
    return row;
}

bool CReportCtrl::SetCellText(int row, int column, const QString& text) {
    if (!model_->SetText(row, column, text)) return false;
    ResetSortState();
    return true;
}

QString CReportCtrl::CellText(int row, int column) const {
    return model_->Text(row, column);
}

int CReportCtrl::ItemCount() const {
    return model_->RowCount();
}

int CReportCtrl::FindRow(int column, const QString& text, int from) const {
    if (!model_->IsColumn(column)) return -1;
    for (int row = std::max(0, from); row < ItemCount(); ++row)
        if (model_->Text(row, column) == text) return row;
    return -1;
}

bool CReportCtrl::DeleteRow(int row, bool selectNext) {
    if (!model_->IsRow(row)) return false;
    if (selectNext && model_->IsRow(row + 1)) SelectRow(row + 1);
    return model_->RemoveRows(row, 1);
}

unsigned CReportCtrl::RowState(int row) const {
    return ReportRows::StateOf(IsRowSelected(row), GetRowCheck(row), FocusedRow() == row);
}

int CReportCtrl::CountRows(unsigned filter) const {
    if (filter == ReportRows::kAll) return ItemCount();
    int count = 0;
    for (int row = 0; row < ItemCount(); ++row)
        if (ReportRows::Matches(RowState(row), filter)) ++count;
    return count;
}

int CReportCtrl::DeleteRows(unsigned filter) {
    const int all = ItemCount();
    if (filter == ReportRows::kAll) {
        model_->ClearRows();
        return all;
    }
    // Decide for every row first: deleting a row moves the focus and the selection, which
    // would change the answer for the rows still to come.
    std::vector<bool> match(static_cast<size_t>(all));
    for (int row = 0; row < all; ++row) match[row] = ReportRows::Matches(RowState(row), filter);
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    int deleted = 0;
    // From the end, a run of neighbouring matches at a time, so that indexes still ahead stay
    // valid and a block of rows goes in one removal.
    for (int last = all - 1; last >= 0; --last) {
        if (!match[last]) continue;
        int first = last;
        while (first > 0 && match[first - 1]) --first;
        model_->RemoveRows(first, last - first + 1);
        deleted += last - first + 1;
        last = first;
    }
    setUpdatesEnabled(updates);
    return deleted;
}

void CReportCtrl::SetColor(bool text, int row, int column, const QColor& color, bool redraw) {
    model_->SetColor(text ? CReportModel::ColorKind::Text : CReportModel::ColorKind::Back, row,
                     column, color, redraw);
}

void CReportCtrl::SetCellTextColor(int row, int column, const QColor& color, bool redraw) {
    SetColor(true, row, column, color, redraw);
}

void CReportCtrl::SetCellBackColor(int row, int column, const QColor& color, bool redraw) {
    SetColor(false, row, column, color, redraw);
}

QColor CReportCtrl::CellTextColor(int row, int column) const {
    if (!model_->IsRow(row) || !model_->IsColumn(column)) return {};
    const QColor color = model_->Color(CReportModel::ColorKind::Text, row, column);
    return color.isValid() ? color : palette().color(QPalette::Text);
}

QColor CReportCtrl::CellBackColor(int row, int column) const {
    if (!model_->IsRow(row) || !model_->IsColumn(column)) return {};
    const QColor color = model_->Color(CReportModel::ColorKind::Back, row, column);
    return color.isValid() ? color : palette().color(QPalette::Base);
}

void CReportCtrl::SetCheckBoxMode(int mode) {
    checkBoxMode_ = mode == kIndependentCheckBoxes ? kIndependentCheckBoxes : kNoCheckBoxes;
    model_->SetCheckable(checkBoxMode_ == kIndependentCheckBoxes);
}

bool CReportCtrl::SetRowCheck(int row, bool tick) {
    return model_->SetChecked(row, tick);
}

bool CReportCtrl::GetRowCheck(int row) const {
    return model_->Checked(row);
}

int CReportCtrl::SelectedRow() const {
    const QList<int> rows = SelectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

QList<int> CReportCtrl::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CReportCtrl::IsRowSelected(int row) const {
    return model_->IsRow(row) && selectionModel()->isRowSelected(row, {});
}

void CReportCtrl::SetRowSelected(int row, bool selected) {
    if (!model_->IsRow(row)) return;
    const auto command = selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect;
    selectionModel()->select(model_->index(row, 0), command | QItemSelectionModel::Rows);
}

void CReportCtrl::SelectRow(int row) {
    if (!model_->IsRow(row)) return;
    const QModelIndex index = model_->index(row, std::max(0, currentIndex().column()));
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int CReportCtrl::FocusedRow() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

void CReportCtrl::SetFocusedRow(int row) {
    if (!model_->IsRow(row)) return;
    const QModelIndex index = model_->index(row, std::max(0, currentIndex().column()));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void CReportCtrl::EnsureRowVisible(int row) {
    if (!model_->IsRow(row) || ColumnCount() == 0) return;
    if (row == ItemCount() - 1) {
        // The usual case, a line appended to a log: scroll to the end by the scroll bar alone,
        // without asking the header for row positions, which it recounts after every insert.
        updateGeometries();
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        return;
    }
    // Scroll rows only: keep the columns the user scrolled to.
    const int column = std::max(0, columnAt(0));
    scrollTo(model_->index(row, column), QAbstractItemView::EnsureVisible);
}

int CReportCtrl::RowAt(const QPoint& viewportPos) const {
    const QModelIndex index = indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

void CReportCtrl::ShowGridLines(bool on) {
    setShowGrid(on);
}

void CReportCtrl::EnableHeaderSort(bool on) {
    QHeaderView* header = horizontalHeader();
    if (header->isHidden()) return;
    headerSort_ = on;
    header->setSectionsClickable(on);
    if (!on) ResetSortState();
}

bool CReportCtrl::SortRows(int column, bool ascending) {
    if (!headerSort_ || !model_->IsColumn(column)) return false;
    sortColumn_ = column;
    sortAscending_ = ascending;
    ShowSortIndicator();
    if (ItemCount() < 2) return true;
    model_->Permute(SortedRowOrder(model_->ColumnTexts(column), ascending, locale()));
    return true;
}

void CReportCtrl::OnHeaderClicked(int section) {
    if (!headerSort_) return;
    SortRows(section, section != sortColumn_ || !sortAscending_);
}

void CReportCtrl::ResetSortState() {
    sortColumn_ = -1;
    sortAscending_ = true;
    ShowSortIndicator();
}

void CReportCtrl::ShowSortIndicator() {
    QHeaderView* header = horizontalHeader();
    header->setSortIndicatorShown(sortColumn_ >= 0);
    if (sortColumn_ >= 0)
        header->setSortIndicator(sortColumn_,
                                 sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CReportCtrl::SetRowDragEnabled(bool on) {
    model_->SetDragEnabled(on);
    setDragEnabled(on);
    setDragDropMode(on ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
}

template <typename BaseHandler>
void CReportCtrl::WatchCheckClick(QMouseEvent* event, BaseHandler&& base) {
    const int row = RowAt(event->position().toPoint());
    const bool before = GetRowCheck(row);
    base();
    // A click that changed a check box makes its row the only selected and the focused row.
    if (checkBoxMode_ == kIndependentCheckBoxes && model_->IsRow(row) && GetRowCheck(row) != before)
        SelectRow(row);
}

void CReportCtrl::mousePressEvent(QMouseEvent* event) {
    WatchCheckClick(event, [&] { QTableView::mousePressEvent(event); });
}

void CReportCtrl::mouseReleaseEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    WatchCheckClick(event, [&] { QTableView::mouseReleaseEvent(event); });
    emit RowClicked(index.isValid() ? index.row() : -1, index.isValid() ? index.column() : -1,
                    event->button());
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    WatchCheckClick(event, [&] { QTableView::mouseDoubleClickEvent(event); });
    emit RowDoubleClicked(index.isValid() ? index.row() : -1, index.isValid() ? index.column() : -1,
                          event->button());
}

void CReportCtrl::keyPressEvent(QKeyEvent* event) {
    // Check boxes change only by mouse or by the program.
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Select) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CReportCtrl::startDrag(Qt::DropActions) {
    const int row = FocusedRow();
    if (row >= 0) emit RowDragRequested(row);
}
