#pragma once

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>

#include "ui/widgets/ReportCtrl.h"

// What the user sees of a report list's column: whether the style draws its title whole, not
// cut short with "...", in the column's width on screen.
inline bool TitleShowsWhole(const CReportCtrl& list, int column) {
    const QHeaderView* header = list.horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.rect = QRect(0, 0, header->sectionSize(column), header->height());
    option.section = column;
    option.text = list.ColumnTitle(column);
    const QRect label = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
    return option.fontMetrics.elidedText(option.text, Qt::ElideRight, label.width()) == option.text;
}

// Whether a cell's width on screen holds what its delegate needs to draw the cell whole.
inline bool CellShowsWhole(const CReportCtrl& list, int row, int column) {
    const QModelIndex index = list.model()->index(row, column);
    QStyleOptionViewItem option;
    option.initFrom(list.viewport());
    option.font = list.font();
    option.fontMetrics = QFontMetrics(list.font());
    option.rect = list.visualRect(index);
    return list.itemDelegate()->sizeHint(option, index).width() <= list.columnWidth(column);
}
