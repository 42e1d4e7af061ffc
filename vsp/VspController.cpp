#include "vsp/VspController.h"

#include <algorithm>

#include "platform/UserPrompts.h"
#include "protocol/Address.h"
#include "vsp/VspDriverQueries.h"

namespace {

constexpr int kSmallList = 2;
constexpr int kProgressExtra = 5;
constexpr size_t kComPrefixLength = 3;  // "COM" before the number
const QString kNoConnectionType = QStringLiteral("Not Select The Connection Type!");

using C = VspControl;
constexpr C kConfiguration[] = {C::kAddress,        C::kRemotePort, C::kListenPort, C::kPacketSize,
                                C::kPortNumber,     C::kEnableVcom, C::kTcp,        C::kUdp,
                                C::kConnectAtStart, C::kServer,     C::kClient};

}  // namespace

VspController::VspController(VspFrame& frame, QObject* parent)
    : QObject(parent), frame_(frame), commands_(frame) {
    connect(&commands_, &VspPortCommands::portsChanged, this, &VspController::FollowPorts);
    connect(&commands_, &VspPortCommands::statusText, this, &VspController::SetStatusLine);
    connect(&commands_, &VspPortCommands::serviceChanged, this, [this](bool up) {
        if (!up) EndEdit();
        UpdateControls();
    });
}

VspController::~VspController() {
    frame_.Timers().KillAll(this);
}

void VspController::InitialUpdate() {
    form_.remoteIp = 0;
    commands_.Start();
    frame_.Timers().SetTimer(this, kRefreshTimer, kRefreshMs);
    emit formChanged();
    UpdateControls();
}

void VspController::OnTimer(int timerId) {
    if (timerId == kProgressTimer) {
        progress_ = std::min(progress_ + 1, progressRange_.second);
        emit controlsChanged();
    } else if (timerId == kRefreshTimer) {
        frame_.Timers().KillTimer(this, kRefreshTimer);
        commands_.ScanMtu();
        commands_.Refresh();
    }
}

std::vector<VspRow> VspController::Rows() const {
    std::vector<VspRow> rows;
    for (const VspPort& port : commands_.Ports().All()) rows.push_back(port.Row());
    return rows;
}

std::optional<int> VspController::SelectedRow() const {
    const int row = commands_.Ports().RowOf(selected_);
    return row >= 0 ? std::optional<int>(row) : std::nullopt;
}

QString VspController::SettingCaption() const {
    return SettingMode() ? QStringLiteral("OK") : QStringLiteral("Setting");
}

QString VspController::ConnectCaption() const {
    return form_.clientMode != 0 ? QStringLiteral("Connect") : QStringLiteral("Server");
}

void VspController::SetStatusLine(const QString& text) {
    form_.statusLine = text;
    emit formChanged();
}

void VspController::FollowPorts() {
    const VspPort* port = commands_.Ports().Find(selected_);
    if (port && !SettingMode()) ShowPortInForm(*port);
    emit rowsChanged();
    UpdateControls();
}

void VspController::ShowPortInForm(const VspPort& port) {
    const vspd::RemoteInfoReply& c = port.config;
    form_.connectAtStart = int32_t(c.connectAtStart);
    form_.clientMode = port.Client() ? 1 : 0;
    form_.enableVcom = int32_t(c.enableVcom);
    form_.maxPacketSize = c.maxPacketSize;
    form_.protocol = c.protocol;
    form_.remotePortText.clear();
    form_.listenPortText.clear();
    (port.Client() ? form_.remotePortText : form_.listenPortText) = QString::number(c.remotePort);
    form_.remoteIp = c.remoteIp;
    emit formChanged();
}

void VspController::UpdateControls() {
    enabled_.fill(false);
    const bool editing = SettingMode();
    const bool client = form_.clientMode == 1;
    enabled_[size_t(C::kList)] = !editing;
    if (editing) {
        for (C c : kConfiguration) enabled_[size_t(c)] = true;
        enabled_[size_t(C::kAddress)] = enabled_[size_t(C::kRemotePort)] = client;
        enabled_[size_t(C::kListenPort)] = !client;
        enabled_[size_t(C::kSetting)] = true;
    } else if (commands_.ServiceUp()) {
        enabled_[size_t(C::kAdd)] = RowCount() < kVspMaxPorts;
        // A silent device's port ("Disconnecting") waits for supervision: nothing to press.
        const VspPort* port = commands_.Ports().Find(selected_);
        const bool idle = port && port->link == VspLink::kIdle;
        const bool closable =
            port && (port->link == VspLink::kConnecting || port->link == VspLink::kConnected ||
                     port->link == VspLink::kServer);
        for (C c : {C::kRemove, C::kConnect, C::kSetting}) enabled_[size_t(c)] = idle;
        enabled_[size_t(C::kClose)] = closable;
    }
    emit controlsChanged();
}

void VspController::OnPacketSizeChanged() {
    form_.maxPacketSize = std::min(form_.maxPacketSize, commands_.PacketSizeLimit(form_.protocol));
    emit formChanged();
}

void VspController::OnClientRadio() {
    form_.clientMode = 1;
    form_.remotePortText = form_.listenPortText;
    form_.listenPortText.clear();
    emit formChanged();
    UpdateControls();
}

void VspController::OnServerRadio() {
    form_.clientMode = 0;
    form_.listenPortText = form_.remotePortText;
    form_.remotePortText.clear();
    emit formChanged();
    UpdateControls();
}

