#include "cli/FleetPlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "cli/CliCommand.h"
#include "cli/CliRestartCheck.h"
#include "cli/InventorySettings.h"
#include "devcfg/SetupMapping.h"
#include "protocol/Address.h"
#include "vsp/VspPortCommands.h"

namespace fleet {

namespace {

const CliDevice* FindByMac(const std::vector<CliDevice>& devices, const inventory::Mac& mac,
                           int* row) {
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].record.MacAddress() == mac) {
            *row = static_cast<int>(i);
            return &devices[i];
        }
    return nullptr;
}

void PlanDevice(DevicePlan& plan, const CliDevice& device, const Observed& observed,
                std::vector<inventory::Problem>& problems) {
    const inventory::DeviceEntry& entry = *plan.entry;
    DeviceSetupValues before;
    FillSetupValues(before, device.record, plan.row);
    const DeviceSetupValues after = inventory::Intended(entry, before);
    const SetupBuild build = BuildSetupRecord(after, device.record.MacAddress());
    for (const QString& error : build.errors)
        problems.push_back({entry.line, QStringLiteral("%1: %2").arg(device.mac, error.trimmed())});
    plan.intended = build.command;
    plan.setup = !ReportsCommand(device.record, plan.intended, plan.row);
    if (plan.setup) plan.settingChanges = ChangedLines(before, after);
    plan.address = after.dhcp == 1 ? ParseDottedAddress(device.ip) : InetAddr(after.staticIp);
    if (after.dhcp != 1)
        if (const QString why = inventory::WhyNotDeviceAddress(
                plan.address, InetAddr(after.subnetMask), observed.subnets);
            !why.isEmpty())
            problems.push_back(
                {entry.network.addressLine > 0 ? entry.network.addressLine : entry.line,
                 QStringLiteral("%1: address: %2").arg(device.mac, why)});
    if (entry.firmware) {
        const auto version = observed.versions.find(device.ip);
        if (version != observed.versions.end()) plan.reportedVersion = version->second;
        plan.upgrade = plan.reportedVersion != entry.firmware->version;
    }
    if (entry.port)
        plan.port = PortStepsFor(*entry.port, plan.address, after,
                                 observed.ports ? &*observed.ports : nullptr);
}

// An address the inventory gives a device must be free of every other device's.
void CheckCollisions(const Plan& plan, const Observed& observed,
                     std::vector<inventory::Problem>& problems) {
    for (const DevicePlan& one : plan.devices) {
        if (!one.device) continue;
        const QString address = FormatDotted(one.address);
        for (const CliDevice& other : observed.devices)
            if (other.mac != one.device->mac && other.ip == address)
                problems.push_back(
                    {one.entry->line, QStringLiteral("%1: address %2 is that of %3 now")
                                          .arg(one.device->mac, address, other.mac)});
        for (const DevicePlan& other : plan.devices)
            if (&other < &one && other.device && other.address == one.address)
                problems.push_back(
                    {one.entry->line, QStringLiteral("%1: address %2 is also the one of %3")
                                          .arg(one.device->mac, address, other.device->mac)});
    }
}

QString StatusText(const DevicePlan& plan) {
    if (!plan.device) return QStringLiteral("not found by the search");
    return plan.Changes() ? QStringLiteral("would change") : QStringLiteral("unchanged");
}

QString FirmwareText(const DevicePlan& plan) {
    const QString reported =
        plan.reportedVersion.isEmpty() ? QStringLiteral("(no status reply)") : plan.reportedVersion;
    return QStringLiteral("firmware: %1 -> %2").arg(reported, plan.entry->firmware->version);
}

}  // namespace

bool Plan::Changes() const {
    return std::any_of(devices.begin(), devices.end(),
                       [](const DevicePlan& plan) { return plan.Changes(); });
}

