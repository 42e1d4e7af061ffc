// The port table's side of the commands: following the service, telling the user and the
// other views, and what supervision finds.
#include "vsp/VspPortCommands.h"

#include <QDateTime>
#include <QFile>

#include "platform/NetInterfaces.h"
#include "platform/UserPrompts.h"
#include "protocol/Address.h"
#include "vsp/VspPortTable.h"
#include "vspd/WinErrors.h"

namespace {

const char kDatedLine[] = "date: %d hour: %d min: %d \r\n";
const char kDisconnectionFailed[] = "PortID %d fail to do IOCTL_DISCONNECTION (0x%x)\n";

}  // namespace

vspd::RemoteInfoRequest VspConfigRequest(const vspd::RemoteInfoReply& config) {
    vspd::RemoteInfoRequest request;
    request.remoteIp = config.remoteIp;
    request.remotePort = config.remotePort;
    request.protocol = config.protocol;
    request.connectAtStart = config.connectAtStart;
    // The driver's 256 and any other nonzero mode is a client.
    request.mode = config.mode != 0 ? 1 : 0;
    request.enableVcom = config.enableVcom;
    request.maxPacketSize = config.maxPacketSize;
    return request;
}

VspPortCommands::VspPortCommands(VspFrame& frame, QObject* parent)
    : QObject(parent),
      frame_(frame),
      driver_(frame.VspDriver()),
      supervision_(*this, frame.Timers()) {
    connect(&connector_, &VspConnector::finished, this, &VspPortCommands::OnAttemptFinished);
}

VspPortCommands::~VspPortCommands() {
    frame_.Timers().KillAll(this);
}

void VspPortCommands::Start() {
    supervision_.Start(frame_.VspSettings().connectionCheck);
    frame_.Timers().SetTimer(this, kServiceWatchTimer, kServiceWatchMs);
}

void VspPortCommands::OnTimer(int timerId) {
    switch (timerId) {
        case kServiceWatchTimer:
            Sync();
            break;
        case kReconnectTimer:
            frame_.Timers().KillTimer(this, kReconnectTimer);
            Reconnect();
            break;
        case kServerWaitTimer:
            frame_.Timers().KillTimer(this, kServerWaitTimer);
            serverWaits_.clear();
            Sync();
            break;
        default:
            break;
    }
}

bool VspPortCommands::Sync() {
    uint32_t error = 0;
    const auto list = driver_.Enumerate(&error);
    if (!list) {
        Reached(error);
        return false;
    }
    if (!serviceUp_) {
        serviceUp_ = true;
        frame_.Timers().SetTimer(this, kServiceWatchTimer, kServiceWatchMs);
        frame_.AddLog(kServiceBack);
        emit statusText(kServiceBack);
        emit serviceChanged(true);
    }
    listed_ = true;
    ShowPorts(ports_.Take(*list));
    return true;
}

bool VspPortCommands::Reached(uint32_t error) {
    if (error != winerr::kServiceNotActive && error != winerr::kGenFailure) return true;
    ServiceLost();
    return false;
}

void VspPortCommands::ServiceLost() {
    if (!serviceUp_) return;
    serviceUp_ = false;
    // The ports went with the service; the table on disk keeps them for its return.
    VspPorts::Changes changes;
    for (const VspPort& port : ports_.All()) changes.disconnected << port.name;
    ports_.Clear();
    frame_.Timers().SetTimer(this, kServiceWatchTimer, kServiceRetryMs);
    frame_.AddLog(kServiceDown);
    emit statusText(kServiceDownStatus);
    emit serviceChanged(false);
    ShowPorts(changes);
}

void VspPortCommands::ShowPorts(const VspPorts::Changes& changes) {
    for (const QString& name : changes.disconnected) supervision_.Forget(name);
    for (const QString& name : changes.connected) supervision_.Watch(name);
    ShowDeviceStatus();
    const QStringList texts = ports_.ItemTexts();
    if (texts != itemTexts_) {
        itemTexts_ = texts;
        frame_.ShowPortItems(texts);
    }
    emit portsChanged();
}

void VspPortCommands::ShowDeviceStatus() {
    std::set<uint32_t> linked;
    for (const VspPort& port : ports_.All()) {
        if (port.LinkedAsClient()) linked.insert(port.peerIp);
    }
    const auto show = [this](uint32_t address, const QString& word) {
        const int row = frame_.DmFindRowByIp(FormatDotted(address));
        if (row >= 0) frame_.DmSetStatusText(row, word);
    };
    for (uint32_t address : linked) {
        if (!devicesShownConnected_.count(address)) show(address, vspword::kConnected);
    }
    for (uint32_t address : devicesShownConnected_) {
        if (!linked.count(address)) show(address, vspword::kIdle);
    }
    devicesShownConnected_ = std::move(linked);
}

void VspPortCommands::SaveTable() {
    if (!listed_ || !serviceUp_) return;
    // Each save is a synced write: one that would not change the file is left out.
    std::vector<VspPortRecord> records = ports_.Records();
    if (records == savedRecords_ && QFile::exists(frame_.PortTablePath())) return;
    if (CVspPortTable::Save(records, frame_.Prompts(), frame_.PortTablePath()))
        savedRecords_ = std::move(records);
}

void VspPortCommands::Inform(const QString& text) {
    frame_.Prompts().Inform(text);
}

bool VspPortCommands::TellOpenFailure(uint32_t error) {
    if (error == winerr::kSuccess) return false;
    if (!Reached(error)) return true;
    Inform(error == winerr::kAccessDenied
               ? kStopTerminal
               : QString::asprintf("Open serial device failed (0x%x)\n", error));
    return true;
}

void VspPortCommands::ScanMtu() {
    minMtu_ = kDefaultMtu;
    for (uint32_t mtu : frame_.Net().Mtus()) minMtu_ = std::min(minMtu_, mtu & 0xFFFF);
}

uint32_t VspPortCommands::PacketSizeLimit(int32_t protocol) const {
    return minMtu_ - (protocol == 0 ? kTcpOverhead : kUdpOverhead);
}

std::vector<VspSupervisionHost::Watched> VspPortCommands::WatchedPorts() const {
    std::vector<Watched> watched;
    for (const VspPort& port : ports_.All()) {
        if (port.LinkedAsClient()) watched.push_back({port.name, port.peerIp});
    }
    return watched;
}

void VspPortCommands::OnProbeFailed(const QString& name) {
    ports_.SetSilent(name, true);
    emit portsChanged();
}

void VspPortCommands::OnVerdict(const QString& name, vsppoll::Verdict verdict) {
    switch (verdict) {
        case vsppoll::Verdict::kDisconnecting:
        case vsppoll::Verdict::kConnected:
            ports_.SetSilent(name, verdict == vsppoll::Verdict::kDisconnecting);
            ShowPorts({});
            break;
        case vsppoll::Verdict::kDisconnect:
            DisconnectSilent(name);
            break;
        case vsppoll::Verdict::kClose:
            Close(name);
            break;
    }
}

void VspPortCommands::DisconnectSilent(const QString& name) {
    const int row = ports_.RowOf(name);
    const uint32_t error = driver_.Disconnect(name);
    if (!Reached(error)) return;
    if (error != winerr::kSuccess) {
        const QDateTime now = QDateTime::currentDateTime();
        Inform(QString::asprintf(kDatedLine, now.date().day(), now.time().hour(),
                                 now.time().minute()) +
               QString::asprintf(kDisconnectionFailed, row, error));
    }
    Sync();
    SaveTable();
}
