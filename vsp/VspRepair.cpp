// The start-up repair: client ports that vsp.dat saved as connected but the service has not
// connected. Their devices are told the host's address at once; two seconds later every saved
// client port that connects at start and is still idle is reconnected, all at the same time.
#include "protocol/Address.h"
#include "protocol/ByteOrder.h"
#include "vsp/VspPortCommands.h"
#include "vsp/VspPortTable.h"

namespace {

// The saved client ports, by name.
template <typename Visit>
void ForEachSavedClient(const CVspPortTable& table, Visit visit) {
    const int count = std::min<int>(int(table.PortCount()), kVspMaxPorts);
    for (int index = 0; index < count; ++index) {
        const VspPortRecord& record = table.Record(index);
        if (record.clientMode == 1) visit(record);
    }
}

}  // namespace

void VspPortCommands::RunStartupRepair() {
    const CVspPortTable& table = frame_.PortTable();
    if (!table.TableLoaded() || !Sync()) return;
    bool reconnect = false;
    ForEachSavedClient(table, [&](const VspPortRecord& record) {
        const VspPort* port = ports_.Find(record.portName);
        if (record.status != vspword::kConnected || !port || port->config.connected != 0) return;
        std::array<uint8_t, 2> reportedPort{};
        bytes::PutBE16(reportedPort.data(), port->config.reportedPort);
        frame_.SendHostAnnouncement(FormatDotted(port->config.remoteIp), reportedPort);
        reconnect = reconnect || port->config.connectAtStart != 0;
    });
    if (reconnect) frame_.Timers().SetTimer(this, kReconnectTimer, kReconnectMs);
}

void VspPortCommands::Reconnect() {
    if (!Sync()) return;
    QStringList names;
    ForEachSavedClient(frame_.PortTable(), [&](const VspPortRecord& record) {
        const VspPort* port = ports_.Find(record.portName);
        if (port && port->link == VspLink::kIdle && port->config.connectAtStart != 0)
            names << port->name;
    });
    for (const QString& name : names) {
        // A port another program holds ends the pass, as the user has to act first.
        if (!Attempt(name, VspConnector::Origin::kRepair)) return;
    }
}
