// The port table's side of the commands: following the service, telling the user and the
// other views, and what supervision finds.
#include "vsp/VspPortCommands.h"

#include <QDateTime>
#include <QFile>

#include "platform/NetInterfaces.h"
#include "platform/UserPrompts.h"
#include "protocol/Ipv4Address.h"
#include "vsp/VspDatFile.h"
#include "vsp/VspDriver.h"
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

VspListed VspList(VspServiceTools& tools) {
    VspListed listed;
    auto list = tools.driver.Enumerate(&listed.error);
    if (list) listed.ports = std::move(*list);
    return listed;
}

VspPortCommands::VspPortCommands(VspFrame& frame, QObject* parent)
    : QObject(parent),
      frame_(frame),
      supervision_(*this, frame.Timers()),
      watch_(frame.VspDriver().SocketPath()),
      service_(frame) {
    connect(&connector_, &VspConnector::finished, this, &VspPortCommands::OnAttemptFinished);
    connect(&service_, &VspService::late, this, &VspPortCommands::NotAnswering);
    // The watch session ends when the service goes: the list says whether it came back.
    connect(&watch_, &VspServiceWatch::ended, this, [this] {
        watchEnded_ = true;
        Sync();
    });
}

VspPortCommands::~VspPortCommands() {
    frame_.Timers().KillAll(this);
}

bool VspPortCommands::Settled() const {
    return service_.Pending() == 0 && connector_.RunningCount() == 0 && working_.empty();
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

void VspPortCommands::Sync() {
    if (!syncing_) SyncFlow();
}

VspTask VspPortCommands::SyncFlow() {
    syncing_ = true;
    auto request = service_.Ask(VspList);
    const VspListed listed = co_await request;
    syncing_ = false;
    Take(listed);
}

bool VspPortCommands::Take(const VspListed& listed) {
    if (listed.error != winerr::kSuccess) {
        Reached(listed.error);
        return false;
    }
    // A watch that ended while the list still answers: the service came back at once.
    const bool restarted = watchEnded_ && serviceUp_ && listed_;
    watchEnded_ = false;
    watch_.Open();
    listed_ = true;
    if (!answering_ && serviceUp_) {
        frame_.AddLog(kAnsweringAgain);
        emit statusText(kAnsweringAgain);
    }
    answering_ = true;
    ShowPorts(ports_.Take(listed.ports));
    if (!serviceUp_) {
        ServiceBack();
    } else if (restarted) {
        frame_.AddLog(kRestarted);
        emit statusText(kRestarted);
        RepairLater(kReconnectMs);
    }
    return true;
}

bool VspPortCommands::Reached(uint32_t error) {
    if (error == winerr::kServiceNotActive) {
        ServiceLost();
        return false;
    }
    // A request that got no answer in the client's time: the service is slow, not gone.
    if (error == winerr::kGenFailure) {
        NotAnswering();
        return false;
    }
    return true;
}

void VspPortCommands::NotAnswering() {
    if (!answering_ || !serviceUp_) return;
    answering_ = false;
    frame_.AddLog(kNotAnswering);
    emit statusText(kNotAnswering);
    emit portsChanged();
}

void VspPortCommands::ServiceLost() {
    if (!serviceUp_) return;
    serviceUp_ = false;
    // The ports went with the service; the table on disk keeps them for its return.
    VspLivePorts::Changes changes;
    for (const VspPort& port : ports_.All()) changes.disconnected << port.name;
    ports_.Clear();
    frame_.Timers().SetTimer(this, kServiceWatchTimer, kServiceRetryMs);
    frame_.Timers().KillTimer(this, kReconnectTimer);
    frame_.AddLog(kServiceDown);
    emit statusText(kServiceDownStatus);
    emit serviceChanged(false);
    ShowPorts(changes);
}

void VspPortCommands::ServiceBack() {
    serviceUp_ = true;
    frame_.Timers().SetTimer(this, kServiceWatchTimer, kServiceWatchMs);
    frame_.AddLog(kServiceBack);
    emit statusText(kServiceBack);
    emit serviceChanged(true);
    RepairLater(kReconnectMs);
}

void VspPortCommands::ShowPorts(const VspLivePorts::Changes& changes) {
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
        const int row = frame_.DmFindRowByIp(Ipv4Address(address).ToString());
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
    std::vector<VspPortRecord> records = ports_.Records(intent_);
    if (records == savedRecords_ && QFile::exists(frame_.PortTablePath())) return;
    if (CVspDatFile::Save(records, frame_.Prompts(), frame_.PortTablePath()))
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

bool VspPortCommands::BeginWork(const QString& name) {
    if (!working_.insert(name).second) return false;
    ShowPorts({});
    return true;
}

void VspPortCommands::EndWork(const QString& name) {
    working_.erase(name);
    ShowPorts({});
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

void VspPortCommands::OnProbesUnavailable(const QString& why) {
    if (probesTold_) return;
    probesTold_ = true;
    frame_.AddLog(why);
}

void VspPortCommands::OnVerdict(const QString& name, vsppoll::Verdict verdict) {
    switch (verdict) {
        case vsppoll::Verdict::kDisconnecting:
        case vsppoll::Verdict::kConnected:
            ports_.SetSilent(name, verdict == vsppoll::Verdict::kDisconnecting);
            ShowPorts({});
            break;
        case vsppoll::Verdict::kDisconnect:
            if (!BeginWork(name)) break;
            supervision_.Hold();
            DisconnectSilentFlow(name);
            break;
        case vsppoll::Verdict::kClose:
            // The device ended the link itself: nothing is left to repair.
            intent_.erase(name);
            if (!BeginWork(name)) break;
            supervision_.Hold();
            CloseFlow(name, true);
            break;
    }
}

VspTask VspPortCommands::DisconnectSilentFlow(QString name) {
    const int row = ports_.RowOf(name);
    auto request = service_.Ask([name](VspServiceTools& tools) {
        return VspOutcome{tools.driver.Disconnect(name), VspList(tools)};
    });
    const VspOutcome outcome = co_await request;
    EndWork(name);
    if (!Reached(outcome.error)) {
        supervision_.Release();
        co_return;
    }
    if (outcome.error != winerr::kSuccess) {
        const QDateTime now = QDateTime::currentDateTime();
        Inform(QString::asprintf(kDatedLine, now.date().day(), now.time().hour(),
                                 now.time().minute()) +
               QString::asprintf(kDisconnectionFailed, row, outcome.error));
    }
    supervision_.Release();
    Take(outcome.listed);
    SaveTable();
    // The device may come back: the repair keeps trying while the user means the link.
    RepairLater(kReconnectMs);
}
