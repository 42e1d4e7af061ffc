#include "cli/InventorySettings.h"

#include <QStringList>
#include <array>
#include <vector>

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
     {},
     nullptr,
     {"socket", "vcom", "rfc2217", "modbus_gateway"}},
    {"role",
     Kind::kChoice,
     [](V& v, const SettingValue& s) { v.clientMode = s.number == 1; },
     {},
     nullptr,
     {"server", "client"}},
    {"protocol",
     Kind::kChoice,
     [](V& v, const SettingValue& s) {
         v.udp = s.number == 1;
         v.tcp = s.number == 0;
     },
     {},
     nullptr,
     {"tcp", "udp"}},
    {"data_listening_port", Kind::kNumber,
     [](V& v, const SettingValue& s) { v.listenPort = s.number; }, limits::kPort},
    {"destination_port", Kind::kNumber,
     [](V& v, const SettingValue& s) { v.destinationPort = s.number; }, limits::kPort},
    {"destination_host",
     Kind::kText,
     [](V& v, const SettingValue& s) { v.destinationHost = s.text; },
     {},
     nullptr,
     {},
     devrec::destinationHost.width},
    {"transmission_timer", Kind::kNumber,
     [](V& v, const SettingValue& s) { v.transmitTimer = s.number; }, limits::kTransmitTimer},
    {"baud_rate",
     Kind::kList,
     [](V& v, const SettingValue& s) { v.baudRate = static_cast<int>(s.number); },
     {},
     &lists::baudRate},
    {"data_bits",
     Kind::kList,
     [](V& v, const SettingValue& s) { v.dataBits = static_cast<int>(s.number); },
     {},
     &lists::dataBits},
    {"parity",
     Kind::kChoice,
     [](V& v, const SettingValue& s) { v.parity = static_cast<int>(s.number); },
     {},
     nullptr,
     {"none", "odd", "even"}},
    {"stop_bits",
     Kind::kList,
     [](V& v, const SettingValue& s) { v.stopBits = static_cast<int>(s.number); },
     {},
     &lists::stopBits},
    {"flow_control",
     Kind::kChoice,
     [](V& v, const SettingValue& s) { v.flowControl = static_cast<int>(s.number); },
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

}  // namespace

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
