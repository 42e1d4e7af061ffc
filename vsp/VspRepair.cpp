// The repair: client ports that the user means to be connected (as vsp.dat saved them, or as
// connected since) while the service has them idle. At start-up their devices are told the
// host's address at once; two seconds after start-up, and after every return of the service,
// each such port that connects at start is reconnected, all at the same time. A pass that
// fails is tried again later, each time after twice the wait, until the user closes the port.
#include "protocol/ByteOrder.h"
#include "protocol/Ipv4Address.h"
#include "vsp/VspDatFile.h"
#include "vsp/VspPortCommands.h"

void VspPortCommands::Start() {
    TakeSavedIntent();
    supervision_.Start(frame_.VspSettings().connectionCheck);
    frame_.Timers().SetTimer(this, kServiceWatchTimer, kServiceWatchMs);
}

void VspPortCommands::TakeSavedIntent() {
    const CVspDatFile& table = frame_.PortTable();
    const int count = std::min<int>(int(table.PortCount()), kVspMaxPorts);
    for (int index = 0; index < count; ++index) {
        const VspPortRecord& record = table.Record(index);
        if (record.clientMode == 1 && record.status == vspword::kConnected)
            intent_.insert(record.portName);
    }
}

void VspPortCommands::RunStartupRepair() {
    if (!frame_.PortTable().TableLoaded()) return;
    TakeSavedIntent();
    RepairFlow();
}

VspTask VspPortCommands::RepairFlow() {
    // A service that is down now starts the repair when it comes back.
    auto request = service_.Ask(VspList);
    const VspListed listed = co_await request;
    if (!Take(listed)) co_return;
    bool reconnect = false;
    for (const QString& name : intent_) {
        const VspPort* port = ports_.Find(name);
        if (!port || !port->Client() || port->config.connected != 0) continue;
        std::array<uint8_t, 2> reportedPort{};
        bytes::PutBE16(reportedPort.data(), port->config.reportedPort);
        frame_.SendHostAnnouncement(Ipv4Address(port->config.remoteIp).ToString(), reportedPort);
        reconnect = reconnect || port->config.connectAtStart != 0;
    }
    if (reconnect) RepairLater(kReconnectMs);
}

void VspPortCommands::RepairLater(int delayMs) {
    if (!intent_.empty() && !frame_.Timers().IsRunning(this, kReconnectTimer))
        frame_.Timers().SetTimer(this, kReconnectTimer, delayMs);
}

void VspPortCommands::RepairAfterFailure() {
    if (frame_.Timers().IsRunning(this, kReconnectTimer)) return;
    repairBackOffMs_ = std::min(repairBackOffMs_ * 2, kRepairBackOffMaxMs);
    RepairLater(repairBackOffMs_);
}

void VspPortCommands::Reconnect() {
    ReconnectFlow();
}

VspTask VspPortCommands::ReconnectFlow() {
    auto request = service_.Ask(VspList);
    const VspListed listed = co_await request;
    if (!Take(listed)) co_return;
    QStringList names;
    for (const QString& name : intent_) {
        const VspPort* port = ports_.Find(name);
        // A port another program holds waits for the user; one with a command under way
        // for its answer.
        if (port && port->Client() && port->link == VspLink::kIdle && !port->held &&
            port->config.connectAtStart != 0 && !Working(name) && !connector_.Running(name))
            names << name;
    }
    if (names.isEmpty()) repairBackOffMs_ = kReconnectMs;
    for (const QString& name : names) {
        if (BeginWork(name)) AttemptFlow(name, VspConnector::Origin::kRepair, std::nullopt);
    }
}
