#include "tools/devsim/DeviceProfileText.h"

#include <QRegularExpression>
#include <functional>
#include <map>

#include "protocol/Ipv4Address.h"
#include "tools/devsim/LoopbackGuard.h"

namespace devsim {

namespace {

constexpr int kMaxNameLength = 16;
constexpr int kMaxVersionLength = 13;
constexpr int kMaxHostLength = 36;

std::optional<bool> ParseBool(const QString& v) {
    const QString s = v.toLower();
    if (s == "1" || s == "on" || s == "yes" || s == "true") return true;
    if (s == "0" || s == "off" || s == "no" || s == "false") return false;
    return std::nullopt;
}

std::optional<Mac> ParseMac(const QString& v) {
    const QStringList parts = v.split(QRegularExpression("[-:]"));
    if (parts.size() != 6) return std::nullopt;
    Mac mac{};
    for (int i = 0; i < 6; ++i) {
        if (parts[i].size() != 2) return std::nullopt;
        const auto b = ParseUnsigned(parts[i], 0xFF, 16);
        if (!b) return std::nullopt;
        mac[static_cast<size_t>(i)] = static_cast<uint8_t>(*b);
    }
    return mac;
}

template <typename T>
std::optional<T> FromTable(const QString& v,
                           std::initializer_list<std::pair<const char*, T>> table) {
    for (const auto& [name, value] : table)
        if (v.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return value;
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ParseCodes(const QString& v) {
    std::vector<uint8_t> codes;
    for (QString part : v.split(',', Qt::SkipEmptyParts)) {
        if (part.startsWith("0x", Qt::CaseInsensitive)) part = part.mid(2);
        const auto code = ParseUnsigned(part, 0xFF, 16);
        if (!code) return std::nullopt;
        codes.push_back(static_cast<uint8_t>(*code));
    }
    return codes;
}

// Each key sets one value of the device's settings; false when the value does not fit.
using Setter = std::function<bool(DeviceProfile&, const QString&)>;

template <typename T, typename Parse>
Setter Field(T DeviceProfile::*member, Parse parse) {
    return [member, parse](DeviceProfile& s, const QString& v) {
        const auto parsed = parse(v);
        if (!parsed) return false;
        s.*member = static_cast<T>(*parsed);
        return true;
    };
}

// A value inside one of the profile's parts (its faults, its status).
template <typename Part, typename T, typename Parse>
Setter Field(Part DeviceProfile::*part, T Part::*member, Parse parse) {
    return [part, member, parse](DeviceProfile& s, const QString& v) {
        const auto parsed = parse(v);
        if (!parsed) return false;
        (s.*part).*member = static_cast<T>(*parsed);
        return true;
    };
}

auto Max(uint32_t max) {
    return [max](const QString& v) { return ParseUnsigned(v, max); };
}

auto Range(uint32_t min, uint32_t max) {
    return [min, max](const QString& v) -> std::optional<uint32_t> {
        const auto n = ParseUnsigned(v, max);
        if (!n || *n < min) return std::nullopt;
        return n;
    };
}

auto Hex(uint32_t max) {
    return [max](const QString& v) { return ParseUnsigned(v, max, 16); };
}

auto Text(int maxLength) {
    return [maxLength](const QString& v) -> std::optional<QString> {
        if (v.size() > maxLength || v.toLatin1().size() != v.size()) return std::nullopt;
        return v;
    };
}

// echo, silent, or close:N (drop the connection after N bytes).
Setter SerialAnswerSetter() {
    return [](DeviceProfile& s, const QString& v) {
        if (v == QLatin1String("echo") || v == QLatin1String("silent")) {
            s.serialAnswer = v == QLatin1String("echo") ? SerialAnswer::Echo : SerialAnswer::Silent;
            return true;
        }
        if (!v.startsWith(QLatin1String("close:"))) return false;
        const auto count = ParseUnsigned(v.mid(6), 0xFFFFFFFF);
        if (!count) return false;
        s.serialAnswer = SerialAnswer::CloseAfter;
        s.serialCloseAfter = *count;
        return true;
    };
}

const std::map<QString, Setter>& Setters() {
    static const std::map<QString, Setter> setters{
        {"name", Field(&DeviceProfile::name, Text(kMaxNameLength))},
        {"mac", Field(&DeviceProfile::mac, ParseMac)},
        {"addr", Field(&DeviceProfile::address, ParseLoopback)},
        {"mode", Field(&DeviceProfile::operationMode,
                       [](const QString& v) {
                           return FromTable<uint8_t>(v, {{"socket", 0},
                                                         {"vcom", 1},
                                                         {"rfc2217", 2},
                                                         {"modbus", 3},
                                                         {"0", 0},
                                                         {"1", 1},
                                                         {"2", 2},
                                                         {"3", 3}});
                       })},
        {"role", Field(&DeviceProfile::clientMode,
                       [](const QString& v) {
                           return FromTable<bool>(v, {{"server", false}, {"client", true}});
                       })},
        {"proto", Field(&DeviceProfile::udp,
                        [](const QString& v) {
                            return FromTable<bool>(v, {{"tcp", false}, {"udp", true}});
                        })},
        {"dhcp", Field(&DeviceProfile::dhcp, ParseBool)},
        {"link", Field(&DeviceProfile::linkStatus, Max(0xFF))},
        {"listen", Field(&DeviceProfile::listenPort, Max(0xFFFF))},
        {"dport", Field(&DeviceProfile::destinationPort, Max(0xFFFF))},
        {"dhost", Field(&DeviceProfile::destinationHost, Text(kMaxHostLength))},
        {"baud", Field(&DeviceProfile::baudRate, Max(0xFFFFFFFF))},
        {"wifi", Field(&DeviceProfile::wifi, ParseBool)},
        {"restart", Field(&DeviceProfile::restartMs, Max(3600000))},
        {"upgrade-restart", Field(&DeviceProfile::restartAfterUpgrade, ParseBool)},
        {"tftp", Field(&DeviceProfile::tftpMode,
                       [](const QString& v) {
                           return FromTable<TftpMode>(v, {{"oack", TftpMode::OptionAck},
                                                          {"ack0", TftpMode::AckZero},
                                                          {"silent", TftpMode::Silent},
                                                          {"refuse", TftpMode::Refuse}});
                       })},
        {"blksize",
         Field(&DeviceProfile::tftpBlockSize, Range(kMinTftpBlockSize, kMaxTftpBlockSize))},
        {"ack-delay", Field(&DeviceProfile::tftpAckDelayMs, Max(3600000))},
        {"probe", Field(&DeviceProfile::probeByte, Max(0xFF))},
        {"silent", Field(&DeviceProfile::faults, &Faults::silent, ParseBool)},
        {"late", Field(&DeviceProfile::faults, &Faults::delayMs, Max(3600000))},
        {"twice", Field(&DeviceProfile::faults, &Faults::twice, ParseBool)},
        {"nomagic", Field(&DeviceProfile::faults, &Faults::noMagic, ParseBool)},
        {"faults-for", Field(&DeviceProfile::faults, &Faults::commands, ParseCodes)},
        {"version",
         Field(&DeviceProfile::status, &StatusValues::firmwareVersion, Text(kMaxVersionLength))},
        {"upgrade-version", Field(&DeviceProfile::upgradeVersion, Text(kMaxVersionLength))},
        {"modem", Field(&DeviceProfile::status, &StatusValues::modemStatus, Hex(0xFF))},
        {"tx", Field(&DeviceProfile::status, &StatusValues::txCount, Max(0xFFFFFFFF))},
        {"rx", Field(&DeviceProfile::status, &StatusValues::rxCount, Max(0xFFFFFFFF))},
        {"serial", SerialAnswerSetter()},
    };
    return setters;
}

}  // namespace

std::optional<uint32_t> ParseUnsigned(const QString& v, uint32_t max, int base) {
    bool ok = false;
    const qulonglong n = v.toULongLong(&ok, base);
    if (!ok || n > max) return std::nullopt;
    return static_cast<uint32_t>(n);
}

std::optional<uint32_t> ParseLoopback(const QString& text) {
    const std::optional<Ipv4Address> a = Ipv4Address::Parse(text);
    if (!a || !InLoopbackNet(a->HostOrder())) return std::nullopt;
    return a->HostOrder();
}

ParseResult ParseDeviceLine(const QString& line, const DeviceProfile& base) {
    DeviceProfile profile = base;
    for (const QString& token : line.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
        const qsizetype eq = token.indexOf('=');
        if (eq <= 0) return {std::nullopt, QStringLiteral("expected key=value: \"%1\"").arg(token)};
        const QString key = token.left(eq).toLower();
        const QString value = token.mid(eq + 1);
        const auto it = Setters().find(key);
        if (it == Setters().end())
            return {std::nullopt, QStringLiteral("unknown key \"%1\"").arg(key)};
        if (!it->second(profile, value))
            return {std::nullopt, QStringLiteral("bad value for %1: \"%2\"").arg(key, value)};
    }
    return {profile, {}};
}

FileParseResult ParseDeviceLines(const QStringList& lines, const BaseProfile& base, int first) {
    FileParseResult out;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const ParseResult r =
            ParseDeviceLine(line, base(first + static_cast<int>(out.profiles.size())));
        if (!r.profile) {
            out.error = QStringLiteral("line %1: %2").arg(i + 1).arg(r.error);
            out.profiles.clear();
            return out;
        }
        out.profiles.push_back(*r.profile);
    }
    return out;
}

std::vector<DeviceProfile> DemoProfiles() {
    std::vector<DeviceProfile> profiles(6);
    profiles[0].name = QStringLiteral("Lab-Gateway");
    profiles[0].operationMode = 1;
    profiles[0].linkStatus = 1;
    profiles[0].status = {0x33, QStringLiteral("V1.6.12"), 183204, 90211};

    profiles[1].name = QStringLiteral("Line3-Scale");
    profiles[1].operationMode = 0;
    profiles[1].clientMode = true;
    profiles[1].dhcp = true;
    profiles[1].udp = true;
    profiles[1].destinationPort = 5020;
    profiles[1].baudRate = 9600;

    profiles[2].name = QString();  // a device that was never named
    profiles[2].operationMode = 2;

    profiles[3].name = QStringLiteral("MODBUS-GW-07");
    profiles[3].operationMode = 3;
    profiles[3].dhcp = true;
    profiles[3].wifi = true;
    // Above 1024: the program warns at every search about a lower port, which is no way to
    // open a demo (`--device listen=502` shows the warning).
    profiles[3].listenPort = 5020;
    profiles[3].status = {0x00, QStringLiteral("V1.5.03"), 42, 42};

    profiles[4].name = QStringLiteral("Packaging_Line16");  // 16 characters, no terminator
    profiles[4].operationMode = 0;
    profiles[4].baudRate = 38400;

    profiles[5].name = QStringLiteral("Warehouse-VCOM");
    profiles[5].operationMode = 1;
    profiles[5].clientMode = true;
    profiles[5].linkStatus = 0;
    profiles[5].status = {0x31, QStringLiteral("V1.6.10"), 7, 0};
    return profiles;
}

}  // namespace devsim
