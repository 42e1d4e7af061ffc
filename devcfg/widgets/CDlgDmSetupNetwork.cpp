#include "devcfg/widgets/CDlgDmSetupNetwork.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "devcfg/widgets/PageControls.h"
#include "ui/widgets/ClampedNumberEdit.h"

namespace {

constexpr int kNameLimit = 16;
constexpr int kMacLimit = 23;
constexpr int kAddressLimit = 15;
constexpr int kHostLimit = 36;
constexpr int kSmtpLimit = 36;
constexpr int kFirmwareLimit = 64;

LimitedLineEdit* Edit(int limit, const char* name, QWidget* parent) {
    return MakeNamed<LimitedLineEdit>(name, limit, parent);
}

ClampedNumberEdit* Number(NumberLimits limits, const char* name, QWidget* parent) {
    return MakeNamed<ClampedNumberEdit>(name, limits, parent);
}

}  // namespace

CDlgDmSetupNetwork::CDlgDmSetupNetwork(DeviceSetupValues& values, QWidget* parent)
    : SetupPage(values, parent) {
    setObjectName("networkPage");
    auto* right = new QVBoxLayout;
    right->addWidget(BuildSmtp());
    right->addWidget(BuildEvents());
    right->addWidget(BuildModbus());
    right->addStretch();
    auto* columns = new QHBoxLayout(this);
    columns->addWidget(BuildAddressing());
    columns->addLayout(right);

    connect(server_, &QRadioButton::clicked, this, &CDlgDmSetupNetwork::OnModeClicked);
    connect(client_, &QRadioButton::clicked, this, &CDlgDmSetupNetwork::OnModeClicked);
    connect(udp_, &QCheckBox::clicked, this, [this] { OnPacketTypeClicked(udp_); });
    connect(tcp_, &QCheckBox::clicked, this, [this] { OnPacketTypeClicked(tcp_); });
    connect(dhcp_, &QComboBox::activated, this, &CDlgDmSetupNetwork::ApplyDhcpRule);
    ApplyServerClientRule();
}

QWidget* CDlgDmSetupNetwork::BuildAddressing() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    deviceName_ = Edit(kNameLimit, "deviceName", box);
    macAddress_ = Edit(kMacLimit, "macAddress", box);
    macAddress_->setEnabled(false);
    operationMode_ =
        MakeList({"Socket", "VCOM", "RFC2217", "MODBUS GateWay"}, box, "operationMode");
    dhcp_ = MakeList(kDisableEnable, box, "dhcp");
    currentIp_ = Edit(kAddressLimit, "currentIp", box);
    currentIp_->setEnabled(false);
    staticIp_ = Edit(kAddressLimit, "staticIp", box);
    server_ = MakeNamed<QRadioButton>("server", "Server", box);
    client_ = MakeNamed<QRadioButton>("client", "Client", box);
    auto* mode = new QButtonGroup(box);
    mode->addButton(server_);
    mode->addButton(client_);
    listenPort_ = Number(limits::kPort, "listenPort", box);
    destinationPort_ = Number(limits::kPort, "destinationPort", box);
    tcp_ = MakeNamed<QCheckBox>("tcp", "TCP", box);
    udp_ = MakeNamed<QCheckBox>("udp", "UDP", box);
    destinationHost_ = Edit(kHostLimit, "destinationHost", box);
    subnetMask_ = Edit(kAddressLimit, "subnetMask", box);
    gateway_ = Edit(kAddressLimit, "gateway", box);
    dnsServer_ = Edit(kAddressLimit, "dnsServer", box);
    transmitTimer_ = Number(limits::kTransmitTimer, "transmitTimer", box);
    firmwareFile_ = Edit(kFirmwareLimit, "firmwareFile", box);
    firmwareFile_->setEnabled(false);

    AddRow(grid, "Device Name", deviceName_);
    AddRow(grid, "MAC Address", macAddress_);
    AddRow(grid, "Operation Mode", operationMode_);
    AddRow(grid, "DHCP", dhcp_);
    AddRow(grid, "Static IP", currentIp_);
    staticIp_->setAccessibleName("Static IP");
    // The static address takes the same place; the DHCP rule shows one of the two.
    grid->addWidget(staticIp_, grid->rowCount() - 1, 1);
    auto* modes = new QHBoxLayout;
    modes->addWidget(server_);
    modes->addWidget(client_);
    grid->addLayout(modes, grid->rowCount(), 1);
    AddRow(grid, "Data Listening Port", listenPort_);
    AddRow(grid, "Destination Port", destinationPort_);
    auto* packets = new QHBoxLayout;
    packets->addWidget(tcp_);
    packets->addWidget(udp_);
    auto* packetBox = new QGroupBox("Data Packet Type", box);
    packetBox->setLayout(packets);
    grid->addWidget(packetBox, grid->rowCount(), 0, 1, 2);
    AddRow(grid, "Destination Hostname/IP", destinationHost_);
    AddRow(grid, "Subnet Mask", subnetMask_);
    AddRow(grid, "Gateway", gateway_);
    AddRow(grid, "DNS Server", dnsServer_);
    AddRow(grid, "Transmit Timer", transmitTimer_);
    AddRow(grid, "Firmware File", firmwareFile_);
    grid->setRowStretch(grid->rowCount(), 1);
    return box;
}

