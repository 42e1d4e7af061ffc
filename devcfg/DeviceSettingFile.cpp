#include "devcfg/DeviceSettingFile.h"

#include <array>
#include <optional>
#include <utility>

#include "devcfg/ValueLists.h"
#include "platform/RegularFile.h"
#include "protocol/Address.h"
#include "protocol/DecimalText.h"

namespace settingfile {

namespace {

using V = DeviceSetupValues;

constexpr uint32_t kMax16 = 0xFFFF;
constexpr uint32_t kMax8 = 0xFF;

enum class Kind {
    Version,
    Text,
    Number,
    List,         // position, unsigned
    ListSigned,   // position, signed
    ListPlusOne,  // position + 1, 0 for no selection
    Check,
    Dhcp,
    Wep64,
    Wep128,
    Address,  // host-order number as dotted text
};

// When a loaded line shows: at once in its control (list selections, the address edit it
// shows, the WiFi mode rules, WEP keys, the DHCP server's address controls), or only in the page
// field that the controls show after the last line.
enum class Shows { Later, AtOnce };
constexpr Shows later = Shows::Later;
constexpr Shows now = Shows::AtOnce;

struct Line {
    const char* description;
    Kind kind;
    Shows shows = later;
    QString V::*text = nullptr;
    uint32_t V::*number = nullptr;
    int V::*list = nullptr;
    bool V::*check = nullptr;
    int size = 0;      // list entries, or the WEP key number
    uint32_t max = 0;  // a number's largest value: what its field in the record holds
};

constexpr Line T(Shows s, const char* d, QString V::*m) {
    return {d, Kind::Text, s, m};
}
constexpr Line N(Shows s, const char* d, uint32_t V::*m, uint32_t max = kMax16) {
    return {d, Kind::Number, s, nullptr, m, nullptr, nullptr, 0, max};
}
constexpr Line A(Shows s, const char* d, uint32_t V::*m) {
    return {d, Kind::Address, s, nullptr, m};
}
constexpr Line L(Shows s, const char* d, int V::*m, const ValueList& list, Kind kind = Kind::List) {
    return {d, kind, s, nullptr, nullptr, m, nullptr, list.Size()};
}
constexpr Line C(Shows s, const char* d, bool V::*m) {
    return {d, Kind::Check, s, nullptr, nullptr, nullptr, m};
}
constexpr Line K(Shows s, const char* d, Kind kind, int key) {
    return {d, kind, s, nullptr, nullptr, nullptr, nullptr, key};
}

constexpr ValueList kTwo{2};
constexpr ValueList kOperationModes{4};

// clang-format off
const std::array<Line, kLineCount> kLines{{
    {"Device Setting File Version", Kind::Version, later},
    T(later, "Device name", &V::deviceName),
    C(later, "Server/Client Switch, 0: Server, 1: Client", &V::clientMode),
    L(later, "DHCP function switch, 0: Disable, 1: Enable", &V::dhcp, kTwo, Kind::Dhcp),
    L(now, "S2N Mode, 0: Socket, 1: VCOM, 2: RFC2217 3: MODBUS Gateway", &V::operationMode,
      kOperationModes, Kind::ListSigned),
    T(now, "Server dynamic listening IP", &V::currentIp),
    T(now, "Server static listening IP", &V::staticIp),
    N(later, "Server data listening Port", &V::listenPort),
    N(later, "Clinet destination Port", &V::destinationPort),
    C(later, "UDP Protocol, 0: Disable 1: Enable", &V::udp),
    C(later, "TCP Protocol, 0: Disable 1: Enable", &V::tcp),
    T(later, "Subnet mask IP", &V::subnetMask),
    T(later, "Gateway IP", &V::gateway),
    T(later, "DNS IP", &V::dnsServer),
    N(later, "Transmission timer", &V::transmitTimer),
    T(later, "Destination host IP", &V::destinationHost),
    T(later, "SMTP domain name", &V::smtpDomain),
    T(later, "SMTP from address", &V::smtpFrom),
    T(later, "SMTP to address 1", &V::smtpTo1),
    T(later, "SMTP to address 2", &V::smtpTo2),
    T(later, "SMTP to address 3", &V::smtpTo3),
    T(later, "SMTP user name", &V::smtpUser),
    T(later, "SMTP password", &V::smtpPassword),
    L(now, "SMTP security mode, 0: Open, 1: SSL, 2: TLS, 3: AUTO", &V::smtpSecurity,
      lists::smtpSecurity),
    N(later, "SMTP security port", &V::smtpPort),
    L(later, "SMTP IP Change Event Bit, 0: Disable, 1: Enable", &V::eventIpChange, kTwo),
    L(later, "SMTP Password Change Event Bit, 0: Disable, 1: Enable", &V::eventPasswordChange, kTwo),
    L(later, "SMTP Authentication Fail Event Bit, 0: Disable, 1: Enable", &V::eventAuthFail, kTwo),
    L(later, "SMTP Cold Start Event Bit, 0: Disable, 1: Enable", &V::eventColdStart, kTwo),
    T(later, "Firmware File Name for Upgrade Firmware", &V::firmwareFile),
    N(later, "MODBUS Server Port", &V::modbusPort),
    L(now, "MODBUS Transfer Mode: 0 = MODBUS TCP, 1 = Transparent TCP", &V::modbusTransferMode,
      lists::modbusTransferMode),
    N(later, "MODBUS Slave ID", &V::modbusSlaveId, kMax8),
    N(later, "MODBUS Response Timeout", &V::modbusResponseTimeout),
    N(later, "MODBUS Inter-Frame Delay", &V::modbusInterFrameDelay),
    N(later, "MODBUS Inter-Character Delay", &V::modbusInterCharDelay),
    L(later, "Serial Port Baud rate(bps), 0: 921600, 1: 115200, 2: 57600, 3: 38400, 4: 19200, "
      "5: 9600, 6: 4800, 7: 2400, 8: 1200", &V::baudRate, lists::baudRate),
    L(later, "Serial Port Data Bits, 0: 7-bits, 1: 8-bits", &V::dataBits, lists::dataBits),
    L(later, "Serial Port Parity, 0: None, 1: Odd, 2: Even", &V::parity, lists::parity),
    L(later, "Serial Port Stop Bits, 1: 1-bit, 2: 2-bits", &V::stopBits, lists::stopBits,
      Kind::ListPlusOne),
    L(later, "Serial Port Flow Control, 0: OFF, 1: ON", &V::flowControl, lists::flowControl),
    L(now, "Wifi Rf Mode, 0: Disable, 1: Enable", &V::wifiRf, lists::wifiRf),
    L(now, "Wifi Network Mode, 1: STA, 2: AP", &V::wifiNetworkMode, lists::wifiNetworkMode,
      Kind::ListPlusOne),
    L(now, "Wifi AP Channel : 1 ~ 14", &V::wifiChannel, lists::wifiChannel, Kind::ListPlusOne),
    T(later, "Wifi SSID ", &V::ssid),
    L(now, "Wifi Encrypt Mode, 0: Open, 1: WEP  (AE Mode Not Support), 2: WPA2_AES_PSK(AP mode);"
      "WPA/WPA2_AUTO(Station mode)", &V::wifiSecurity, lists::wifiSecurity),
    L(now, "Wifi WEP Key : 0 ~ 3", &V::wepKeyIndex, lists::wepKeyIndex),
    L(now, "Wifi WEP Length, 0: 64-bits, 1: 128-bits", &V::wepKeyLength, lists::wepKeyLength),
    K(now, "Wifi WEP64 Key 0 (5 charaters)", Kind::Wep64, 0),
    K(now, "Wifi WEP64 Key 1(5 charaters)", Kind::Wep64, 1),
    K(now, "Wifi WEP64 Key 2(5 charaters)", Kind::Wep64, 2),
    K(now, "Wifi WEP64 Key 3(5 charaters)", Kind::Wep64, 3),
    K(now, "Wifi WEP128 Key 0 (13 charaters)", Kind::Wep128, 0),
    K(now, "Wifi WEP128 Key 1 (13 charaters)", Kind::Wep128, 1),
    K(now, "Wifi WEP128 Key 2 (13 charaters)", Kind::Wep128, 2),
    K(now, "Wifi WEP128 Key 3 (13 charaters)", Kind::Wep128, 3),
    T(later, "Pre-Share Key (8 - 63 charaters)", &V::psk),
    A(now, "DHCP IP Pool Start Address", &V::dhcpPoolStart),
    A(now, "DHCP IP Pool End Address", &V::dhcpPoolEnd),
    A(now, "DHCP Netmask", &V::dhcpNetmask),
    A(now, "DHCP Gateway", &V::dhcpGateway),
    N(later, "DHCP Lease Time(minutes)", &V::dhcpLeaseMinutes),
    L(now, "DHCP Server Status, 0: Disable, 1: Enable", &V::dhcpServerStatus,
      lists::dhcpServerStatus),
    T(later, "NTP Server Name 1", &V::ntpServer1),
    T(later, "NTP Server Name 2", &V::ntpServer2),
    T(later, "NTP Server Name 3", &V::ntpServer3),
    L(now, "NTP Timezone, 0: GMT-12, 1: GMT-11, ..., 11: GMT-1, 12: GMT+0, 13: GMT+1, ... "
      "24: GMT+12", &V::timeZone, lists::timeZone),
    L(now, "NTP RTC Time Setup, 0: Manual, 1: NTP Server", &V::rtcSetup, kTwo),
    L(now, "NTP Daylight Saving, 0: Disable, 1: Enable", &V::daylightSaving, kTwo),
    T(later, "Firmware File Name", &V::firmwareFile),
}};
// clang-format on

const Line& LineAt(int line) {
    return kLines[static_cast<size_t>(line - 1)];
}

QByteArray Unsigned(int64_t value) {
    return QByteArray::number(static_cast<uint32_t>(value));
}

// A text holding a line break would shift every line after it.
QByteArray OneLine(const QString& text) {
    QByteArray bytes = text.toLatin1();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n' || bytes[i] == '\0') {
            bytes.truncate(i);
            break;
        }
    }
    return bytes;
}

