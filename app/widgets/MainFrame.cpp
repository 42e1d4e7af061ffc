#include "app/widgets/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>

#include "app/widgets/DlgNicSelect.h"
#include "app/widgets/OrvinApp.h"
#include "app/widgets/ViewLogSys.h"
#include "devmgr/DmListExport.h"
#include "devmgr/widgets/ViewDm.h"
#include "monitor/widgets/ViewMonitor.h"
#include "platform/UserPrompts.h"
#include "protocol/Message.h"
#include "terminal/ComPorts.h"
#include "terminal/HeldPortsQuery.h"
#include "terminal/widgets/ViewTerminal.h"
#include "vsp/VspDriver.h"
#include "vsp/widgets/ViewVsp.h"

CMainFrame::CMainFrame(FrameServices services)
    : services_(std::move(services)),
      settingsFile_(services_.prompts, QDir(services_.workDir).filePath(kSettingsFileName)),
      log_(services_.prompts) {
    log_.SetFileFolder(services_.workDir);
    vspSocket_ =
        services_.vspSocket.isEmpty() ? CVspDriver::DefaultSocketPath() : services_.vspSocket;
    vspDriver_ = std::make_unique<CVspDriver>(
        services_.prompts, [this] { return hostAddress_; }, vspSocket_);
    heldPorts_ = std::make_unique<HeldPortsQuery>(vspSocket_);
    connect(heldPorts_.get(), &HeldPortsQuery::answered, this, [this](const QSet<QString>& held) {
        for (const auto& answer : std::exchange(heldAnswers_, {})) answer(held);
    });
    setMinimumSize(kMinWidth, kMinHeight);
}

CMainFrame::~CMainFrame() {
    // The views reach the frame while they go (timers, socket handlers): destroy them while
    // the frame's own state is still whole, not later with the window's children.
    delete takeCentralWidget();
    broadcast_.SetDeviceManagerHandler({});
    broadcast_.SetMonitorHandler({});
}

void CMainFrame::Create() {
    CreatePanes();
    settingsFile_.Load(settings_);
    portTable_.Load(PortTablePath());
    services_.vsp.CheckBusy();
    CreateMenusAndBars();
    SelectHostInterface();
    broadcast_.Create(hostAddress_, msg::kBroadcastSocketPort);
}

namespace {

// A pane smaller than its view scrolls instead of squeezing the view's controls.
QScrollArea* Scrolled(QWidget* view) {
    auto* area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(view);
    return area;
}

}  // namespace

void CMainFrame::CreatePanes() {
    rows_ = new QSplitter(Qt::Vertical, this);
    columns_ = new QSplitter(Qt::Horizontal, rows_);
    viewMenu_ = new CViewMenu(*this);
    viewMenu_->setMinimumWidth(kNavigationMinWidth);
    columns_->addWidget(viewMenu_);
    functionPane_ = new QStackedWidget(columns_);
    columns_->addWidget(functionPane_);
    bottomPane_ = new QStackedWidget(rows_);
    rows_->addWidget(columns_);
    rows_->addWidget(bottomPane_);

    dmView_ = new CViewDm(*this);
    viewMenu_->AcceptDragsFrom(*dmView_);
    monitorView_ = new CViewMonitor(*this);
    connect(&dmView_->Controller(), &DmController::searchEnded, &monitorView_->Controller(),
            &MonitorController::KeepVersionsOf);
    vspView_ = new CViewVsp(*this);
    functionViews_ = {monitorView_, vspView_, dmView_};
    logView_ = new CViewLogSys(log_);
    terminalView_ = new CViewTerminal(*this);
    bottomViews_ = {terminalView_, logView_};
    // Creating a view in a pane shows it: the last one created is the one shown.
    for (QWidget* view : functionViews_)
        functionPane_->setCurrentIndex(functionPane_->addWidget(Scrolled(view)));
    for (QWidget* view : bottomViews_)
        bottomPane_->setCurrentIndex(bottomPane_->addWidget(Scrolled(view)));

    columns_->setChildrenCollapsible(false);
    rows_->setChildrenCollapsible(false);
    columns_->setSizes({kNavigationWidth, kMinWidth});
    columns_->setStretchFactor(1, 1);
    // Dragged up, the split stops where the navigation buttons would overlap.
    columns_->setMinimumHeight(std::max(kUpperRowMinHeight, viewMenu_->minimumSizeHint().height()));
    rows_->setSizes({kUpperRowHeight, kMinHeight});
    rows_->setStretchFactor(1, 1);
    connect(rows_, &QSplitter::splitterMoved, this, [this] { userSplit_ = true; });
    setCentralWidget(rows_);
}