QGroupBox* CDlgDmSetupNetwork::BuildSmtp() {
    auto* box = new QGroupBox("SMTP Configuration Parameters", this);
    auto* grid = new QGridLayout(box);
    smtpDomain_ = Edit(kSmtpLimit, "smtpDomain", box);
    smtpFrom_ = Edit(kSmtpLimit, "smtpFrom", box);
    smtpTo1_ = Edit(kSmtpLimit, "smtpTo1", box);
    smtpTo2_ = Edit(kSmtpLimit, "smtpTo2", box);
    smtpTo3_ = Edit(kSmtpLimit, "smtpTo3", box);
    smtpUser_ = Edit(kSmtpLimit, "smtpUser", box);
    smtpPassword_ = Edit(kSmtpLimit, "smtpPassword", box);
    smtpSecurity_ = MakeList({"No Security", "SSL", "TLS"}, box, "smtpSecurity");
    smtpPort_ = Number(limits::kServicePort, "smtpPort", box);
    AddRow(grid, "Domain Name", smtpDomain_);
    AddRow(grid, "From Address", smtpFrom_);
    AddRow(grid, "To Address 1", smtpTo1_);
    AddRow(grid, "To Address 2", smtpTo2_);
    AddRow(grid, "To Address 3", smtpTo3_);
    AddRow(grid, "User Name", smtpUser_);
    AddRow(grid, "Password", smtpPassword_);
    AddRow(grid, "Security", smtpSecurity_);
    AddRow(grid, "SMTP Security Port", smtpPort_);
    return box;
}

QGroupBox* CDlgDmSetupNetwork::BuildEvents() {
    auto* box = new QGroupBox("Event Enable/Disable", this);
    auto* grid = new QGridLayout(box);
    eventIpChange_ = MakeList(kDisableEnable, box, "eventIpChange");
    eventPasswordChange_ = MakeList(kDisableEnable, box, "eventPasswordChange");
    eventAuthFail_ = MakeList(kDisableEnable, box, "eventAuthFail");
    eventColdStart_ = MakeList(kDisableEnable, box, "eventColdStart");
    eventWarmStart_ = MakeList(kDisableEnable, box, "eventWarmStart");
    eventWarmStart_->hide();  // carries its bit through
    AddRow(grid, "IP Change", eventIpChange_);
    AddRow(grid, "Password Change", eventPasswordChange_);
    AddRow(grid, "Authentication Fail", eventAuthFail_);
    AddRow(grid, "Cold Start", eventColdStart_);
    return box;
}

QGroupBox* CDlgDmSetupNetwork::BuildModbus() {
    auto* box = new QGroupBox("MODBUS Setting", this);
    auto* grid = new QGridLayout(box);
    modbusTransferMode_ = MakeList({"MODBUS TCP", "Transparent TCP"}, box, "modbusTransferMode");
    modbusPort_ = Number(limits::kServicePort, "modbusPort", box);
    modbusResponseTimeout_ = Number(limits::kResponseTimeout, "modbusResponseTimeout", box);
    modbusInterFrameDelay_ = Number(limits::kFrameDelay, "modbusInterFrameDelay", box);
    modbusInterCharDelay_ = Number(limits::kFrameDelay, "modbusInterCharDelay", box);
    AddRow(grid, "Transfer Mode", modbusTransferMode_);
    AddRow(grid, "Server Port", modbusPort_);
    AddRow(grid, "Response Timeout", modbusResponseTimeout_, "10~65000 ms");
    AddRow(grid, "Inter-Frame Delay", modbusInterFrameDelay_, "10~500 ms");
    AddRow(grid, "Inter-Character Delay", modbusInterCharDelay_, "10~500 ms");
    return box;
}

void CDlgDmSetupNetwork::RefreshControls() {
    deviceName_->SetWholeText(v_.deviceName);
    macAddress_->SetWholeText(v_.macAddress);
    SelectPosition(operationMode_, v_.operationMode);
    SelectPosition(dhcp_, v_.dhcp);
    currentIp_->SetWholeText(v_.currentIp);
    staticIp_->SetWholeText(v_.staticIp);
    (v_.clientMode ? client_ : server_)->setChecked(true);
    listenPort_->SetValue(v_.listenPort);
    destinationPort_->SetValue(v_.destinationPort);
    udp_->setChecked(v_.udp);
    tcp_->setChecked(v_.tcp);
    destinationHost_->SetWholeText(v_.destinationHost);
    subnetMask_->SetWholeText(v_.subnetMask);
    gateway_->SetWholeText(v_.gateway);
    dnsServer_->SetWholeText(v_.dnsServer);
    transmitTimer_->SetValue(v_.transmitTimer);
    smtpDomain_->SetWholeText(v_.smtpDomain);
    smtpFrom_->SetWholeText(v_.smtpFrom);
    smtpTo1_->SetWholeText(v_.smtpTo1);
    smtpTo2_->SetWholeText(v_.smtpTo2);
    smtpTo3_->SetWholeText(v_.smtpTo3);
    smtpUser_->SetWholeText(v_.smtpUser);
    smtpPassword_->SetWholeText(v_.smtpPassword);
    SelectPosition(smtpSecurity_, v_.smtpSecurity);
    smtpPort_->SetValue(v_.smtpPort);
    SelectPosition(eventIpChange_, v_.eventIpChange);
    SelectPosition(eventPasswordChange_, v_.eventPasswordChange);
    SelectPosition(eventAuthFail_, v_.eventAuthFail);
    SelectPosition(eventColdStart_, v_.eventColdStart);
    SelectPosition(eventWarmStart_, v_.eventWarmStart);
    firmwareFile_->SetWholeText(v_.firmwareFile);
    SelectPosition(modbusTransferMode_, v_.modbusTransferMode);
    modbusPort_->SetValue(v_.modbusPort);
    modbusResponseTimeout_->SetValue(v_.modbusResponseTimeout);
    modbusInterFrameDelay_->SetValue(v_.modbusInterFrameDelay);
    modbusInterCharDelay_->SetValue(v_.modbusInterCharDelay);
    ApplyServerClientRule();
    ApplyDhcpRule();
}

