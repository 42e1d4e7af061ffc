#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "cli/Inventory.h"

// The settings an inventory names, by the names the setup sheet shows them under, with the
// ranges and lists the sheet itself uses.
namespace inventory {

struct SettingInput {
    QString key;
    int line = 0;
    std::optional<int64_t> number;
    std::optional<QString> text;
};

// Checks one named setting; the reason it is refused, or empty with `out` set.
QString CheckSetting(const SettingInput& input, SettingValue& out);
void ApplySetting(DeviceSetupValues& values, const SettingValue& setting);
void ApplyNetwork(DeviceSetupValues& values, const NetworkSpec& network);

// The reason a device name is refused, or empty.
QString CheckDeviceName(const QString& name);

// Four decimal parts of 0-255 and nothing else.
std::optional<uint32_t> ParseStrictAddress(const QString& text);
// Neither 0.x.x.x, nor multicast, nor reserved, nor the limited broadcast.
bool IsHostAddress(uint32_t address);
// Ones, then zeros.
bool IsNetmask(uint32_t mask);

}  // namespace inventory
