#include "devcfg/SettingFileLines.h"

#include <array>

#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupRules.h"
#include "devcfg/ValueLists.h"

namespace settingfile::detail {

namespace {

constexpr NumberLimits kAny16{0, 0xFFFF};
constexpr NumberLimits kAny8{0, 0xFF};

constexpr Line T(Shows s, const char* d, QString V::*m, Form form = Form::Word) {
    return {d, Kind::Text, s, m, nullptr, nullptr, nullptr, 0, {}, form};
}
constexpr Line N(Shows s, const char* d, uint32_t V::*m, NumberLimits limits = kAny16) {
    return {d, Kind::Number, s, nullptr, m, nullptr, nullptr, 0, limits};
}
constexpr Line A(Shows s, const char* d, uint32_t V::*m, Form form = Form::Address) {
    return {d, Kind::Address, s, nullptr, m, nullptr, nullptr, 0, {}, form};
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
    T(now, "Server dynamic listening IP", &V::currentIp, Form::Address),
    T(now, "Server static listening IP", &V::staticIp, Form::Address),
    N(later, "Server data listening Port", &V::listenPort, limits::kPort),
    N(later, "Clinet destination Port", &V::destinationPort, limits::kPort),
    C(later, "UDP Protocol, 0: Disable 1: Enable", &V::udp),
    C(later, "TCP Protocol, 0: Disable 1: Enable", &V::tcp),
    T(later, "Subnet mask IP", &V::subnetMask, Form::Netmask),
    T(later, "Gateway IP", &V::gateway, Form::Address),
    T(later, "DNS IP", &V::dnsServer, Form::Address),
    N(later, "Transmission timer", &V::transmitTimer, limits::kTransmitTimer),
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
    N(later, "SMTP security port", &V::smtpPort, limits::kServicePort),
    L(later, "SMTP IP Change Event Bit, 0: Disable, 1: Enable", &V::eventIpChange, kTwo),
    L(later, "SMTP Password Change Event Bit, 0: Disable, 1: Enable", &V::eventPasswordChange, kTwo),
    L(later, "SMTP Authentication Fail Event Bit, 0: Disable, 1: Enable", &V::eventAuthFail, kTwo),
    L(later, "SMTP Cold Start Event Bit, 0: Disable, 1: Enable", &V::eventColdStart, kTwo),
    T(later, "Firmware File Name for Upgrade Firmware", &V::firmwareFile),
    N(later, "MODBUS Server Port", &V::modbusPort, limits::kServicePort),
    L(now, "MODBUS Transfer Mode: 0 = MODBUS TCP, 1 = Transparent TCP", &V::modbusTransferMode,
      lists::modbusTransferMode),
    N(later, "MODBUS Slave ID", &V::modbusSlaveId, kAny8),
    N(later, "MODBUS Response Timeout", &V::modbusResponseTimeout, limits::kResponseTimeout),
    N(later, "MODBUS Inter-Frame Delay", &V::modbusInterFrameDelay, limits::kFrameDelay),
    N(later, "MODBUS Inter-Character Delay", &V::modbusInterCharDelay, limits::kFrameDelay),
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
    A(now, "DHCP Netmask", &V::dhcpNetmask, Form::Netmask),
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

}  // namespace

const Line& LineAt(int line) {
    return kLines[static_cast<size_t>(line - 1)];
}

const QString* TextOf(const V& v, const Line& l) {
    switch (l.kind) {
        case Kind::Text:
            return &(v.*l.text);
        case Kind::Wep64:
            return &v.wep64Keys[l.size];
        case Kind::Wep128:
            return &v.wep128Keys[l.size];
        default:
            return nullptr;
    }
}

// The first 70 lines, each of at most kMaxLineCharacters, without their LF.
QList<QByteArrayView> SplitLines(QByteArrayView file) {
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < file.size() && lines.size() < kLineCount) {
        qsizetype end = file.indexOf('\n', start);
        if (end < 0) end = file.size();
        lines << file.sliced(start, std::min<qsizetype>(end - start, kMaxLineCharacters));
        start = end + 1;
    }
    return lines;
}

}  // namespace settingfile::detail