QList<const LimitedLineEdit*> CDlgDmSetupNetwork::ReadControls() {
    QList<const LimitedLineEdit*> overLong;
    v_.deviceName = ReadText(deviceName_, overLong);
    v_.operationMode = Position(operationMode_);
    v_.dhcp = Position(dhcp_);
    v_.currentIp = ReadText(currentIp_, overLong);
    v_.staticIp = ReadText(staticIp_, overLong);
    v_.clientMode = !server_->isChecked();
    v_.listenPort = listenPort_->Value();
    v_.destinationPort = destinationPort_->Value();
    v_.udp = udp_->isChecked();
    v_.tcp = tcp_->isChecked();
    v_.destinationHost = ReadText(destinationHost_, overLong);
    v_.subnetMask = ReadText(subnetMask_, overLong);
    v_.gateway = ReadText(gateway_, overLong);
    v_.dnsServer = ReadText(dnsServer_, overLong);
    v_.transmitTimer = transmitTimer_->Value();
    v_.smtpDomain = ReadText(smtpDomain_, overLong);
    v_.smtpFrom = ReadText(smtpFrom_, overLong);
    v_.smtpTo1 = ReadText(smtpTo1_, overLong);
    v_.smtpTo2 = ReadText(smtpTo2_, overLong);
    v_.smtpTo3 = ReadText(smtpTo3_, overLong);
    v_.smtpUser = ReadText(smtpUser_, overLong);
    v_.smtpPassword = ReadText(smtpPassword_, overLong);
    v_.smtpSecurity = Position(smtpSecurity_);
    v_.smtpPort = smtpPort_->Value();
    v_.eventIpChange = Position(eventIpChange_);
    v_.eventPasswordChange = Position(eventPasswordChange_);
    v_.eventAuthFail = Position(eventAuthFail_);
    v_.eventColdStart = Position(eventColdStart_);
    v_.eventWarmStart = Position(eventWarmStart_);
    v_.firmwareFile = ReadText(firmwareFile_, overLong);
    v_.modbusTransferMode = Position(modbusTransferMode_);
    v_.modbusPort = modbusPort_->Value();
    v_.modbusResponseTimeout = modbusResponseTimeout_->Value();
    v_.modbusInterFrameDelay = modbusInterFrameDelay_->Value();
    v_.modbusInterCharDelay = modbusInterCharDelay_->Value();
    return overLong;
}

void CDlgDmSetupNetwork::ShowLoadedLine(int line) {
    switch (line) {
        case 5:
            SelectPosition(operationMode_, v_.operationMode);
            break;
        case 6:
            if (v_.dhcpClientFlag) ShowCurrentAddress(true);
            break;
        case 7:
            if (!v_.dhcpClientFlag) ShowCurrentAddress(false);
            break;
        case 24:
            SelectPosition(smtpSecurity_, v_.smtpSecurity);
            break;
        case 32:
            SelectPosition(modbusTransferMode_, v_.modbusTransferMode);
            break;
        default:
            break;
    }
}

void CDlgDmSetupNetwork::OnModeClicked() {
    ApplyServerClientRule();
    ApplyDhcpRule();
}

// Exactly one of the two stays ticked: clicking one sets the other to the opposite.
void CDlgDmSetupNetwork::OnPacketTypeClicked(QCheckBox* clicked) {
    QCheckBox* other = clicked == udp_ ? tcp_ : udp_;
    other->setChecked(!clicked->isChecked());
}

void CDlgDmSetupNetwork::ApplyServerClientRule() {
    const bool client = client_->isChecked();
    listenPort_->setEnabled(!client);
    destinationPort_->setEnabled(client);
}

void CDlgDmSetupNetwork::ApplyDhcpRule() {
    ShowCurrentAddress(Position(dhcp_) == 1);
}

void CDlgDmSetupNetwork::ShowCurrentAddress(bool current) {
    currentIp_->setVisible(current);
    staticIp_->setVisible(!current);
}