QByteArray ValueText(const V& v, const Line& l) {
    switch (l.kind) {
        case Kind::Version:
            return kVersion;
        case Kind::Text:
            return OneLine(v.*l.text);
        case Kind::Number:
            return QByteArray::number(v.*l.number);
        case Kind::Address:
            return FormatDotted(v.*l.number).toLatin1();
        case Kind::List:
        case Kind::Dhcp:
            return Unsigned(v.*l.list);
        case Kind::ListSigned:
            return QByteArray::number(v.*l.list);
        case Kind::ListPlusOne:
            return QByteArray::number(v.*l.list < 0 ? 0 : v.*l.list + 1);
        case Kind::Check:
            return v.*l.check ? "1" : "0";
        case Kind::Wep64:
            return OneLine(v.wep64Keys[l.size]);
        case Kind::Wep128:
            return OneLine(v.wep128Keys[l.size]);
    }
    return {};
}

QByteArray FormatLine(int number, const QByteArray& value) {
    QByteArray line = value.leftJustified(kValueWidth, ' ');
    line += "\t\t// (";
    line += QByteArray::number(number).rightJustified(2, '0');
    line += ')';
    line += LineAt(number).description;
    line += "\r\n";
    return line;
}

int Position(int64_t value, int size) {
    return value >= 0 && value < size ? static_cast<int>(value) : kNoSelection;
}

