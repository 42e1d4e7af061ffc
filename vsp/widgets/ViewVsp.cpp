#include "vsp/widgets/ViewVsp.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/widgets/IpAddressEdit.h"
#include "ui/widgets/ReportCtrl.h"
#include "ui/widgets/RgbColor.h"
#include "vsp/widgets/DlgVspPortConfig.h"

namespace {

const QString kColumnSpec = QStringLiteral(
    "Port ID, 60;Port Name, 150;Status, 100;Remote IP, 120;Remote Port, 90;Bytes Out, 90;"
    "Bytes In, 90;Discarded, 80");
constexpr int kPortTextLength = 5;
constexpr int kStatusMinWidth = 260;

// An edit never narrower than `widest` in its own font, with room for its frame.
void FitText(QLineEdit* edit, const QString& widest) {
    constexpr int kFrameRoom = 16;
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(widest) + kFrameRoom);
}

QGroupBox* Group(const QString& title, QLayout* layout, QWidget* parent) {
    auto* group = new QGroupBox(title, parent);
    group->setLayout(layout);
    return group;
}

}  // namespace

CViewVsp::CViewVsp(VspFrame& frame, QWidget* parent) : QWidget(parent), frame_(frame), vsp_(frame) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(BuildCommands());
    top->addWidget(BuildConfiguration(), 1);
    layout->addLayout(top);

    status_ = new QLabel(this);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setMinimumWidth(kStatusMinWidth);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(QStringLiteral("Status"), this));
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(progress_, 1);
    layout->addLayout(statusRow);

    layout->addWidget(new QLabel(QStringLiteral("Virtual Serial Ports List"), this));
    list_ = new CReportCtrl(this);
    layout->addWidget(list_, 1);
    controls_[size_t(VspControl::kList)] = list_;
    BuildList();
    vsp_.SetPortNumberChooser(
        [this](const VspComUsage& used) { return CDlgVspPortConfig::Choose(used, window()); });
    ConnectControls();
}

CViewVsp::~CViewVsp() = default;

QWidget* CViewVsp::BuildCommands() {
    auto make = [this](VspControl control, const char* text) {
        auto* button = new QPushButton(QString::fromLatin1(text), this);
        controls_[size_t(control)] = button;
        return button;
    };
    auto* port = new QHBoxLayout;
    port->addWidget(make(VspControl::kAdd, "Add"));
    port->addWidget(make(VspControl::kRemove, "Remove"));
    auto* network = new QHBoxLayout;
    network->addWidget(make(VspControl::kConnect, "Connect"));
    network->addWidget(make(VspControl::kClose, "Close"));
    network->addWidget(make(VspControl::kSetting, "Setting"));
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(Group(QStringLiteral("Virtual Port"), port, box));
    column->addWidget(Group(QStringLiteral("Network"), network, box));
    column->addStretch(1);
    return box;
}

QWidget* CViewVsp::BuildModeGroup() {
    client_ = new QRadioButton(QStringLiteral("Client"), this);
    server_ = new QRadioButton(QStringLiteral("Server"), this);
    listenPort_ = new QLineEdit(this);
    listenPort_->setMaxLength(kPortTextLength);
    FitText(listenPort_, QStringLiteral("65535"));
    auto* modes = new QButtonGroup(this);
    modes->addButton(client_);
    modes->addButton(server_);
    auto* mode = new QHBoxLayout;
    mode->addWidget(client_);
    mode->addWidget(server_);
    mode->addWidget(new QLabel(QStringLiteral("Listen Port"), this));
    mode->addWidget(listenPort_);
    controls_[size_t(VspControl::kClient)] = client_;
    controls_[size_t(VspControl::kServer)] = server_;
    controls_[size_t(VspControl::kListenPort)] = listenPort_;
    return Group(QStringLiteral("Mode"), mode, this);
}