PortSteps PortStepsFor(const inventory::PortSpec& spec, uint32_t address,
                       const DeviceSetupValues& values, const std::vector<VspInterface>* ports) {
    PortSteps steps;
    steps.config.remoteIp = address;
    steps.config.remotePort =
        static_cast<uint16_t>(spec.client ? values.listenPort : values.destinationPort);
    steps.config.protocol = spec.udp ? vspd::kProtocolUdp : vspd::kProtocolTcp;
    steps.config.connectAtStart = 1;
    steps.config.mode = spec.client ? 1 : 0;
    steps.config.maxPacketSize = VspPortCommands::kNewPortPacketSize;
    const VspInterface* port = nullptr;
    if (ports)
        for (const VspInterface& one : *ports)
            if (one.portName == spec.com) port = &one;
    if (!port) {
        steps.add = steps.configure = steps.connect = true;
        return steps;
    }
    const vspd::RemoteInfoReply& info = port->info;
    steps.configure = info.remoteIp != steps.config.remoteIp ||
                      info.remotePort != steps.config.remotePort ||
                      info.protocol != steps.config.protocol || info.mode != steps.config.mode ||
                      info.connectAtStart == 0;
    const vspd::PortState wanted =
        spec.client ? vspd::PortState::Connected : vspd::PortState::Listening;
    steps.connect = steps.configure || port->state != wanted;
    return steps;
}

Plan MakePlan(const std::vector<inventory::DeviceEntry>& entries, const Observed& observed) {
    Plan plan;
    for (const inventory::DeviceEntry& entry : entries) {
        DevicePlan one;
        one.entry = &entry;
        if (const CliDevice* device = FindByMac(observed.devices, entry.mac, &one.row)) {
            one.device = *device;
            PlanDevice(one, *device, observed, plan.problems);
        }
        plan.devices.push_back(std::move(one));
    }
    for (const CliDevice& device : observed.devices)
        if (std::none_of(entries.begin(), entries.end(), [&](const inventory::DeviceEntry& e) {
                return e.mac == device.record.MacAddress();
            }))
            plan.others.push_back(device);
    CheckCollisions(plan, observed, plan.problems);
    return plan;
}

QString PortText(const inventory::PortSpec& spec, const PortSteps& steps) {
    QStringList parts;
    if (steps.add) parts << QStringLiteral("add");
    if (steps.configure)
        parts << QStringLiteral("configure %1 %2 %3:%4")
                     .arg(spec.udp ? QStringLiteral("udp") : QStringLiteral("tcp"),
                          spec.client ? QStringLiteral("client") : QStringLiteral("server"),
                          FormatDotted(steps.config.remoteIp))
                     .arg(steps.config.remotePort);
    if (steps.connect)
        parts << (spec.client ? QStringLiteral("connect") : QStringLiteral("listen"));
    return QStringLiteral("port %1: %2").arg(spec.com, parts.join(QStringLiteral(", ")));
}

QString FormatPlan(const Plan& plan, bool json) {
    QJsonArray array;
    QString text;
    for (const DevicePlan& one : plan.devices) {
        const QString mac = inventory::MacText(one.entry->mac);
        const QString ip = one.device ? one.device->ip : QString();
        QStringList lines = one.settingChanges;
        if (one.upgrade) lines << FirmwareText(one);
        if (one.entry->port && one.port.Any()) lines << PortText(*one.entry->port, one.port);
        QJsonObject object{{QStringLiteral("mac"), mac},
                           {QStringLiteral("ip"), ip},
                           {QStringLiteral("result"), StatusText(one)}};
        if (one.setup)
            object[QStringLiteral("settings")] = QJsonArray::fromStringList(one.settingChanges);
        if (one.upgrade)
            object[QStringLiteral("firmware")] =
                QJsonObject{{QStringLiteral("reported"), one.reportedVersion},
                            {QStringLiteral("wanted"), one.entry->firmware->version}};
        if (one.entry->port && one.port.Any())
            object[QStringLiteral("port")] = PortText(*one.entry->port, one.port);
        array.append(object);
        text += QStringLiteral("%1 %2 %3\n")
                    .arg(mac, ip.isEmpty() ? QStringLiteral("-") : ip, StatusText(one));
        for (const QString& line : lines) text += QStringLiteral("  %1\n").arg(line);
    }
    const QString left = QStringLiteral("not in the inventory (left alone)");
    for (const CliDevice& other : plan.others) {
        array.append(QJsonObject{{QStringLiteral("mac"), other.mac},
                                 {QStringLiteral("ip"), other.ip},
                                 {QStringLiteral("result"), left}});
        text += QStringLiteral("%1 %2 %3\n").arg(other.mac, other.ip, left);
    }
    return json ? QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)) : text;
}

}  // namespace fleet