bool IsValueEnd(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

}  // namespace

QString Description(int line) {
    if (line < 1 || line > kLineCount) return {};
    return QString::fromLatin1(LineAt(line).description);
}

Written Write(const DeviceSetupValues& values) {
    Written out;
    for (int number = 1; number <= kLineCount; ++number) {
        if (number == 2 && values.deviceName.contains(' ')) return out;
        out.text += FormatLine(number, ValueText(values, LineAt(number)));
    }
    out.complete = true;
    return out;
}

QList<QByteArray> LineValues(QByteArrayView file) {
    QList<QByteArray> values;
    qsizetype start = 0;
    while (start < file.size() && values.size() < kLineCount) {
        qsizetype end = file.indexOf('\n', start);
        if (end < 0) end = file.size();
        const QByteArrayView line =
            file.sliced(start, std::min<qsizetype>(end - start, kMaxLineCharacters));
        qsizetype length = 0;
        while (length < line.size() && !IsValueEnd(line[length])) ++length;
        values << line.first(length).toByteArray();
        start = end + 1;
    }
    return values;
}

void ApplyLine(DeviceSetupValues& v, int line, const QByteArray& value) {
    if (line < 2 || line > kLineCount) return;
    const Line& l = LineAt(line);
    const int64_t number = LeadingInt32(value);
    switch (l.kind) {
        case Kind::Version:
            break;
        case Kind::Text:
            v.*l.text = QString::fromLatin1(value);
            break;
        case Kind::Number:
            v.*l.number = static_cast<uint32_t>(number);
            break;
        case Kind::Address:
            v.*l.number = InetAddr(QString::fromLatin1(value));
            break;
        case Kind::List:
        case Kind::ListSigned:
            v.*l.list = Position(number, l.size);
            break;
        case Kind::Dhcp:
            v.dhcp = Position(number, l.size);
            v.dhcpClientFlag = number != 0;
            break;
        case Kind::ListPlusOne:
            v.*l.list = Position(number - 1, l.size);
            break;
        case Kind::Check:
            v.*l.check = number != 0;
            break;
        case Kind::Wep64:
            v.wep64Keys[l.size] = QString::fromLatin1(value);
            break;
        case Kind::Wep128:
            v.wep128Keys[l.size] = QString::fromLatin1(value);
            break;
    }
}

