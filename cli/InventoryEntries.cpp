#include <QStringList>
#include <map>

#include "cli/Inventory.h"
#include "cli/InventorySettings.h"
#include "devcfg/DeviceSettingFile.h"
#include "devmgr/DmDeviceTable.h"
#include "protocol/Ipv4Address.h"

namespace inventory {

// Two entries for one device, one address or one port, found after every entry was read.
void CheckAcrossDevices(const std::vector<DeviceEntry>& devices, std::vector<Problem>& problems) {
    std::map<Mac, int> macs;
    std::map<uint32_t, int> addresses;
    std::map<QString, int> ports;
    for (const DeviceEntry& entry : devices) {
        if (auto [it, added] = macs.emplace(entry.mac, entry.line); !added)
            problems.push_back(
                {entry.line,
                 QStringLiteral("%1 is also at line %2").arg(MacText(entry.mac)).arg(it->second)});
        if (entry.network.address)
            if (auto [it, added] = addresses.emplace(*entry.network.address, entry.line); !added)
                problems.push_back(
                    {entry.network.addressLine,
                     QStringLiteral("address %1 is also that of the device at line %2")
                         .arg(Ipv4Address(*entry.network.address).ToString())
                         .arg(it->second)});
        if (entry.port)
            if (auto [it, added] = ports.emplace(entry.port->com, entry.port->line); !added)
                problems.push_back({entry.port->line, QStringLiteral("%1 is also mapped at line %2")
                                                          .arg(entry.port->com)
                                                          .arg(it->second)});
    }
}

QStringList FormatProblems(const QString& path, const std::vector<Problem>& problems) {
    QStringList lines;
    for (const Problem& problem : problems)
        lines << (problem.line > 0
                      ? QStringLiteral("%1:%2: %3").arg(path).arg(problem.line).arg(problem.reason)
                      : QStringLiteral("%1: %2").arg(path, problem.reason));
    return lines;
}

DeviceSetupValues Intended(const DeviceEntry& entry, DeviceSetupValues current) {
    DeviceSetupValues values = current;
    if (!entry.settingFileText.isEmpty()) {
        settingfile::Load(entry.settingFileText, values);
        // A setting file serves many devices: what identifies one stays the device's own.
        values.deviceName = current.deviceName;
        values.dhcp = current.dhcp;
        values.dhcpClientFlag = current.dhcpClientFlag;
        values.currentIp = current.currentIp;
        values.staticIp = current.staticIp;
    }
    for (const SettingValue& setting : entry.settings) ApplySetting(values, setting);
    if (entry.name) values.deviceName = *entry.name;
    ApplyNetwork(values, entry.network);
    return values;
}

QString MacText(const Mac& mac) {
    DeviceConfigRecord record;
    record.SetMacAddress(mac);
    return DmDeviceTable::MacText(record);
}

}  // namespace inventory