QWidget* CViewVsp::BuildConfiguration() {
    tcp_ = new QRadioButton(QStringLiteral("TCP"), this);
    udp_ = new QRadioButton(QStringLiteral("UDP"), this);
    auto* protocols = new QButtonGroup(this);
    protocols->addButton(tcp_);
    protocols->addButton(udp_);
    auto* protocol = new QHBoxLayout;
    protocol->addWidget(tcp_);
    protocol->addWidget(udp_);

    address_ = new IpAddressEdit(this);
    remotePort_ = new QLineEdit(this);
    remotePort_->setMaxLength(kPortTextLength);
    // Wide enough for the longest text each holds, in the font in use.
    FitText(address_, QStringLiteral("255.255.255.255"));
    FitText(remotePort_, QStringLiteral("65535"));
    packetSizeLabel_ = new QLabel(QStringLiteral("Max Packet Size"), this);
    packetSize_ = new QLineEdit(this);
    enableVcom_ = new QCheckBox(QStringLiteral("Enable VCOM"), this);
    connectAtStart_ = new QCheckBox(QStringLiteral("Connect at System Start"), this);
    // Kept for the edit state's renumbering; the form never shows it.
    portNumber_ = new QComboBox(this);
    portNumber_->hide();

    auto* groups = new QHBoxLayout;
    groups->addWidget(Group(QStringLiteral("Connection Protocol"), protocol, this));
    groups->addWidget(BuildModeGroup(), 1);
    auto* grid = new QGridLayout;
    grid->addLayout(groups, 0, 0, 1, 6);
    grid->addWidget(new QLabel(QStringLiteral("Remote Host IP"), this), 1, 0);
    grid->addWidget(address_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Remote Host Port"), this), 1, 2);
    grid->addWidget(remotePort_, 1, 3);
    grid->addWidget(packetSizeLabel_, 1, 4);
    grid->addWidget(packetSize_, 1, 5);
    grid->addWidget(enableVcom_, 2, 0, 1, 2);
    grid->addWidget(connectAtStart_, 2, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    const std::pair<VspControl, QWidget*> named[] = {
        {VspControl::kTcp, tcp_},
        {VspControl::kUdp, udp_},
        {VspControl::kAddress, address_},
        {VspControl::kRemotePort, remotePort_},
        {VspControl::kPacketSize, packetSize_},
        {VspControl::kEnableVcom, enableVcom_},
        {VspControl::kConnectAtStart, connectAtStart_},
        {VspControl::kPortNumber, portNumber_},
    };
    for (const auto& [control, widget] : named) controls_[size_t(control)] = widget;
    return Group(QStringLiteral("Virtual Port / Network Configuration"), grid, this);
}

void CViewVsp::BuildList() {
    list_->ApplyColumnSpec(kColumnSpec);
    list_->ShowGridLines(true);
    list_->EnableHeaderSort(false);
}

QPushButton* CViewVsp::Button(VspControl control) const {
    return qobject_cast<QPushButton*>(Control(control));
}

template <typename Handler>
void CViewVsp::OnUser(QPushButton* button, Handler handler) {
    connect(button, &QPushButton::clicked, this, [this, handler] {
        ReadForm();
        (vsp_.*handler)();
    });
}

void CViewVsp::ConnectControls() {
    OnUser(Button(VspControl::kAdd), &VspController::OnAdd);
    OnUser(Button(VspControl::kRemove), &VspController::OnRemove);
    OnUser(Button(VspControl::kConnect), &VspController::OnConnect);
    OnUser(Button(VspControl::kClose), &VspController::OnClose);
    OnUser(Button(VspControl::kSetting), &VspController::OnSetting);
    connect(client_, &QRadioButton::clicked, this, [this] {
        ReadForm();
        vsp_.OnClientRadio();
    });
    connect(server_, &QRadioButton::clicked, this, [this] {
        ReadForm();
        vsp_.OnServerRadio();
    });
    for (QLineEdit* edit : {remotePort_, listenPort_, static_cast<QLineEdit*>(address_)})
        connect(edit, &QLineEdit::textEdited, this, &CViewVsp::ReadForm);
    connect(packetSize_, &QLineEdit::textEdited, this, [this] {
        ReadForm();
        vsp_.OnPacketSizeChanged();
    });
    for (QAbstractButton* box :
         {static_cast<QAbstractButton*>(enableVcom_),
          static_cast<QAbstractButton*>(connectAtStart_), static_cast<QAbstractButton*>(tcp_),
          static_cast<QAbstractButton*>(udp_)})
        connect(box, &QAbstractButton::clicked, this, &CViewVsp::ReadForm);
    connect(portNumber_, &QComboBox::activated, &vsp_, &VspController::SetPortNumberIndex);
    connect(list_, &CReportCtrl::RowClicked, this, [this](int row, int, Qt::MouseButton) {
        ReadForm();
        vsp_.ClickRow(row);
    });

    connect(&vsp_, &VspController::formChanged, this, &CViewVsp::ShowForm);
    connect(&vsp_, &VspController::controlsChanged, this, &CViewVsp::ShowControls);
    connect(&vsp_, &VspController::rowsChanged, this, &CViewVsp::ShowRows);
}

void CViewVsp::InitialUpdate() {
    const bool showPacketSize = frame_.VspSettings().showMaxPacketSize;
    packetSizeLabel_->setVisible(showPacketSize);
    packetSize_->setVisible(showPacketSize);
    vsp_.InitialUpdate();
}

void CViewVsp::ReadForm() {
    VspForm form = vsp_.Form();
    form.connectAtStart = connectAtStart_->isChecked() ? 1 : 0;
    form.maxPacketSize = packetSize_->text().toUInt();
    form.remotePortText = remotePort_->text();
    form.protocol = udp_->isChecked() ? 1 : 0;
    form.enableVcom = enableVcom_->isChecked() ? 1 : 0;
    form.clientMode = client_->isChecked() ? 1 : server_->isChecked() ? 0 : -1;
    form.listenPortText = listenPort_->text();
    form.remoteIp = address_->Address();
    vsp_.EditForm(form);
}

void CViewVsp::ShowForm() {
    const VspForm& form = vsp_.Form();
    connectAtStart_->setChecked(form.connectAtStart != 0);
    packetSize_->setText(QString::number(form.maxPacketSize));
    remotePort_->setText(form.remotePortText);
    (form.protocol == 1 ? udp_ : tcp_)->setChecked(true);
    status_->setText(form.statusLine);
    status_->setToolTip(form.statusLine);  // a long one is cut in the line
    enableVcom_->setChecked(form.enableVcom != 0);
    if (form.clientMode >= 0) (form.clientMode == 1 ? client_ : server_)->setChecked(true);
    listenPort_->setText(form.listenPortText);
    address_->SetAddress(form.remoteIp);
}

void CViewVsp::ShowControls() {
    for (int i = 0; i < kVspControlCount; ++i)
        controls_[size_t(i)]->setEnabled(vsp_.Enabled(static_cast<VspControl>(i)));
    Button(VspControl::kSetting)->setText(vsp_.SettingCaption());
    Button(VspControl::kConnect)->setText(vsp_.ConnectCaption());
    if (portNumber_->count() != vsp_.PortNumberEntries().size()) {
        portNumber_->clear();
        portNumber_->addItems(vsp_.PortNumberEntries());
    }
    portNumber_->setCurrentIndex(vsp_.PortNumberIndex());
    progress_->setRange(vsp_.ProgressRange().first, vsp_.ProgressRange().second);
    progress_->setValue(vsp_.Progress());
}

void CViewVsp::ShowRows() {
    const std::vector<VspRow> rows = vsp_.Rows();
    if (list_->ItemCount() != int(rows.size())) {
        list_->DeleteRows(ReportRows::kAll);
        for (int row = 0; row < int(rows.size()); ++row) list_->InsertRow(row, QString());
    }
    for (int row = 0; row < int(rows.size()); ++row) {
        for (int column = 0; column < VspRow::kColumnCount; ++column)
            list_->SetCellText(row, column, rows[size_t(row)].cells[size_t(column)]);
        list_->SetCellBackColor(row, -1, ToColor(rows[size_t(row)].back));
    }
    // The selection is the port the user clicked, wherever the list now shows it.
    const std::optional<int> selected = vsp_.SelectedRow();
    for (int row = 0; row < int(rows.size()); ++row)
        list_->SetRowSelected(row, selected && *selected == row);
}
