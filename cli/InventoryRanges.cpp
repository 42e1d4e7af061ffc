#include "cli/InventoryRanges.h"

#include <QRegularExpression>

#include "cli/CliTargets.h"
#include "cli/InventorySettings.h"
#include "protocol/Ipv4Address.h"

namespace inventory {

namespace {

// Far more than one line of machines has; a mistyped count is refused.
constexpr int64_t kMaxRangeDevices = 1024;
constexpr int kMacBits = 8;
constexpr uint64_t kLastMac = (uint64_t{1} << (devrec::kMacSize * kMacBits)) - 1;
constexpr uint64_t kLastAddress = 0xFFFFFFFFu;

uint64_t MacNumber(const Mac& mac) {
    uint64_t number = 0;
    for (uint8_t byte : mac) number = (number << kMacBits) | byte;
    return number;
}

Mac MacOf(uint64_t number) {
    Mac mac{};
    for (auto it = mac.rbegin(); it != mac.rend(); ++it, number >>= kMacBits)
        *it = static_cast<uint8_t>(number & 0xFF);
    return mac;
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct Range {
    Mac first{};
    int64_t count = 0;
    int64_t start = 1;
    std::optional<QString> name;
    std::optional<uint32_t> address;
    std::optional<int> com;
};

// The range's own keys; the reason it is refused, or empty.
QString ReadRange(const toml::table& table, Range& range) {
    const std::optional<std::string> first = table["first"].value<std::string>();
    const std::optional<CliMac> mac = first ? ParseMac(Text(*first)) : std::nullopt;
    if (!mac) return QStringLiteral("a range needs first = \"MAC\", its first device's");
    range.first = *mac;
    range.count = table["count"].value<int64_t>().value_or(0);
    if (range.count < 1 || range.count > kMaxRangeDevices)
        return QStringLiteral("a range needs count = 1 to %1").arg(kMaxRangeDevices);
    range.start = table["start"].value<int64_t>().value_or(1);
    if (range.start < 0) return QStringLiteral("start is a number from 0");
    if (MacNumber(range.first) + static_cast<uint64_t>(range.count - 1) > kLastMac)
        return QStringLiteral("the range runs past the last MAC address");
    if (const auto name = table["name"].value<std::string>()) range.name = Text(*name);
    if (const auto address = table["network"]["address"].value<std::string>()) {
        const std::optional<Ipv4Address> first = Ipv4Address::Parse(Text(*address));
        if (!first) return QStringLiteral("address is not an IPv4 address");
        range.address = first->HostOrder();
        if (*range.address + static_cast<uint64_t>(range.count - 1) > kLastAddress)
            return QStringLiteral("the range runs past the last IPv4 address");
    }
    static const QRegularExpression comPattern(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    if (const auto com = table["port"]["com"].value<std::string>())
        if (const QRegularExpressionMatch match = comPattern.match(Text(*com)); match.hasMatch())
            range.com = match.captured(1).toInt();
    return {};
}

}  // namespace

std::vector<RangeDevice> ExpandRange(const toml::table& table, std::vector<Problem>& problems) {
    const int line = static_cast<int>(table.source().begin.line);
    Range range;
    if (const QString why = ReadRange(table, range); !why.isEmpty()) {
        problems.push_back({line, why});
        return {};
    }
    toml::table common = table;
    for (const char* key : {"first", "count", "start"}) common.erase(key);
    std::vector<RangeDevice> devices;
    for (int64_t i = 0; i < range.count; ++i) {
        RangeDevice device{MacOf(MacNumber(range.first) + static_cast<uint64_t>(i)), common};
        const QString number = QString::number(range.start + i);
        if (range.name)
            device.table.insert_or_assign(
                "name", QString(*range.name).replace(QLatin1String("{n}"), number).toStdString());
        if (toml::table* network = device.table["network"].as_table(); network && range.address)
            network->insert_or_assign(
                "address",
                Ipv4Address(*range.address + static_cast<uint32_t>(i)).ToString().toStdString());
        if (toml::table* port = device.table["port"].as_table(); port && range.com)
            port->insert_or_assign("com",
                                   QStringLiteral("COM%1").arg(*range.com + i).toStdString());
        devices.push_back(std::move(device));
    }
    return devices;
}

}  // namespace inventory
