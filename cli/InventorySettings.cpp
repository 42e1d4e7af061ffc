#include "cli/InventorySettings.h"

#include <QStringList>

#include "devcfg/NamedSettings.h"
#include "devcfg/SetupMapping.h"
#include "devcfg/SetupRules.h"
#include "protocol/Address.h"

namespace inventory {

namespace {

constexpr uint32_t kFirstMulticast = 0xE0000000u;
constexpr uint32_t kThisNetworkMask = 0xFF000000u;

}  // namespace

QStringList SettingNames() {
    return namedsettings::Names();
}

QString CheckSetting(const SettingInput& input, SettingValue& out) {
    namedsettings::Checked checked;
    const QString error = namedsettings::Check({input.key, input.number, input.text}, checked);
    out = {checked.index, input.line, checked.number, checked.text};
    return error;
}

void ApplySetting(DeviceSetupValues& values, const SettingValue& setting) {
    namedsettings::Apply(values, {setting.index, setting.number, setting.text});
}

void ApplyNetwork(DeviceSetupValues& values, const NetworkSpec& network) {
    const bool dhcp = network.dhcp.value_or(network.address ? false : values.dhcp == 1);
    values.dhcp = dhcp ? 1 : 0;
    values.dhcpClientFlag = dhcp;
    if (network.address) values.staticIp = FormatDotted(*network.address);
    if (network.netmask) values.subnetMask = FormatDotted(*network.netmask);
    if (network.gateway) values.gateway = FormatDotted(*network.gateway);
    if (network.dns) values.dnsServer = FormatDotted(*network.dns);
}

QString CheckDeviceName(const QString& name) {
    if (name.contains(' ')) return QStringLiteral("name:%1").arg(setupmsg::kNoSpaces);
    if (name.isEmpty() || name.size() > devrec::deviceName.width)
        return QStringLiteral("name has 1 to %1 characters").arg(devrec::deviceName.width);
    return {};
}

std::optional<uint32_t> ParseStrictAddress(const QString& text) {
    return ParseDottedQuad(text);
}

bool IsHostAddress(uint32_t address) {
    return (address & kThisNetworkMask) != 0 && address < kFirstMulticast;
}

bool IsNetmask(uint32_t mask) {
    return ::IsNetmask(mask);
}

}  // namespace inventory
