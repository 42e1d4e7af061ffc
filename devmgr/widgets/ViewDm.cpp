#include "devmgr/widgets/ViewDm.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "devcfg/widgets/CDlgDmSetupMain.h"
#include "devmgr/widgets/DlgDmSetting.h"
#include "ui/widgets/ReportCtrl.h"
#include "ui/widgets/RgbColor.h"
#include "upgrade/widgets/DlgDmTftpClient.h"

namespace {

struct ColumnLayout {
    const char* title;
    int width;
};
constexpr ColumnLayout kColumns[DmDeviceTable::kColumnCount] = {
    {"", 20},    {"NO.", 40},  {"Device Name", 130}, {"MAC Address", 130}, {"DHCP", 55},
    {"IP", 100}, {"Port", 50}, {"Mode", 50},         {"Status", 90},
};

constexpr const char* kButtonTexts[kDmButtonCount] = {
    "System Setting", "Search",  "Device Setup", "Firmware Upgrade",
    "Reboot",         "Restore", "Web Browser",
};

}  // namespace

CViewDm::CViewDm(DmFrame& frame, QWidget* parent) : QWidget(parent), frame_(frame), dm_(frame) {
    BuildForm();
    BuildList();
    settingDialog_ = new CDlgDmSetting(frame_, dm_.WorkingPeriods(), this);
    upgradeDialog_ = new CDlgDmTftpClient(frame_.Prompts(), this);
    dm_.SetSetupSheet([this](const DeviceConfigRecord& record, int row) {
        return CDlgDmSetupMain::Run(this, frame_.Prompts(), record, row);
    });
    dm_.SetImageChooser([this]() -> std::optional<QString> {
        if (upgradeDialog_->exec() != QDialog::Accepted) return std::nullopt;
        return upgradeDialog_->ImagePath();
    });
    ConnectController();
}

CViewDm::~CViewDm() = default;

void CViewDm::BuildForm() {
    auto* buttonRow = new QHBoxLayout;
    for (int i = 0; i < kDmButtonCount; ++i) {
        buttons_[i] = new QPushButton(QString::fromLatin1(kButtonTexts[i]), this);
        buttonRow->addWidget(buttons_[i]);
    }
    buttonRow->addStretch(1);

    status_ = new QLabel(this);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setMinimumWidth(200);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, DmController::kProgressMax);
    progress_->setTextVisible(false);
    searchAtStart_ = new QCheckBox(QStringLiteral("Search After Application Start"), this);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status_);
    statusRow->addWidget(progress_, 1);
    statusRow->addWidget(searchAtStart_);

    list_ = new CReportCtrl(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttonRow);
    layout->addLayout(statusRow);
    layout->addWidget(new QLabel(QStringLiteral("Devices List"), this));
    layout->addWidget(list_, 1);
}

void CViewDm::BuildList() {
    for (int i = 0; i < DmDeviceTable::kColumnCount; ++i)
        list_->InsertReportColumn(i, QString::fromLatin1(kColumns[i].title), ReportAlign::Center,
                                  kColumns[i].width);
    list_->SetCheckBoxMode(CReportCtrl::kIndependentCheckBoxes);
    list_->ShowGridLines(true);
    list_->EnableHeaderSort(false);
    list_->SetRowDragEnabled(true);
    list_->viewport()->installEventFilter(this);
}

void CViewDm::ConnectController() {
    using B = DmButton;
    const std::pair<B, void (DmController::*)()> handlers[] = {
        {B::kSearch, &DmController::OnSearch},
        {B::kDeviceSetup, &DmController::OnDeviceSetup},
        {B::kFirmwareUpgrade, &DmController::OnFirmwareUpgrade},
        {B::kReboot, &DmController::OnReboot},
        {B::kRestore, &DmController::OnRestore},
        {B::kWebBrowser, &DmController::OnWebBrowser},
    };
    for (const auto& [button, handler] : handlers)
        connect(Button(button), &QPushButton::clicked, &dm_, handler);
    connect(Button(B::kSystemSetting), &QPushButton::clicked, settingDialog_, &CDlgDmSetting::Open);

    connect(&dm_, &DmController::controlsChanged, this, &CViewDm::ShowControls);
    connect(&dm_, &DmController::listReset, list_, [this] { list_->DeleteRows(ReportRows::kAll); });
    connect(&dm_, &DmController::rowInserted, this, [this](int row) {
        list_->InsertRow(row, QString());
        FillRow(row);
    });
    connect(&dm_, &DmController::rowChanged, this, &CViewDm::FillRow);
    connect(&dm_, &DmController::searchAtStartChanged, searchAtStart_, &QCheckBox::setChecked);
    connect(searchAtStart_, &QCheckBox::toggled, &dm_, &DmController::SetSearchAtStartBox);

    connect(list_, &CReportCtrl::RowCheckChanged, &dm_, &DmController::SetRowChecked);
    connect(list_, &CReportCtrl::RowClicked, this,
            [this](int row, int column, Qt::MouseButton) { OnRowClicked(row, column); });
    connect(list_, &CReportCtrl::RowDoubleClicked, this,
            [this](int row, int, Qt::MouseButton) { OnRowDoubleClicked(row); });
    connect(list_, &CReportCtrl::RowDragRequested, this, &CViewDm::rowDragRequested);
}

void CViewDm::InitialUpdate() {
    dm_.InitialUpdate();
    ShowControls();
}

void CViewDm::ShowControls() {
    for (int i = 0; i < kDmButtonCount; ++i)
        buttons_[i]->setEnabled(dm_.ButtonEnabled(static_cast<DmButton>(i)));
    status_->setText(dm_.Status());
    progress_->setValue(dm_.Progress());
}

void CViewDm::FillRow(int row) {
    if (!dm_.Table().Contains(row) || row >= list_->ItemCount()) return;
    const DmDeviceTable::Row& r = dm_.Table().At(row);
    for (int column = 0; column < DmDeviceTable::kColumnCount; ++column)
        list_->SetCellText(row, column, r.cells[static_cast<size_t>(column)]);
    list_->SetCellBackColor(row, -1, ToColor(r.back));
    list_->SetCellTextColor(row, -1, r.text ? ToColor(*r.text) : QColor());
    list_->SetRowCheck(row, r.checked);
}

void CViewDm::OnRowClicked(int row, int column) {
    if (afterDoubleClick_) return;
    dm_.ClickRow(row, column);
}

void CViewDm::OnRowDoubleClicked(int row) {
    afterDoubleClick_ = true;
    dm_.DoubleClickRow(row);
}

bool CViewDm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress)
        afterDoubleClick_ = false;
    return QWidget::eventFilter(watched, event);
}
