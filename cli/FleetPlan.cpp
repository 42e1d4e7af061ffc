#include "cli/FleetPlan.h"

#include <algorithm>

#include "cli/CliCommand.h"
#include "cli/CliRestartCheck.h"
#include "cli/CliTargets.h"
#include "cli/InventorySettings.h"
#include "devcfg/SetupMapping.h"
#include "devcfg/SetupRules.h"
#include "protocol/Ipv4Address.h"
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
    if (plan.setup) plan.settingChanges = inventory::Changes(before, after);
    plan.address = after.dhcp == 1
                       ? Ipv4Address::Parse(device.ip).value_or(Ipv4Address()).HostOrder()
                       : SheetAddress(after.staticIp);
    if (after.dhcp != 1)
        if (const QString why = inventory::WhyNotDeviceAddress(
                plan.address, SheetAddress(after.subnetMask), observed.subnets);
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
        const int line =
            one.entry->network.addressLine > 0 ? one.entry->network.addressLine : one.entry->line;
        const QString address = Ipv4Address(one.address).ToString();
        for (const CliDevice& other : observed.devices)
            if (other.mac != one.device->mac && other.ip == address)
                problems.push_back({line, QStringLiteral("%1: address %2 is that of %3 now")
                                              .arg(one.device->mac, address, other.mac)});
        for (const DevicePlan& other : plan.devices)
            if (&other < &one && other.device && other.address == one.address)
                problems.push_back({line, QStringLiteral("%1: address %2 is also the one of %3")
                                              .arg(one.device->mac, address, other.device->mac)});
    }
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
    static const char* const kStates[] = {"idle", "connecting", "connected", "listening"};
    const auto state = static_cast<size_t>(port->state);
    steps.before = QStringLiteral("%1: %2 %3 %4:%5, %6")
                       .arg(spec.com,
                            info.protocol == vspd::kProtocolUdp ? QStringLiteral("udp")
                                                                : QStringLiteral("tcp"),
                            info.mode == 1 ? QStringLiteral("client") : QStringLiteral("server"),
                            Ipv4Address(info.remoteIp).ToString())
                       .arg(info.remotePort)
                       .arg(QLatin1String(state < std::size(kStates) ? kStates[state] : "?"));
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

QString Limit(Plan& plan, const QStringList& limits) {
    const auto names = [](const DevicePlan& one, const QString& limit) {
        const inventory::DeviceEntry& entry = *one.entry;
        if (const std::optional<CliMac> mac = ParseMac(limit)) return *mac == entry.mac;
        const QString name = entry.name.value_or(
            one.device ? one.device->record.Get(devrec::deviceName) : QString());
        return limit == name || (!entry.group.isEmpty() && limit == entry.group);
    };
    for (const QString& limit : limits)
        if (std::none_of(plan.devices.begin(), plan.devices.end(),
                         [&](const DevicePlan& one) { return names(one, limit); }))
            return limit;
    std::erase_if(plan.devices, [&](const DevicePlan& one) {
        return std::none_of(limits.begin(), limits.end(),
                            [&](const QString& limit) { return names(one, limit); });
    });
    return {};
}

}  // namespace fleet
