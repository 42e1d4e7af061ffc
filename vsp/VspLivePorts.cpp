#include "vsp/VspLivePorts.h"

#include <algorithm>

#include "protocol/Ipv4Address.h"
#include "vsp/VspDriver.h"

namespace {

const QString kNoConnection = QStringLiteral("#");

bool ServiceConnected(VspLink link) {
    return link == VspLink::kConnected || link == VspLink::kDisconnecting;
}

}  // namespace

QString StatusWord(VspLink link) {
    switch (link) {
        case VspLink::kIdle:
            return vspword::kIdle;
        case VspLink::kConnecting:
            return vspword::kConnecting;
        case VspLink::kConnected:
            return vspword::kConnected;
        case VspLink::kServer:
            return vspword::kServer;
        case VspLink::kDisconnecting:
            return vspword::kDisconnecting;
    }
    return {};
}

Rgb StatusBack(VspLink link) {
    switch (link) {
        case VspLink::kConnected:
        case VspLink::kServer:
            return kVspConnectedBack;
        case VspLink::kDisconnecting:
            return kVspDisconnectingBack;
        case VspLink::kIdle:
        case VspLink::kConnecting:
            break;
    }
    return kVspIdleBack;
}

bool VspPort::LinkedAsClient() const {
    return ServiceConnected(link) && Client() && peerIp != 0;
}

VspRow VspPort::Row() const {
    VspRow row;
    row.cells[VspRow::kPortIdColumn] = QString::number(portId);
    row.cells[VspRow::kNameColumn] = name;
    row.cells[VspRow::kStatusColumn] =
        held && link == VspLink::kIdle ? vspword::kHeld : StatusWord(link);
    const bool showsPeer = (ServiceConnected(link) || link == VspLink::kConnecting) && Client();
    if (showsPeer && peerIp != 0)
        row.cells[VspRow::kRemoteIpColumn] = Ipv4Address(peerIp).ToString();
    if (link != VspLink::kIdle && peerPort != 0)
        row.cells[VspRow::kRemotePortColumn] = QString::number(peerPort);
    row.cells[VspRow::kBytesOutColumn] = QString::number(bytesToNet);
    row.cells[VspRow::kBytesInColumn] = QString::number(bytesFromNet);
    row.cells[VspRow::kDiscardedColumn] = QString::number(dropped);
    row.back = StatusBack(link);
    return row;
}

QString VspPort::ItemText() const {
    QString suffix;
    if (LinkedAsClient()) {
        suffix = Ipv4Address(peerIp).ToString();
    } else if (ServiceConnected(link) || link == VspLink::kServer) {
        suffix = vspword::kServer;
    } else if (link == VspLink::kConnecting) {
        suffix = vspword::kConnecting;
    }
    return suffix.isEmpty() ? name : name + QStringLiteral(" (") + suffix + QLatin1Char(')');
}

VspPortRecord VspPort::Record(bool meantConnected) const {
    VspPortRecord r;
    r.portId = QString::number(portId);
    r.portName = r.treeName = name;
    r.remoteIp = config.remoteIp;
    r.remotePort = config.remotePort;
    r.protocol = config.protocol;
    r.connectAtStart = int32_t(config.connectAtStart);
    r.clientMode = Client() ? 1 : 0;
    r.enableVcom = int32_t(config.enableVcom);
    r.maxPacketSize = config.maxPacketSize;
    // An attempt under way is no connection yet: only the user's intent is repaired.
    const bool meant = meantConnected && Client();
    const VspLink saved = meant                          ? VspLink::kConnected
                          : link == VspLink::kConnecting ? VspLink::kIdle
                                                         : link;
    r.status = StatusWord(saved);
    if (saved == VspLink::kIdle) {
        r.remoteIpText = r.remotePortText = kNoConnection;
    } else if (meant && !ServiceConnected(link)) {
        r.remoteIpText = Ipv4Address(config.remoteIp).ToString();
        r.remotePortText = QString::number(config.remotePort);
    } else {
        const VspRow row = Row();
        r.remoteIpText = row.cells[VspRow::kRemoteIpColumn];
        r.remotePortText = row.cells[VspRow::kRemotePortColumn];
    }
    return r;
}

VspPort* VspLivePorts::Find(const QString& name) {
    auto it = std::find_if(ports_.begin(), ports_.end(),
                           [&](const VspPort& p) { return p.name == name; });
    return it == ports_.end() ? nullptr : &*it;
}

