#include "cli/InventorySettings.h"

#include <QRegularExpression>
#include <QStringList>

#include "cli/CliCommand.h"
#include "devcfg/NamedSettings.h"
#include "devcfg/SetupMapping.h"
#include "devcfg/SetupRules.h"
#include "protocol/Ipv4Address.h"
#include "protocol/OneHost.h"

namespace inventory {

namespace {

// The setting file's description without its legend of list positions.
QString Described(const QString& line) {
    static const QRegularExpression legend(QStringLiteral(",\\s*0:.*$"));
    return QString(line).remove(legend).trimmed();
}

// The lines of the setting file that differ beyond what the inventory names.
void OtherChanges(DeviceSetupValues rest, const DeviceSetupValues& after,
                  std::vector<SettingChange>& changes) {
    for (int i = 0; i < namedsettings::Count(); ++i)
        namedsettings::Apply(rest, namedsettings::Read(after, i));
    rest.deviceName = after.deviceName;
    rest.dhcp = after.dhcp;
    rest.dhcpClientFlag = after.dhcpClientFlag;
    rest.staticIp = after.staticIp;
    rest.subnetMask = after.subnetMask;
    rest.gateway = after.gateway;
    rest.dnsServer = after.dnsServer;
    for (const QString& line : ChangedLines(rest, after)) {
        const qsizetype arrow = line.lastIndexOf(QLatin1String(" -> "));
        const qsizetype colon = line.lastIndexOf(QLatin1String(": "), arrow);
        if (arrow < 0 || colon < 0) continue;
        changes.push_back({Described(line.left(colon)), line.mid(colon + 2, arrow - colon - 2),
                           line.mid(arrow + 4)});
    }
}

}  // namespace

std::vector<SettingChange> Changes(const DeviceSetupValues& before,
                                   const DeviceSetupValues& after) {
    std::vector<SettingChange> changes;
    const auto add = [&changes](const QString& key, const QString& old, const QString& now) {
        if (old != now) changes.push_back({key, old, now});
    };
    const auto flag = [](int dhcp) {
        return dhcp == 1 ? QStringLiteral("true") : QStringLiteral("false");
    };
    add(QStringLiteral("name"), before.deviceName, after.deviceName);
    add(QStringLiteral("dhcp"), flag(before.dhcp), flag(after.dhcp));
    add(QStringLiteral("address"), before.staticIp, after.staticIp);
    add(QStringLiteral("netmask"), before.subnetMask, after.subnetMask);
    add(QStringLiteral("gateway"), before.gateway, after.gateway);
    add(QStringLiteral("dns"), before.dnsServer, after.dnsServer);
    const QStringList names = namedsettings::Names();
    for (int i = 0; i < namedsettings::Count(); ++i)
        add(names[i], namedsettings::Shown(namedsettings::Read(before, i)),
            namedsettings::Shown(namedsettings::Read(after, i)));
    OtherChanges(before, after, changes);
    return changes;
}

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
    if (network.address) values.staticIp = Ipv4Address(*network.address).ToString();
    if (network.netmask) values.subnetMask = Ipv4Address(*network.netmask).ToString();
    if (network.gateway) values.gateway = Ipv4Address(*network.gateway).ToString();
    if (network.dns) values.dnsServer = Ipv4Address(*network.dns).ToString();
}

QString CheckDeviceName(const QString& name) {
    if (name.contains(' ')) return QStringLiteral("name:%1").arg(setupmsg::kNoSpaces);
    if (name.isEmpty() || name.size() > devrec::deviceName.width)
        return QStringLiteral("name has 1 to %1 characters").arg(devrec::deviceName.width);
    return {};
}

QString WhyNotDeviceAddress(uint32_t address, uint32_t netmask,
                            const std::vector<AdapterInfo>& subnets) {
    return WhyNotOneHost(Ipv4Address(address), subnets, Ipv4Address(netmask));
}

}  // namespace inventory
