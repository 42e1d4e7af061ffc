#include "app/widgets/ViewLogSys.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/SystemLog.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

constexpr int kTimeColumn = 1;
constexpr int kMessageColumn = 2;
// Every field at its longest, so that the Time column shows any time stamp whole.
const QDateTime kWidestTime(QDate(2026, 12, 28), QTime(23, 58, 58));

}  // namespace

CViewLogSys::CViewLogSys(SystemLog& log, QWidget* parent)
    : QWidget(parent), log_(log), list_(new CReportCtrl(this)) {
    list_->setObjectName(QString::number(kListId));
    list_->ApplyColumnSpec(kColumnSpec);
    list_->SetColumnSample(kTimeColumn, FormatLogTime(kWidestTime));
    // The message takes the rest of the width; what does not fit is in its tooltip.
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->viewport()->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("System Log"), this));
    layout->addWidget(list_, 1);

    connect(&log_, &SystemLog::RowAdded, this, [this](int row) {
        ShowRow(row);
        list_->EnsureRowVisible(row);
    });
    connect(&log_, &SystemLog::RowsReset, this, &CViewLogSys::ShowAllRows);
    ShowAllRows();
}

void CViewLogSys::InitialUpdate(const QString& hostAddress) {
    log_.AddStartUpLines(hostAddress);
}

void CViewLogSys::OnSaveLog() {
    log_.SaveLog();
}

void CViewLogSys::OnOpenLog() {
    log_.OpenLog();
}

void CViewLogSys::ShowRow(int row) {
    const LogRow& line = log_.Rows().at(static_cast<size_t>(row));
    list_->InsertRow(row, line.number);
    list_->SetCellText(row, kTimeColumn, line.time);
    list_->SetCellText(row, kMessageColumn, line.message);
}

void CViewLogSys::ShowAllRows() {
    list_->DeleteRows();
    for (int row = 0; row < static_cast<int>(log_.Rows().size()); ++row) ShowRow(row);
}

bool CViewLogSys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list_->viewport() || event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = list_->indexAt(help->pos());
    if (index.isValid() && index.column() == kMessageColumn)
        QToolTip::showText(help->globalPos(), list_->CellText(index.row(), kMessageColumn),
                           list_->viewport());
    else
        QToolTip::hideText();
    return true;
}