void CMainFrame::FitBottomPane() {
    if (userSplit_) return;
    const int total = rows_->height() - rows_->handleWidth();
    const int bottom = BottomViewIndex() == kBottomTerminal
                           ? terminalView_->minimumSizeHint().height()
                           : total - kUpperRowHeight;
    const int upper = std::max(total - bottom, columns_->minimumHeight());
    rows_->setSizes({upper, total - upper});
}

void CMainFrame::ShowFirst() {
    if (const QScreen* screen = this->screen()) setGeometry(screen->availableGeometry());
    showMaximized();
}

void CMainFrame::CreateMenusAndBars() {
    auto* openLog = new QAction("&Open Log...", this);
    auto* saveLog = new QAction("&Save Log", this);
    auto* exit = new QAction("E&xit", this);
    auto* contents = new QAction("Contents", this);
    auto* about = new QAction("&About VELTRO...", this);
    openLog->setShortcut(QKeySequence::Open);
    saveLog->setShortcut(QKeySequence::Save);
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // the platform may define none
    contents->setShortcut(QKeySequence::HelpContents);
    openLog->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    saveLog->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    contents->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    connect(openLog, &QAction::triggered, logView_, &CViewLogSys::OnOpenLog);
    connect(saveLog, &QAction::triggered, logView_, &CViewLogSys::OnSaveLog);
    connect(exit, &QAction::triggered, this, &QWidget::close);
    connect(contents, &QAction::triggered, this, &CMainFrame::OnHelp);
    connect(about, &QAction::triggered, this, &CMainFrame::OnAbout);

    auto* exportList = new QAction("Export &List...", this);
    connect(exportList, &QAction::triggered, this, &CMainFrame::OnExportList);

    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(openLog);
    file->addAction(saveLog);
    file->addSeparator();
    file->addAction(exportList);
    file->addSeparator();
    file->addAction(exit);

    auto* toolbar = addToolBar("Toolbar");
    toolbar->setObjectName("toolbar");
    toolbar->addAction(openLog);
    toolbar->addAction(saveLog);
    toolbar->addAction(contents);

    QMenu* view = menuBar()->addMenu("&View");
    QAction* showToolbar = toolbar->toggleViewAction();
    showToolbar->setText("&Toolbar");
    view->addAction(showToolbar);
    auto* showStatus = view->addAction("&Status Bar");
    showStatus->setCheckable(true);
    showStatus->setChecked(true);
    connect(showStatus, &QAction::toggled, statusBar(), &QWidget::setVisible);
    auto* showTerminal = view->addAction("COM Port &Terminal");
    connect(showTerminal, &QAction::triggered, this, [this] { ShowBottomView(kBottomTerminal); });
    view->addSeparator();
    // The device manager's Search, as its button would: not while the button is off.
    auto* search = view->addAction("&Search Devices");
    search->setShortcut(Qt::Key_F5);
    connect(search, &QAction::triggered, this, [this] {
        ShowFunctionView(kFunctionDeviceManager);
        QPushButton* button = dmView_->Button(DmButton::kSearch);
        if (button->isEnabled()) button->click();
    });

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(contents);
    help->addAction(about);

    statusBar()->showMessage("Ready");
    for (const char* indicator : {"CAP", "NUM", "SCRL"})
        statusBar()->addPermanentWidget(new QLabel(indicator));
}

void CMainFrame::SelectHostInterface() {
    ChooseInterface choose = services_.chooseInterface;
    if (!choose) {
        choose = [this](const QStringList& addresses, int preselected) {
            return CDlgNicSelect::Choose(addresses, preselected, this);
        };
    }
    const HostInterface chosen = ::SelectHostInterface(
        services_.net, services_.vsp, services_.prompts, settings_.hostAddress, choose);
    hostAddress_ = chosen.address;
    hostNetmask_ = chosen.netmask;
}

QString CMainFrame::DataDirectory() const {
    return services_.dataDir.isEmpty() ? services_.workDir : services_.dataDir;
}

void CMainFrame::ShowFunctionView(int index) {
    if (index < 0 || index >= static_cast<int>(functionViews_.size())) return;
    // The monitor's button refills its list from the ticked devices (while it is stopped).
    if (index == kFunctionMonitor) monitorView_->Fill();
    functionPane_->setCurrentIndex(index);
    viewMenu_->ShowFunction(index);
}

void CMainFrame::ShowBottomView(int index) {
    if (index < 0 || index >= static_cast<int>(bottomViews_.size())) return;
    bottomPane_->setCurrentIndex(index);
    viewMenu_->ShowTerminal(index == kBottomTerminal);
    FitBottomPane();
}

int CMainFrame::FunctionViewIndex() const {
    return functionPane_->currentIndex();
}
int CMainFrame::BottomViewIndex() const {
    return bottomPane_->currentIndex();
}