void VspController::ClickRow(int row) {
    if (SettingMode()) return;
    const VspPorts& ports = commands_.Ports();
    selected_ = row >= 0 && row < ports.Count() ? ports.At(row).name : QString();
    if (!selected_.isEmpty() && commands_.Sync()) {
        const VspPort* port = ports.Find(selected_);
        if (port && port->held) frame_.Prompts().Inform(VspPortCommands::kStopTerminal);
    }
    FollowPorts();
}

bool VspController::RefuseDuringEdit() {
    if (!SettingMode()) return false;
    frame_.Prompts().Inform(
        QStringLiteral("Finish the setting of %1 first: press OK.").arg(editPort_));
    return true;
}

void VspController::OnConnect() {
    if (!selected_.isEmpty()) commands_.Connect(selected_);
}

void VspController::OnClose() {
    if (selected_.isEmpty()) return;
    frame_.CloseTerminalsOnPort(selected_);
    commands_.Close(selected_);
}

void VspController::OnRemove() {
    if (!selected_.isEmpty() && commands_.Remove(selected_)) selected_.clear();
    UpdateControls();
}

void VspController::CreateFromTree() {
    if (!RefuseDuringEdit()) OnAdd();
}

bool VspController::CloseByName(const QString& name) {
    return !RefuseDuringEdit() && commands_.Close(name);
}

bool VspController::RemoveByName(const QString& name) {
    if (RefuseDuringEdit() || !commands_.Remove(name)) return false;
    if (selected_ == name) selected_.clear();
    UpdateControls();
    return true;
}

bool VspController::ConnectByDrop(const QString& portName, const QString& ipText,
                                  const QString& portText, bool udp) {
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (RefuseDuringEdit() || !ok || port == 0 || port > 0xFFFF) return false;
    return commands_.ConnectToDevice(portName, ParseDottedAddress(ipText), uint16_t(port), udp);
}

void VspController::OnSetting() {
    if (SettingMode()) {
        FinishEdit();
    } else {
        BeginEdit();
    }
}

void VspController::BeginEdit() {
    const VspPort* port = commands_.Ports().Find(selected_);
    if (!port) return;
    if (port->held) {
        frame_.Prompts().Inform(VspPortCommands::kStopTerminal);
        return;
    }
    editPort_ = selected_;
    ShowPortInForm(*port);
    portNumbers_.clear();
    portNumberIndex_ = -1;
    VspComUsage used{};
    if (commands_.ScanComUsage(&used)) {
        portNumbers_ = VspPortNumberEntries(used);
        portNumberIndex_ = editPort_.mid(kComPrefixLength).toInt() - 1;
    }
    UpdateControls();
}

uint16_t VspController::FormPort() const {
    return uint16_t((form_.clientMode == 1 ? form_.remotePortText : form_.listenPortText).toUInt());
}

vspd::RemoteInfoRequest VspController::FormRequest() const {
    vspd::RemoteInfoReply config;
    config.remoteIp = form_.remoteIp;
    config.remotePort = FormPort();
    config.protocol = uint8_t(form_.protocol);
    config.connectAtStart = uint32_t(form_.connectAtStart);
    config.mode = uint32_t(form_.clientMode);
    config.enableVcom = uint32_t(form_.enableVcom);
    config.maxPacketSize = form_.maxPacketSize;
    return VspConfigRequest(config);
}

void VspController::FinishEdit() {
    if (form_.clientMode == -1) {
        frame_.Prompts().Inform(kNoConnectionType);
        return;
    }
    const QString name = editPort_;
    if (!commands_.Configure(name, FormRequest())) {
        // A port that another program holds keeps the edit open until it is free.
        const bool synced = commands_.Sync();
        const VspPort* port = commands_.Ports().Find(name);
        if (synced && port && port->held) return;
        EndEdit();
        return;
    }
    const int chosen = portNumberIndex_ + 1;
    const QString chosenName = QString::asprintf("COM%d", chosen);
    EndEdit();
    if (portNumberIndex_ > 0 && chosenName.compare(name, Qt::CaseInsensitive) != 0 &&
        commands_.Renumber(name, chosen) && selected_ == name)
        selected_ = chosenName;
    commands_.Sync();
    commands_.SaveTable();
}

void VspController::EndEdit() {
    editPort_.clear();
    UpdateControls();
}

void VspController::OnAdd() {
    VspDriverQueries& busy = frame_.VspBusyCheck();
    busy.CheckBusy();
    if (busy.PortBusy()) {
        frame_.Prompts().Inform(
            QStringLiteral("You need to close all opened VSP ports before adding a new one!"));
        return;
    }
    VspComUsage used{};
    if (!commands_.ScanComUsage(&used)) return;
    const std::optional<int> chosen = chooser_ ? chooser_(used) : std::nullopt;
    if (!chosen || *chosen < 1 || *chosen > int(used.size())) return;
    if (used[size_t(*chosen - 1)] != 0) {
        frame_.Prompts().Inform(QStringLiteral("The selected port number is in used."));
        return;
    }
    AddPort(*chosen);
}

void VspController::AddPort(int comNumber) {
    SetStatusLine(QStringLiteral("Adding virtual serial port driver..."));
    frame_.Timers().SetTimer(this, kProgressTimer, kProgressMs);
    progressRange_ = {0, RowCount() < kSmallList ? kSmallList : RowCount() + kProgressExtra};
    progress_ = 1;
    emit controlsChanged();

    const bool added = !commands_.Install(comNumber).isEmpty();
    SetStatusLine(added ? QStringLiteral("Added a virtual serial port successfully")
                        : QStringLiteral("Added a virtual serial port failed"));
    frame_.Timers().KillTimer(this, kProgressTimer);
    progress_ = progressRange_.second;
    UpdateControls();
    frame_.RefreshTerminalPortLists();
    commands_.SaveTable();
}