namespace {

// The values a line may hold, or nullopt for a text line.
std::optional<std::pair<int64_t, int64_t>> Range(const Line& l) {
    switch (l.kind) {
        case Kind::Number:
            return std::pair<int64_t, int64_t>{0, l.max};
        case Kind::List:
        case Kind::ListSigned:
        case Kind::Dhcp:
            return std::pair<int64_t, int64_t>{0, l.size - 1};
        case Kind::ListPlusOne:
            return std::pair<int64_t, int64_t>{1, l.size};
        case Kind::Check:
            return std::pair<int64_t, int64_t>{0, 1};
        default:
            return std::nullopt;
    }
}

QString OutOfRange(int number, const QByteArray& value) {
    const Line& l = LineAt(number);
    const QString where = QStringLiteral("line %1 (%2): %3")
                              .arg(number)
                              .arg(QString::fromLatin1(l.description), QString::fromLatin1(value));
    if (l.kind == Kind::Address)
        return ParseInetAddress(QString::fromLatin1(value))
                   ? QString()
                   : where + QStringLiteral(" is not an IPv4 address");
    const auto range = Range(l);
    if (!range) return {};
    const int64_t n = LeadingInt32(value);
    if (n >= range->first && n <= range->second) return {};
    return where + QStringLiteral(" is outside %1 to %2").arg(range->first).arg(range->second);
}

}  // namespace

QStringList OutOfRangeLines(QByteArrayView file, const DeviceSetupValues& current) {
    const QList<QByteArray> lines = LineValues(file);
    const QList<QByteArray> now = LineValues(Write(current).text);
    QStringList refused;
    for (int number = 2; number <= lines.size(); ++number) {
        const QByteArray& value = lines[number - 1];
        if (number <= now.size() && value == now[number - 1]) continue;
        if (const QString why = OutOfRange(number, value); !why.isEmpty()) refused << why;
    }
    return refused;
}

bool ActsAtOnce(int line) {
    return line >= 2 && line <= kLineCount && LineAt(line).shows == Shows::AtOnce;
}

LoadReport Load(QByteArrayView file, DeviceSetupValues& values,
                const std::function<void(int line)>& applied) {
    const QList<QByteArray> lines = LineValues(file);
    const int count = static_cast<int>(lines.size());
    if (lines.isEmpty() || lines[0] != kVersion) return {LoadResult::VersionWrong, count};
    if (count < kLineCount) return {LoadResult::Short, count};
    for (int number = 2; number <= kLineCount; ++number) {
        ApplyLine(values, number, lines[number - 1]);
        if (applied) applied(number);
    }
    return {LoadResult::Loaded, count};
}

QString ShortFileMessage(int lineCount) {
    return QStringLiteral("The device setting file ends at line %1 of %2. Nothing was loaded.")
        .arg(lineCount)
        .arg(kLineCount);
}

std::optional<QByteArray> ReadFile(const QString& path, QString* why) {
    RegularFile file = ReadRegularFile(path, kMaxFileBytes);
    switch (file.status) {
        case RegularFile::Status::Read:
            return file.bytes;
        case RegularFile::Status::CannotOpen:
            *why = QStringLiteral("%1 %2").arg(kOpenFailed, path);
            break;
        case RegularFile::Status::NotRegular:
            *why = QStringLiteral("%1 is not a regular file").arg(path);
            break;
        case RegularFile::Status::TooLarge:
            *why = QStringLiteral("%1 is larger than any device setting file (%2 bytes)")
                       .arg(path)
                       .arg(kMaxFileBytes);
            break;
    }
    return std::nullopt;
}

}  // namespace settingfile
