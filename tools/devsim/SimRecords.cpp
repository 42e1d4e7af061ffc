#include "tools/devsim/SimRecords.h"

#include <algorithm>

#include "protocol/ByteOrder.h"

namespace devsim {

namespace {

constexpr Mac kMacPrefix{0x02, 0x56, 0x54, 0x00, 0x00, 0x00};
constexpr uint32_t kLoopbackMask = 0xFF000000;
constexpr uint32_t kLoopbackGateway = 0x7F000001;

// The device's own DHCP server hands out a private pool; it is data only, nothing is sent there.
constexpr uint32_t kDhcpPoolStart = 0x0A0A0064;  // 10.10.0.100
constexpr uint32_t kDhcpPoolEnd = 0x0A0A00C7;    // 10.10.0.199
constexpr uint32_t kDhcpNetmask = 0xFFFFFF00;
constexpr uint32_t kDhcpGateway = 0x0A0A0001;
constexpr uint16_t kDhcpLeaseMinutes = 1440;

constexpr uint16_t kTransmitTimer = 10;
constexpr uint16_t kSmtpPort = 25;
constexpr uint8_t kTimeZoneGmt = 12;
constexpr uint8_t kWifiStation = 1;
constexpr uint8_t kWifiChannel = 6;
constexpr uint8_t kWifiWpa = 2;
constexpr uint16_t kModbusPort = 502;
constexpr uint16_t kModbusResponseTimeout = 1000;
constexpr uint16_t kModbusDelay = 10;

// The magic and the reply's code; a device's own records carry no marker.
void SetReplyHeader(DeviceConfigRecord& r, msg::Command command) {
    std::copy(msg::kMagic.begin(), msg::kMagic.end(), r.bytes().begin());
    r.Set(devrec::command, command);
    r.Set(devrec::marker, 0);
}

void SetIdentity(DeviceConfigRecord& r, const DeviceProfile& profile, uint32_t address,
                 const Mac& mac) {
    SetReplyHeader(r, msg::kSearchReply);
    r.Set(devrec::deviceName, profile.name);
    r.SetMacAddress(mac);
    uint8_t net = profile.udp ? devrec::kUdp : devrec::kTcp;
    if (profile.clientMode) net |= devrec::kClientMode;
    if (profile.dhcp) net |= devrec::kDhcpClient;
    r.Set(devrec::netFlags, net);
    r.Set(devrec::modeFlags, devrec::kRtcFromNtp);
    r.SetOperationMode(profile.operationMode);
    r.Set(devrec::currentIp, profile.claimedAddress ? profile.claimedAddress : address);
    r.Set(devrec::staticIp, address);
    r.Set(devrec::listenPort, profile.listenPort);
    r.Set(devrec::fixedPort, msg::kDevicePort);
    r.Set(devrec::destinationPort, profile.destinationPort);
    r.Set(devrec::destinationHost, profile.destinationHost);
    r.Set(devrec::subnetMask, kLoopbackMask);
    r.Set(devrec::gateway, kLoopbackGateway);
    r.Set(devrec::dnsServer, kLoopbackGateway);
    r.Set(devrec::linkStatus, profile.linkStatus);
}

void SetSerial(DeviceConfigRecord& r, const DeviceProfile& profile) {
    r.Set(devrec::dataBits, 8);
    r.Set(devrec::stopBits, 1);
    r.Set(devrec::parity, 0);
    r.Set(devrec::flowControl, 0);
    r.Set(devrec::baudRate, profile.baudRate);
    r.Set(devrec::transmitTimer, kTransmitTimer);
}

void SetMail(DeviceConfigRecord& r) {
    r.Set(devrec::smtpDomain, QStringLiteral("mail.example.com"));
    r.Set(devrec::smtpFrom, QStringLiteral("device@example.com"));
    r.Set(devrec::smtpTo1, QStringLiteral("admin@example.com"));
    r.Set(devrec::smtpEvents, devrec::kEventColdStart | devrec::kEventWarmStart);
    r.Set(devrec::smtpPort, kSmtpPort);
    r.Set(devrec::smtpSecurity, 0);
    r.Set(devrec::firmwareFileName, QStringLiteral("VTM5800x.bin"));
}

void SetWifi(DeviceConfigRecord& r, const DeviceProfile& profile) {
    const QString ssid = QStringLiteral("VTM5800x");
    const QString psk = QStringLiteral("12345678");
    r.Set(devrec::wifiRf, profile.wifi ? 1 : 0);
    r.Set(devrec::wifiNetworkMode, kWifiStation);
    r.Set(devrec::wifiChannel, kWifiChannel);
    r.Set(devrec::ssidLength, static_cast<uint8_t>(ssid.size()));
    r.Set(devrec::ssid, ssid);
    r.Set(devrec::wifiSecurity, kWifiWpa);
    r.Set(devrec::wepKeyIndex, 0);
    r.Set(devrec::wepKeyLength, 0);
    for (int i = 0; i < devrec::wepKeyCount; ++i) {
        r.SetWepKey(false, i, QStringLiteral("12345"));
        r.SetWepKey(true, i, QStringLiteral("1234567890123"));
    }
    r.Set(devrec::pskLength, static_cast<uint8_t>(psk.size()));
    r.Set(devrec::psk, psk);
}

void SetServices(DeviceConfigRecord& r) {
    r.Set(devrec::dhcpPoolStart, kDhcpPoolStart);
    r.Set(devrec::dhcpPoolEnd, kDhcpPoolEnd);
    r.Set(devrec::dhcpNetmask, kDhcpNetmask);
    r.Set(devrec::dhcpGateway, kDhcpGateway);
    r.Set(devrec::dhcpLeaseMinutes, kDhcpLeaseMinutes);
    r.Set(devrec::dhcpServerEnabled, 0);
    r.Set(devrec::ntpServer1, QStringLiteral("pool.ntp.org"));
    r.Set(devrec::ntpServer2, QStringLiteral("time.example.com"));
    r.Set(devrec::ntpTimeZone, kTimeZoneGmt);
    r.Set(devrec::modbusPort, kModbusPort);
    r.Set(devrec::modbusTransferMode, 0);
    r.Set(devrec::modbusSlaveId, 1);
    r.Set(devrec::modbusResponseTimeout, kModbusResponseTimeout);
    r.Set(devrec::modbusInterFrameDelay, kModbusDelay);
    r.Set(devrec::modbusInterCharDelay, kModbusDelay);
}

}  // namespace

bool Faults::AppliesTo(uint8_t command) const {
    return commands.empty() ||
           std::find(commands.begin(), commands.end(), command) != commands.end();
}

Mac DefaultMac(int index) {
    Mac mac = kMacPrefix;
    mac[3] = static_cast<uint8_t>(index >> 16);
    mac[4] = static_cast<uint8_t>(index >> 8);
    mac[5] = static_cast<uint8_t>(index);
    return mac;
}

DeviceConfigRecord FactoryRecord(const DeviceProfile& profile, uint32_t address, const Mac& mac) {
    DeviceConfigRecord r;
    SetIdentity(r, profile, address, mac);
    SetSerial(r, profile);
    SetMail(r);
    SetWifi(r, profile);
    SetServices(r);
    return r;
}

QByteArray ReplyImage(const DeviceConfigRecord& stored, msg::Command command) {
    DeviceConfigRecord out = stored;
    SetReplyHeader(out, command);
    return out.ToByteArray();
}

DeviceConfigRecord AcceptSetup(const DeviceConfigRecord& command, const DeviceConfigRecord& live) {
    DeviceConfigRecord stored = command;
    SetReplyHeader(stored, msg::kSearchReply);
    stored.SetMacAddress(live.MacAddress());
    stored.Set(devrec::currentIp, live.Get(devrec::currentIp));
    stored.Set(devrec::fixedPort, msg::kDevicePort);
    stored.Set(devrec::linkStatus, live.Get(devrec::linkStatus));
    return stored;
}

QByteArray BuildStatusReply(const StatusValues& status) {
    QByteArray out = msg::WithHeader(kStatusReplySize, msg::kStatusReply, status.modemStatus);
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    const QByteArray version = status.firmwareVersion.toLatin1().left(kFirmwareVersionWidth - 1);
    std::copy(version.begin(), version.end(), p + kFirmwareVersionOffset);
    bytes::PutLE32(p + kTxCountOffset, status.txCount);
    bytes::PutLE32(p + kRxCountOffset, status.rxCount);
    return out;
}

QByteArray BuildProbeAnswer(uint32_t address, uint8_t probeByte) {
    QByteArray out = msg::WithHeader(kProbeAnswerSize, msg::kSearchReply);
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    bytes::PutBE32(p + kProbeAddressOffset, address);
    p[kProbeByteOffset] = probeByte;
    return out;
}

QByteArray WithoutMagic(QByteArray datagram) {
    std::fill_n(datagram.begin(), std::min<qsizetype>(datagram.size(), msg::kMagicSize), 'X');
    return datagram;
}

}  // namespace devsim
