#include "cli/InventorySettings.h"

#include <QRegularExpression>
#include <QStringList>
#include <array>
#include <vector>

#include "cli/CliCommand.h"
#include "devcfg/SetupMapping.h"
#include "devcfg/SetupRules.h"
#include "devcfg/ValueLists.h"
#include "protocol/Address.h"
#include "protocol/OneHost.h"

namespace inventory {

namespace {

using V = DeviceSetupValues;

constexpr int kOctets = 4;
constexpr uint32_t kOctetMax = 255;
constexpr int kOctetBits = 8;

enum class Kind {
    kNumber,  // an unsigned number within `limits`
    kList,    // a value of `list`, kept as its position
    kChoice,  // one of `choices`, kept as its position
    kText,    // at most `width` characters, no spaces
};

struct NamedSetting {
    const char* key;
    Kind kind;
    void (*apply)(V&, const SettingValue&);
    SettingValue (*read)(const V&);  // the setting as `apply` takes it
    NumberLimits limits{};
    const ValueList* list = nullptr;
    std::vector<const char*> choices{};
    int width = 0;
};

// The README's list, in the same order.
const std::array<NamedSetting, 12> kSettings{{
    {"operating_mode",
     Kind::kChoice,
     [](V& v, const SettingValue& s) { v.operationMode = static_cast<int>(s.number); },
     [](const V& v) {
         return SettingValue{0, 0, static_cast<uint32_t>(v.operationMode), {}};
     },
     {},
     nullptr,
     {"socket", "vcom", "rfc2217", "modbus_gateway"}},
    {"role",
     Kind::kChoice,
     [](V& v, const SettingValue& s) { v.clientMode = s.number == 1; },
     [](const V& v) {
         return SettingValue{0, 0, v.clientMode ? 1u : 0u, {}};
     },
     {},
     nullptr,
     {"server", "client"}},
    {"protocol",
     Kind::kChoice,
     [](V& v, const SettingValue& s) {
         v.udp = s.number == 1;
         v.tcp = s.number == 0;
     },
     [](const V& v) {
         return SettingValue{0, 0, v.udp ? 1u : 0u, {}};
     },
     {},
     nullptr,
     {"tcp", "udp"}},
    {"data_listening_port", Kind::kNumber,
     [](V& v, const SettingValue& s) { v.listenPort = s.number; },
     [](const V& v) {
         return SettingValue{0, 0, v.listenPort, {}};
     },
     limits::kPort},
    {"destination_port", Kind::kNumber,
     [](V& v, const SettingValue& s) { v.destinationPort = s.number; },
     [](const V& v) {
         return SettingValue{0, 0, v.destinationPort, {}};
     },
     limits::kPort},
    {"destination_host",
     Kind::kText,
     [](V& v, const SettingValue& s) { v.destinationHost = s.text; },
     [](const V& v) {
         return SettingValue{0, 0, 0, v.destinationHost};
     },
     {},
     nullptr,
     {},
     devrec::destinationHost.width},
    {"transmission_timer", Kind::kNumber,
     [](V& v, const SettingValue& s) { v.transmitTimer = s.number; },
     [](const V& v) {
         return SettingValue{0, 0, v.transmitTimer, {}};
     },
     limits::kTransmitTimer},
    {"baud_rate",
     Kind::kList,
     [](V& v, const SettingValue& s) { v.baudRate = static_cast<int>(s.number); },
     [](const V& v) {
         return SettingValue{0, 0, static_cast<uint32_t>(v.baudRate), {}};
     },
     {},
     &lists::baudRate},
    {"data_bits",
     Kind::kList,
     [](V& v, const SettingValue& s) { v.dataBits = static_cast<int>(s.number); },
     [](const V& v) {
         return SettingValue{0, 0, static_cast<uint32_t>(v.dataBits), {}};
     },
     {},
     &lists::dataBits},
    {"parity",
     Kind::kChoice,
     [](V& v, const SettingValue& s) { v.parity = static_cast<int>(s.number); },
     [](const V& v) {
         return SettingValue{0, 0, static_cast<uint32_t>(v.parity), {}};
     },
     {},
     nullptr,
     {"none", "odd", "even"}},
    {"stop_bits",
     Kind::kList,
     [](V& v, const SettingValue& s) { v.stopBits = static_cast<int>(s.number); },
     [](const V& v) {
         return SettingValue{0, 0, static_cast<uint32_t>(v.stopBits), {}};
     },
     {},
     &lists::stopBits},
    {"flow_control",
     Kind::kChoice,
     [](V& v, const SettingValue& s) { v.flowControl = static_cast<int>(s.number); },
     [](const V& v) {
         return SettingValue{0, 0, static_cast<uint32_t>(v.flowControl), {}};
     },
     {},
     nullptr,
     {"off", "on"}},
}};

QString ListText(const ValueList& list) {
    QStringList values;
    for (int i = 0; i < list.Size(); ++i) values << QString::number(list.ValueAt(i).value_or(0));
    return values.join(QStringLiteral(", "));
}

QString CheckValue(const NamedSetting& setting, const SettingInput& input, SettingValue& out) {
    const QString key = input.key;
    switch (setting.kind) {
        case Kind::kNumber:
            if (!input.number || *input.number < setting.limits.minimum ||
                *input.number > setting.limits.maximum)
                return QStringLiteral("%1 is a number from %2 to %3")
                    .arg(key)
                    .arg(setting.limits.minimum)
                    .arg(setting.limits.maximum);
            out.number = static_cast<uint32_t>(*input.number);
            return {};
        case Kind::kList: {
            const auto position =
                input.number ? setting.list->PositionOf(*input.number) : std::nullopt;
            if (!position)
                return QStringLiteral("%1 is one of %2").arg(key, ListText(*setting.list));
            out.number = static_cast<uint32_t>(*position);
            return {};
        }
        case Kind::kChoice:
            for (size_t i = 0; i < setting.choices.size(); ++i)
                if (input.text == QLatin1String(setting.choices[i])) {
                    out.number = static_cast<uint32_t>(i);
                    return {};
                }
            {
                QStringList names;
                for (const char* choice : setting.choices)
                    names << QStringLiteral("\"%1\"").arg(QLatin1String(choice));
                return QStringLiteral("%1 is one of %2").arg(key, names.join(QStringLiteral(", ")));
            }
        case Kind::kText:
            if (!input.text || input.text->size() > setting.width || input.text->contains(' '))
                return QStringLiteral("%1 is a text of at most %2 characters without spaces")
                    .arg(key)
                    .arg(setting.width);
            out.text = *input.text;
            return {};
    }
    return {};
}

QString Shown(const NamedSetting& setting, const SettingValue& value) {
    const auto none = QStringLiteral("(none)");
    switch (setting.kind) {
        case Kind::kNumber:
            return QString::number(value.number);
        case Kind::kList: {
            const auto shown = setting.list->ValueAt(static_cast<int>(value.number));
            return shown ? QString::number(*shown) : none;
        }
        case Kind::kChoice:
            return value.number < setting.choices.size()
                       ? QString::fromLatin1(setting.choices[value.number])
                       : none;
        case Kind::kText:
            return value.text;
    }
    return none;
}

// The setting file's description without its legend of list positions.
QString Described(const QString& line) {
    static const QRegularExpression legend(QStringLiteral(",\\s*0:.*$"));
    return QString(line).remove(legend).trimmed();
}

// The lines of the setting file that differ beyond what the inventory names.
void OtherChanges(DeviceSetupValues rest, const DeviceSetupValues& after,
                  std::vector<SettingChange>& changes) {
    for (const NamedSetting& setting : kSettings) setting.apply(rest, setting.read(after));
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
    const auto add = [&changes](const char* key, const QString& old, const QString& now) {
        if (old != now) changes.push_back({QLatin1String(key), old, now});
    };
    const auto flag = [](int dhcp) {
        return dhcp == 1 ? QStringLiteral("true") : QStringLiteral("false");
    };
    add("name", before.deviceName, after.deviceName);
    add("dhcp", flag(before.dhcp), flag(after.dhcp));
    add("address", before.staticIp, after.staticIp);
    add("netmask", before.subnetMask, after.subnetMask);
    add("gateway", before.gateway, after.gateway);
    add("dns", before.dnsServer, after.dnsServer);
    for (const NamedSetting& setting : kSettings)
        add(setting.key, Shown(setting, setting.read(before)), Shown(setting, setting.read(after)));
    OtherChanges(before, after, changes);
    return changes;
}

QStringList SettingNames() {
    QStringList names;
    for (const NamedSetting& setting : kSettings) names << QLatin1String(setting.key);
    return names;
}

QString CheckSetting(const SettingInput& input, SettingValue& out) {
    for (size_t i = 0; i < kSettings.size(); ++i) {
        if (input.key != QLatin1String(kSettings[i].key)) continue;
        out = {static_cast<int>(i), input.line, 0, {}};
        return CheckValue(kSettings[i], input, out);
    }
    return QStringLiteral("unknown setting \"%1\"").arg(input.key);
}

void ApplySetting(DeviceSetupValues& values, const SettingValue& setting) {
    kSettings.at(static_cast<size_t>(setting.index)).apply(values, setting);
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
    const QStringList parts = text.split('.');
    if (parts.size() != kOctets) return std::nullopt;
    uint32_t address = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const uint32_t octet = part.toUInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || !part.front().isDigit() ||
            octet > kOctetMax)
            return std::nullopt;
        address = (address << kOctetBits) | octet;
    }
    return address;
}

QString WhyNotDeviceAddress(uint32_t address, uint32_t netmask,
                            const std::vector<AdapterInfo>& subnets) {
    return WhyNotOneHost(address, subnets, netmask);
}

bool IsNetmask(uint32_t mask) {
    const uint32_t zeros = ~mask;
    return (zeros & (zeros + 1)) == 0;
}

}  // namespace inventory