void CMainFrame::InitialUpdate() {
    dmView_->InitialUpdate();
    monitorView_->InitialUpdate();
    vspView_->InitialUpdate();
    // The tree lists the ports that the virtual serial port view has just read.
    viewMenu_->InitialUpdate();
    logView_->InitialUpdate(hostAddress_);
    // Without its socket every search ends with nothing found: the log says why.
    if (!broadcast_.CreateFailure().isEmpty()) AddLog(broadcast_.CreateFailure());
}

DmSettingsValues CMainFrame::DmSettings() const {
    return {{settings_.dmSearchPeriod, settings_.dmRestorePeriod, settings_.dmRebootPeriod},
            settings_.searchAtStart != 0};
}

void CMainFrame::SetDmSettings(const DmSettingsValues& values) {
    settings_.dmSearchPeriod = values.periods.search;
    settings_.dmRestorePeriod = values.periods.restore;
    settings_.dmRebootPeriod = values.periods.reboot;
    settings_.searchAtStart = values.searchAtStart ? 1 : 0;
}

static MonitorDevice MonitorDeviceAt(const DmDeviceTable& table, int row) {
    return {row, table.CellText(row, DmDeviceTable::kNameColumn), table.IpText(row),
            table.CellText(row, DmDeviceTable::kMacColumn)};
}

std::vector<MonitorDevice> CMainFrame::CheckedDevices() const {
    const DmDeviceTable& table = dmView_->DeviceTable();
    std::vector<MonitorDevice> devices;
    for (int row : table.CheckedRows()) devices.push_back(MonitorDeviceAt(table, row));
    return devices;
}

std::vector<MonitorDevice> CMainFrame::ListedDevices() const {
    const DmDeviceTable& table = dmView_->DeviceTable();
    std::vector<MonitorDevice> devices;
    for (int row = 0; row < table.Count(); ++row) devices.push_back(MonitorDeviceAt(table, row));
    return devices;
}

bool CMainFrame::IsVirtualComPort(const QString& portName) const {
    return IsPseudoTerminalPort(portName);
}

void CMainFrame::AskHeldComPorts(std::function<void(const QSet<QString>&)> answer) {
    heldAnswers_.push_back(std::move(answer));
    heldPorts_->Ask();
}

VspSettingsValues CMainFrame::VspSettings() const {
    return {settings_.maxPacketSizeSetting == 1, settings_.connectionCheck == 1};
}

QString CMainFrame::PortTablePath() const {
    return QDir(services_.workDir).filePath(kVspFileName);
}

QString CMainFrame::DriverPackagePath() const {
    return QDir(DataDirectory()).filePath(COrvinApp::kDriverPackage);
}

int CMainFrame::DmFindRowByIp(const QString& ip) const {
    return dmView_->DeviceTable().FindRowByIp(ip);
}

bool CMainFrame::DmRowUdp(int row) const {
    const DmDeviceTable& table = dmView_->DeviceTable();
    return table.Contains(row) && table.Record(row).Flag(devrec::netFlags, devrec::kUdp);
}

void CMainFrame::DmSetStatusText(int row, const QString& text) {
    dmView_->SetStatusText(row, text);
}

bool CMainFrame::SendHostAnnouncement(const QString& deviceAddress,
                                      std::array<uint8_t, 2> reportedPort) {
    return dmView_->SendHostAnnouncement(deviceAddress, reportedPort);
}

void CMainFrame::RunVspStartupRepair() {
    vspView_->Controller().RunStartupRepair();
}

void CMainFrame::AddLog(const QString& text) {
    log_.AddLog(text);
}

void CMainFrame::OnHelp() {
    const QString help = QDir(DataDirectory()).filePath(kHelpFileName);
    if (!services_.prompts.ShellOpen(help))
        services_.prompts.Inform(
            QStringLiteral("No program to show the help was found. The help is the file %1.")
                .arg(QDir::toNativeSeparators(help)));
}

void CMainFrame::OnExportList() {
    const MonitorController& monitor = monitorView_->Controller();
    ExportDeviceList(services_.prompts, dmView_->DeviceTable(),
                     [&monitor](const QString& mac) { return monitor.VersionOf(mac); });
}

void CMainFrame::OnAbout() {
    QMessageBox box(this);
    box.setWindowTitle("About VELTRO Configuration Utility");
    box.setIconPixmap(windowIcon().pixmap(32, 32));
    box.setText(QStringLiteral("VELTRO Configuration Utility\nVersion %1").arg(VELTRO_VERSION));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool CMainFrame::SaveSettings() {
    return settingsFile_.Save(settings_, [this] {
        dmView_->HandOverSettings();
        terminalView_->HandOverSettings();
        vspView_->Controller().SaveTable();
    });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveSettings();
    event->accept();
}
