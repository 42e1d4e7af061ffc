#include "vsp/VspController.h"

#include <algorithm>

#include "platform/UserPrompts.h"
#include "protocol/Ipv4Address.h"
#include "vsp/VspDriver.h"
#include "vspd/WinErrors.h"

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
    connect(&commands_, &VspPortCommands::removed, this, [this](const QString& name) {
        if (selected_ != name) return;
        selected_.clear();
        ClearForm();
        FollowPorts();
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
        enabled_[size_t(C::kAdd)] = RowCount() < kVspMaxPorts && !adding_;
        // A silent device's port ("Disconnecting") waits for supervision, a port with a
        // command under way for its answer, a held one for the other program: nothing to
        // press but Close of an attempt.
        const VspPort* port = commands_.Ports().Find(selected_);
        const bool working = port && commands_.Working(selected_);
        const bool idle = port && port->link == VspLink::kIdle && !port->held && !working;
        const bool linked = port && !working &&
                            (port->link == VspLink::kConnected || port->link == VspLink::kServer);
        for (C c : {C::kRemove, C::kConnect, C::kSetting}) enabled_[size_t(c)] = idle;
        enabled_[size_t(C::kClose)] = linked || (port && port->attempting);
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
    const VspLivePorts& ports = commands_.Ports();
    selected_ = row >= 0 && row < ports.Count() ? ports.At(row).name : QString();
    if (selected_.isEmpty()) ClearForm();
    FollowPorts();
    const VspPort* port = ports.Find(selected_);
    if (port && port->held && port->link == VspLink::kIdle)
        frame_.Prompts().Inform(VspPortCommands::kStopTerminal);
}

bool VspController::RefuseDuringEdit() {
    if (!SettingMode()) return false;
    frame_.Prompts().Inform(
        QStringLiteral("Finish the setting of %1 first: press OK.").arg(editPort_));
    return true;
}

void VspController::OnConnect() {
    if (selected_.isEmpty()) return;
    SetStatusLine({});
    commands_.Connect(selected_);
}

void VspController::OnClose() {
    if (selected_.isEmpty()) return;
    SetStatusLine({});
    frame_.CloseTerminalsOnPort(selected_);
    commands_.Close(selected_);
}

void VspController::OnRemove() {
    if (selected_.isEmpty()) return;
    SetStatusLine({});
    commands_.Remove(selected_);
}

void VspController::CreateFromTree() {
    if (RefuseDuringEdit()) return;
    if (!commands_.ServiceUp()) {
        frame_.Prompts().Inform(VspPortCommands::kServiceDown);
        return;
    }
    OnAdd();
}

bool VspController::CloseByName(const QString& name) {
    return !RefuseDuringEdit() && commands_.Close(name);
}

bool VspController::RemoveByName(const QString& name) {
    return !RefuseDuringEdit() && commands_.Remove(name);
}

void VspController::ClearForm() {
    VspForm blank;
    blank.statusLine = form_.statusLine;
    form_ = blank;
    emit formChanged();
}

bool VspController::ConnectByDrop(const QString& portName, const QString& ipText,
                                  const QString& portText, bool udp) {
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (RefuseDuringEdit() || !ok || port == 0 || port > 0xFFFF) return false;
    return commands_.ConnectToDevice(portName,
                                     Ipv4Address::Parse(ipText).value_or(Ipv4Address()).HostOrder(),
                                     uint16_t(port), udp);
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
    SetStatusLine({});
    editPort_ = selected_;
    ShowPortInForm(*port);
    portNumbers_.clear();
    portNumberIndex_ = -1;
    UpdateControls();
    ReadPortNumbers(editPort_);
}

VspTask VspController::ReadPortNumbers(QString name) {
    struct Usage {
        uint32_t error = 0;
        VspComUsage used{};
    };
    auto request = commands_.Service().Ask([](VspServiceTools& tools) {
        Usage u;
        u.error = tools.installer.ComUsage(&u.used);
        return u;
    });
    const Usage usage = co_await request;
    if (!commands_.Reached(usage.error) || editPort_ != name) co_return;
    if (usage.error != winerr::kSuccess) {
        frame_.Prompts().Inform(QStringLiteral("Get COM DB failed."));
        co_return;
    }
    portNumbers_ = VspPortNumberEntries(usage.used);
    portNumberIndex_ = name.mid(kComPrefixLength).toInt() - 1;
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
    if (applying_) return;
    if (form_.clientMode == -1) {
        frame_.Prompts().Inform(kNoConnectionType);
        return;
    }
    const QString name = editPort_;
    const int chosen = portNumberIndex_ + 1;
    const QString chosenName = QString::asprintf("COM%d", chosen);
    const bool renumber =
        portNumberIndex_ > 0 && chosenName.compare(name, Qt::CaseInsensitive) != 0;
    const auto done = [this](const QString& now, bool ok) {
        applying_ = false;
        const VspPort* port = commands_.Ports().Find(editPort_);
        // A port that another program holds keeps the edit open until it is free, and so
        // does a service that does not answer: OK tries again.
        if (!ok && commands_.ServiceUp() && ((port && port->held) || !commands_.Answering())) {
            UpdateControls();
            return;
        }
        if (ok && selected_ == editPort_) selected_ = now;
        EndEdit();
        FollowPorts();
    };
    applying_ = commands_.Apply(name, FormRequest(), renumber ? chosen : 0, done);
    UpdateControls();
}

void VspController::EndEdit() {
    editPort_.clear();
    UpdateControls();
}

void VspController::OnAdd() {
    if (adding_) return;
    SetStatusLine({});
    AddFlow();
}

VspTask VspController::AddFlow() {
    struct Scan {
        VspListed listed;
        uint32_t error = 0;
        VspComUsage used{};
    };
    adding_ = true;
    UpdateControls();
    auto request = commands_.Service().Ask([](VspServiceTools& tools) {
        Scan s;
        s.listed = VspList(tools);
        s.error = tools.installer.ComUsage(&s.used);
        return s;
    });
    const Scan scan = co_await request;
    adding_ = false;
    const bool listed = commands_.Take(scan.listed);
    UpdateControls();
    if (!listed) co_return;
    const auto& ports = commands_.Ports().All();
    if (std::any_of(ports.begin(), ports.end(), [](const VspPort& p) { return p.held; })) {
        frame_.Prompts().Inform(
            QStringLiteral("You need to close all opened VSP ports before adding a new one!"));
        co_return;
    }
    if (!commands_.Reached(scan.error)) co_return;
    if (scan.error != winerr::kSuccess) {
        frame_.Prompts().Inform(QStringLiteral("Get COM DB failed."));
        co_return;
    }
    const std::optional<int> chosen = chooser_ ? chooser_(scan.used) : std::nullopt;
    if (!chosen || *chosen < 1 || *chosen > int(scan.used.size())) co_return;
    if (scan.used[size_t(*chosen - 1)] != 0) {
        frame_.Prompts().Inform(QStringLiteral("The selected port number is in used."));
        co_return;
    }
    AddPort(*chosen);
}

void VspController::AddPort(int comNumber) {
    adding_ = true;
    SetStatusLine(QStringLiteral("Adding virtual serial port driver..."));
    frame_.Timers().SetTimer(this, kProgressTimer, kProgressMs);
    progressRange_ = {0, RowCount() < kSmallList ? kSmallList : RowCount() + kProgressExtra};
    progress_ = 1;
    UpdateControls();
    commands_.Install(comNumber, [this](bool added) { AddFinished(added); });
}

void VspController::AddFinished(bool added) {
    adding_ = false;
    SetStatusLine(added ? QStringLiteral("Added a virtual serial port successfully")
                        : QStringLiteral("Added a virtual serial port failed"));
    frame_.Timers().KillTimer(this, kProgressTimer);
    // A full bar says the port is there; a failed Add leaves it empty.
    progress_ = added ? progressRange_.second : progressRange_.first;
    UpdateControls();
    frame_.RefreshTerminalPortLists();
    commands_.SaveTable();
}
