#include "monitor/widgets/ViewMonitor.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "ui/widgets/CommitNumberEdit.h"
#include "ui/widgets/ReportCtrl.h"
#include "ui/widgets/RgbColor.h"

namespace {

struct ColumnLayout {
    const char* title;
    int width;
};
constexpr ColumnLayout kColumns[MonitorRow::kColumnCount] = {
    {"NO.", 40},
    {"Query Status", 90},
    {"Device Name", 109},
    {"IP", 109},
    {"Modem Status (Hex)", 135},
    {"Firmware Version", 115},
    {"Serial Port TX Count", 135},
    {"Serial Port RX Count", 135},
};

}  // namespace

CViewMonitor::CViewMonitor(MonitorFrame& frame, QWidget* parent)
    : QWidget(parent), monitor_(frame) {
    BuildForm();
    BuildList();
    connect(start_, &QPushButton::clicked, this, &CViewMonitor::OnStartStop);
    connect(&monitor_, &MonitorController::controlsChanged, this, &CViewMonitor::ShowControls);
    connect(&monitor_, &MonitorController::listReset, this, &CViewMonitor::ResetList);
    connect(&monitor_, &MonitorController::rowChanged, this, &CViewMonitor::FillRow);
    ShowControls();
}

CViewMonitor::~CViewMonitor() {
    // The box goes with the widget's children, after the controller: a focus change while the
    // form goes must not finish an edit into a controller that is gone.
    interval_->blockSignals(true);
}

void CViewMonitor::BuildForm() {
    start_ = new QPushButton(this);
    interval_ = new CommitNumberEdit(
        kIntervalDigits, [this](qint64 typed) { return monitor_.SetInterval(typed); }, this);
    interval_->setMaximumWidth(80);
    auto* controls = new QHBoxLayout;
    controls->addWidget(start_);
    controls->addSpacing(20);
    controls->addWidget(new QLabel(QStringLiteral("Monitor Timer (sec)"), this));
    controls->addWidget(interval_);
    controls->addStretch(1);

    list_ = new CReportCtrl(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(list_, 1);
}

void CViewMonitor::BuildList() {
    for (int i = 0; i < MonitorRow::kColumnCount; ++i)
        list_->InsertReportColumn(i, QString::fromLatin1(kColumns[i].title), ReportAlign::Center,
                                  kColumns[i].width);
    list_->ShowGridLines(true);
    list_->EnableHeaderSort(false);
    list_->viewport()->installEventFilter(this);
}

bool CViewMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::Resize) FitHeader();
    return QWidget::eventFilter(watched, event);
}

void CViewMonitor::FitHeader() {
    constexpr int kCount = MonitorRow::kColumnCount;
    QHeaderView* header = list_->horizontalHeader();
    std::array<int, kCount> title{};
    std::array<double, kCount> full{};
    double scale = 1.0;
    for (int i = 0; i < kCount; ++i) {
        title[i] = header->sectionSizeHint(i);
        scale = std::max(scale, static_cast<double>(title[i]) / kColumns[i].width);
    }
    for (int i = 0; i < kCount; ++i) full[i] = kColumns[i].width * scale;
    // The columns share the width as their widths stand to each other; a column that would
    // go below its title keeps its title's width and the others share the rest.
    std::array<bool, kCount> atTitle{};
    double factor = 1.0;
    for (int pass = 0; pass < kCount; ++pass) {
        double free = list_->viewport()->width();
        double shared = 0;
        for (int i = 0; i < kCount; ++i) (atTitle[i] ? free -= title[i] : shared += full[i]);
        factor = shared > 0 ? std::min(1.0, free / shared) : 1.0;
        bool changed = false;
        for (int i = 0; i < kCount; ++i)
            if (!atTitle[i] && full[i] * factor < title[i]) changed = atTitle[i] = true;
        if (!changed) break;
    }
    for (int i = 0; i < kCount; ++i)
        header->resizeSection(
            i, atTitle[i] ? title[i] : static_cast<int>(std::floor(full[i] * factor)));
}

void CViewMonitor::InitialUpdate() {
    monitor_.InitialUpdate();
    interval_->SetValue(monitor_.Interval());
}

void CViewMonitor::OnStartStop() {
    // Start takes the interval as the box holds it, finished or not.
    if (!monitor_.Running()) interval_->Commit();
    monitor_.OnStartStop();
}

void CViewMonitor::ShowControls() {
    start_->setText(monitor_.Running() ? QStringLiteral("Stop") : QStringLiteral("Start"));
    start_->setEnabled(monitor_.StartEnabled());
}

void CViewMonitor::ResetList() {
    list_->DeleteRows(ReportRows::kAll);
    for (int row = 0; row < static_cast<int>(monitor_.Rows().size()); ++row) {
        list_->InsertRow(row, QString());
        FillRow(row);
    }
}

void CViewMonitor::FillRow(int row) {
    if (row < 0 || row >= static_cast<int>(monitor_.Rows().size()) || row >= list_->ItemCount())
        return;
    // Only what changed: a pass over many devices touches every row twice.
    const MonitorRow& r = monitor_.Rows()[static_cast<size_t>(row)];
    for (int column = 0; column < MonitorRow::kColumnCount; ++column) {
        const QString& text = r.cells[static_cast<size_t>(column)];
        if (list_->CellText(row, column) != text) list_->SetCellText(row, column, text);
    }
    if (list_->CellBackColor(row, 0) != ToColor(r.back))
        list_->SetCellBackColor(row, -1, ToColor(r.back));
}
