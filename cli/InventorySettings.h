#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "cli/Inventory.h"
#include "platform/NetInterfaces.h"

// The settings an inventory names, by the names the setup sheet shows them under, with the
// ranges and lists the sheet itself uses.
namespace inventory {

struct SettingInput {
    QString key;
    int line = 0;
    std::optional<int64_t> number;
    std::optional<QString> text;
};

// One change in the inventory's own words: its key and the values as the file writes them.
struct SettingChange {
    QString setting;
    QString old;
    QString now;
    QString Text() const { return QStringLiteral("%1: %2 -> %3").arg(setting, old, now); }
};

// What differs between two setup sheets: the name, the network's keys and the named settings
// as the inventory names them, then anything else as the setting file describes it.
std::vector<SettingChange> Changes(const DeviceSetupValues& before, const DeviceSetupValues& after);

// Checks one named setting; the reason it is refused, or empty with `out` set.
QString CheckSetting(const SettingInput& input, SettingValue& out);
void ApplySetting(DeviceSetupValues& values, const SettingValue& setting);
void ApplyNetwork(DeviceSetupValues& values, const NetworkSpec& network);

// The reason a device name is refused, or empty.
QString CheckDeviceName(const QString& name);

// Why `address` cannot be a device's: it names no single host, or it is the network or
// broadcast address of the subnet `netmask` (0 when unknown) makes or of one of `subnets` (the
// host's own). Empty when it can.
QString WhyNotDeviceAddress(uint32_t address, uint32_t netmask,
                            const std::vector<AdapterInfo>& subnets);

}  // namespace inventory