const VspPort* VspLivePorts::Find(const QString& name) const {
    return const_cast<VspLivePorts*>(this)->Find(name);
}

int VspLivePorts::RowOf(const QString& name) const {
    for (int row = 0; row < Count(); ++row) {
        if (At(row).name == name) return row;
    }
    return -1;
}

const VspPort* VspLivePorts::LinkedTo(uint32_t address, const QString& except) const {
    for (const VspPort& p : ports_) {
        const bool linked = p.LinkedAsClient() || (p.link == VspLink::kConnecting && p.Client());
        if (p.name != except && linked && p.peerIp == address) return &p;
    }
    return nullptr;
}

namespace {

// An attempt shows only while this program waits for it: one that the program cancelled may
// still run in the service for a moment.
VspLink LinkOf(vspd::PortState state) {
    switch (state) {
        case vspd::PortState::Connected:
            return VspLink::kConnected;
        case vspd::PortState::Listening:
            return VspLink::kServer;
        case vspd::PortState::Connecting:
        case vspd::PortState::Idle:
            break;
    }
    return VspLink::kIdle;
}

VspPort PortFrom(const VspInterface& entry, int portId, const VspPort* before) {
    VspPort port;
    port.name = entry.portName;
    port.devicePath = entry.devicePath;
    port.portId = portId;
    port.config = entry.info;
    port.held = entry.busy;
    port.bytesToNet = entry.bytesToNet;
    port.bytesFromNet = entry.bytesFromNet;
    port.dropped = entry.droppedToNet + entry.droppedFromNet;
    port.link = LinkOf(entry.state);
    port.attempting = before && before->attempting;
    if (port.attempting && port.link == VspLink::kIdle) port.link = VspLink::kConnecting;
    const bool wasConnected = before && ServiceConnected(before->link);
    port.silent = port.link == VspLink::kConnected && wasConnected && before->silent;
    if (port.silent) port.link = VspLink::kDisconnecting;
    // The peer is the service's: the one it is linked to, else the one it was told to reach.
    port.peerIp = entry.peerIp != 0 ? entry.peerIp : entry.info.remoteIp;
    port.peerPort = entry.peerIp != 0 ? entry.peerPort : entry.info.remotePort;
    if (port.link == VspLink::kServer) port.peerIp = 0;
    if (port.link == VspLink::kServer) port.peerPort = entry.info.remotePort;
    return port;
}

}  // namespace

VspLivePorts::Changes VspLivePorts::Take(const std::vector<VspInterface>& list) {
    std::vector<VspPort> taken;
    Changes changes;
    for (size_t k = 0; k < list.size(); ++k) {
        if (!CVspDriver::IsOurPort(list[k].devicePath, list)) continue;
        const VspPort* before = Find(list[k].portName);
        VspPort port = PortFrom(list[k], int(k), before);
        const bool was = before && ServiceConnected(before->link);
        if (ServiceConnected(port.link) && !was) changes.connected << port.name;
        if (!ServiceConnected(port.link) && was) changes.disconnected << port.name;
        taken.push_back(std::move(port));
    }
    for (const VspPort& old : ports_) {
        const bool gone = std::none_of(taken.begin(), taken.end(),
                                       [&](const VspPort& p) { return p.name == old.name; });
        if (gone && ServiceConnected(old.link)) changes.disconnected << old.name;
    }
    ports_ = std::move(taken);
    return changes;
}

void VspLivePorts::SetAttempting(const QString& name, bool on) {
    VspPort* port = Find(name);
    if (!port) return;
    port->attempting = on;
    if (on && port->link == VspLink::kIdle) port->link = VspLink::kConnecting;
    if (!on && port->link == VspLink::kConnecting) port->link = VspLink::kIdle;
}

void VspLivePorts::SetSilent(const QString& name, bool on) {
    VspPort* port = Find(name);
    if (!port || !ServiceConnected(port->link)) return;
    port->silent = on;
    port->link = on ? VspLink::kDisconnecting : VspLink::kConnected;
}

QStringList VspLivePorts::ItemTexts() const {
    QStringList texts;
    for (const VspPort& p : ports_) texts << p.ItemText();
    return texts;
}

std::vector<VspPortRecord> VspLivePorts::Records(const std::set<QString>& meantConnected) const {
    std::vector<VspPortRecord> records;
    for (const VspPort& p : ports_) records.push_back(p.Record(meantConnected.count(p.name) != 0));
    return records;
}
