#include "devcfg/SetupMapping.h"

#include <algorithm>

#include "devcfg/SetupRules.h"
#include "devcfg/ValueLists.h"
#include "protocol/Ipv4Address.h"

using namespace devrec;

namespace {

constexpr uint8_t kCommandNibble = 0x0F;
constexpr std::array<uint8_t, 4> kFillableCommands{1, 3, 9, 12};
constexpr int kMaxPskLength = 65;

int PositionOf(const ValueList& list, int64_t value) {
    return list.PositionOf(value).value_or(kNoSelection);
}

int Bit(uint32_t word, uint32_t mask) {
    return (word & mask) != 0 ? 1 : 0;
}

void FillNetwork(DeviceSetupValues& v, const DeviceConfigRecord& r, int listIndex) {
    v.deviceName = r.Get(deviceName, kSkipCC);
    if (v.deviceName.isEmpty()) v.deviceName = QStringLiteral("DSM%1").arg(listIndex + 1);
    v.macAddress = r.MacAddressText();
    v.clientMode = r.Flag(netFlags, kClientMode);
    v.dhcp = Bit(r.Get(netFlags), kDhcpClient);
    v.dhcpClientFlag = v.dhcp != 0;
    v.udp = r.Flag(netFlags, kUdp);
    v.tcp = r.Flag(netFlags, kTcp);
    v.operationMode = r.OperationMode();
    v.currentIp = Ipv4Address(r.Get(currentIp)).ToString();
    v.staticIp = Ipv4Address(r.Get(staticIp)).ToString();
    v.listenPort = r.Get(listenPort);
    v.destinationPort = r.Get(destinationPort);
    v.transmitTimer = r.Get(transmitTimer);
    v.destinationHost = r.Get(destinationHost);
    v.subnetMask = Ipv4Address(r.Get(subnetMask)).ToString();
    v.gateway = Ipv4Address(r.Get(gateway)).ToString();
    v.dnsServer = Ipv4Address(r.Get(dnsServer)).ToString();
}

void FillSmtpAndModbus(DeviceSetupValues& v, const DeviceConfigRecord& r) {
    v.smtpDomain = r.Get(smtpDomain);
    v.smtpFrom = r.Get(smtpFrom);
    v.smtpTo1 = r.Get(smtpTo1);
    v.smtpTo2 = r.Get(smtpTo2);
    v.smtpTo3 = r.Get(smtpTo3);
    v.smtpUser = r.Get(smtpUser);
    v.smtpPassword = r.Get(smtpPassword);
    const uint16_t events = r.Get(smtpEvents);
    v.eventColdStart = Bit(events, kEventColdStart);
    v.eventWarmStart = Bit(events, kEventWarmStart);
    v.eventAuthFail = Bit(events, kEventAuthFailure);
    v.eventIpChange = Bit(events, kEventIpChange);
    v.eventPasswordChange = Bit(events, kEventPasswordChange);
    v.smtpPort = r.Get(smtpPort);
    v.smtpSecurity = PositionOf(lists::smtpSecurity, r.Get(smtpSecurity));
    v.firmwareFile = r.Get(firmwareFileName);
    v.modbusPort = r.Get(modbusPort);
    v.modbusResponseTimeout = r.Get(modbusResponseTimeout);
    v.modbusInterFrameDelay = r.Get(modbusInterFrameDelay);
    v.modbusInterCharDelay = r.Get(modbusInterCharDelay);
    v.modbusTransferMode = PositionOf(lists::modbusTransferMode, r.Get(modbusTransferMode));
    v.modbusSlaveId = r.Get(modbusSlaveId);
}

void FillSerial(DeviceSetupValues& v, const DeviceConfigRecord& r) {
    v.dataBits = PositionOf(lists::dataBits, r.Get(dataBits));
    v.stopBits = PositionOf(lists::stopBits, r.Get(stopBits));
    v.parity = PositionOf(lists::parity, r.Get(parity));
    v.flowControl = PositionOf(lists::flowControl, r.Get(flowControl));
    v.baudRate = PositionOf(lists::baudRate, r.Get(baudRate));
}

void FillWifi(DeviceSetupValues& v, const DeviceConfigRecord& r) {
    v.wifiRf = PositionOf(lists::wifiRf, r.Get(wifiRf));
    v.wifiNetworkMode = PositionOf(lists::wifiNetworkMode, r.Get(wifiNetworkMode));
    v.wifiChannel = PositionOf(lists::wifiChannel, r.Get(wifiChannel));
    v.ssid = r.Get(ssid);
    v.wifiSecurity = std::min<int>(r.Get(wifiSecurity), lists::wifiSecurity.Size() - 1);
    v.wepKeyIndex = PositionOf(lists::wepKeyIndex, r.Get(wepKeyIndex));
    v.wepKeyLength = PositionOf(lists::wepKeyLength, r.Get(wepKeyLength));
    for (int i = 0; i < wepKeyCount; ++i) {
        v.wep64Keys[i] = r.WepKey(false, i);
        v.wep128Keys[i] = r.WepKey(true, i);
    }
    v.psk = r.Get(psk);
}

void FillDhcpAndNtp(DeviceSetupValues& v, const DeviceConfigRecord& r) {
    v.dhcpPoolStart = r.Get(dhcpPoolStart);
    v.dhcpPoolEnd = r.Get(dhcpPoolEnd);
    v.dhcpNetmask = r.Get(dhcpNetmask);
    v.dhcpGateway = r.Get(dhcpGateway);
    v.dhcpLeaseMinutes = r.Get(dhcpLeaseMinutes);
    v.dhcpServerStatus = PositionOf(lists::dhcpServerStatus, r.Get(dhcpServerEnabled));
    v.ntpServer1 = r.Get(ntpServer1);
    v.ntpServer2 = r.Get(ntpServer2);
    v.ntpServer3 = r.Get(ntpServer3);
    v.timeZone = PositionOf(lists::timeZone, r.Get(ntpTimeZone));
    v.rtcSetup = r.Flag(modeFlags, kRtcFromNtp) ? 1 : 0;
    v.daylightSaving = r.Flag(modeFlags, kDaylightSaving) ? 1 : 0;
}

// One build: the record being filled and the messages of the checks that failed.
class Builder {
  public:
    explicit Builder(const DeviceSetupValues& v) : v_(v) {}

    SetupBuild Run(const std::array<uint8_t, kMacSize>& mac) {
        Network();
        Serial();
        SmtpAndModbus();
        Wifi();
        DhcpAndNtp();
        AddressChecks();
        out_.command = BuildSetupCommand(out_.command, mac);
        return out_;
    }

  private:
    // Check of a list position against its list: on success the list's value is written to
    // `field`; on failure the field stays zero and the message is recorded.
    void Checked(const ValueList& list, int position, const char* message, ByteField field) {
        if (auto value = list.ValueAt(position)) {
            R().Set(field, static_cast<uint8_t>(*value));
        } else {
            Fail(message);
        }
    }
    void Fail(const char* message, const char* field = nullptr) {
        out_.errors << QString::fromLatin1(message);
        if (field && out_.firstField.isEmpty()) out_.firstField = QString::fromLatin1(field);
    }
    // A text the command carries: one longer than its field would go out cut.
    void Text(TextField field, const QString& text, const char* label, const char* control) {
        if (text.toLatin1().size() > field.width) {
            out_.overLong.append(
                {QString::fromLatin1(label), field.width, QString::fromLatin1(control)});
            if (out_.firstField.isEmpty()) out_.firstField = QString::fromLatin1(control);
        }
        R().Set(field, text);
    }
    DeviceConfigRecord& R() { return out_.command; }

    void Network();
    void Serial();
    void SmtpAndModbus();
    void Wifi();
    void DhcpAndNtp();
    void AddressChecks();

    const DeviceSetupValues& v_;
    SetupBuild out_;
};

void Builder::Network() {
    if (v_.deviceName.contains(' ')) {
        Fail(setupmsg::kNoSpaces, "deviceName");
    } else {
        Text(deviceName, v_.deviceName, "Device Name", "deviceName");
    }
    R().SetFlag(netFlags, kClientMode, v_.clientMode);
    R().SetFlag(netFlags, kDhcpClient, v_.dhcp != 0);
    R().SetFlag(netFlags, kUdp, v_.udp);
    R().SetFlag(netFlags, kTcp, v_.tcp);
    R().SetOperationMode(static_cast<uint8_t>(v_.operationMode & kOperationModeMask));
    R().Set(currentIp, SheetAddress(v_.currentIp));
    R().Set(staticIp, SheetAddress(v_.staticIp));
    R().Set(listenPort, static_cast<uint16_t>(v_.listenPort));
    R().Set(destinationPort, static_cast<uint16_t>(v_.destinationPort));
    R().Set(transmitTimer, static_cast<uint16_t>(v_.transmitTimer));
    Text(destinationHost, v_.destinationHost, "Destination Hostname/IP", "destinationHost");
    R().Set(subnetMask, SheetAddress(v_.subnetMask));
    R().Set(gateway, SheetAddress(v_.gateway));
    R().Set(dnsServer, SheetAddress(v_.dnsServer));
}

void Builder::Serial() {
    Checked(lists::dataBits, v_.dataBits, setupmsg::kDataBits, dataBits);
    Checked(lists::stopBits, v_.stopBits, setupmsg::kStopBits, stopBits);
    Checked(lists::parity, v_.parity, setupmsg::kParity, parity);
    Checked(lists::flowControl, v_.flowControl, setupmsg::kFlowControl, flowControl);
    if (auto baud = lists::baudRate.ValueAt(v_.baudRate)) {
        R().Set(baudRate, static_cast<uint32_t>(*baud));
    } else {
        Fail(setupmsg::kBaudRate);
    }
}

void Builder::SmtpAndModbus() {
    Text(smtpDomain, v_.smtpDomain, "Domain Name", "smtpDomain");
    Text(smtpFrom, v_.smtpFrom, "From Address", "smtpFrom");
    Text(smtpTo1, v_.smtpTo1, "To Address 1", "smtpTo1");
    Text(smtpTo2, v_.smtpTo2, "To Address 2", "smtpTo2");
    Text(smtpTo3, v_.smtpTo3, "To Address 3", "smtpTo3");
    Text(smtpUser, v_.smtpUser, "User Name", "smtpUser");
    Text(smtpPassword, v_.smtpPassword, "Password", "smtpPassword");
    uint16_t events = 0;
    if (v_.eventColdStart != 0) events |= kEventColdStart;
    if (v_.eventWarmStart != 0) events |= kEventWarmStart;
    if (v_.eventAuthFail != 0) events |= kEventAuthFailure;
    if (v_.eventIpChange != 0) events |= kEventIpChange;
    if (v_.eventPasswordChange != 0) events |= kEventPasswordChange;
    R().Set(smtpEvents, events);
    R().Set(smtpPort, static_cast<uint16_t>(v_.smtpPort));
    Checked(lists::smtpSecurity, v_.smtpSecurity, setupmsg::kSmtpSecurity, smtpSecurity);
    Text(firmwareFileName, v_.firmwareFile, "Firmware File", "firmwareFile");
    R().Set(modbusPort, static_cast<uint16_t>(v_.modbusPort));
    R().Set(modbusResponseTimeout, static_cast<uint16_t>(v_.modbusResponseTimeout));
    R().Set(modbusInterFrameDelay, static_cast<uint16_t>(v_.modbusInterFrameDelay));
    R().Set(modbusInterCharDelay, static_cast<uint16_t>(v_.modbusInterCharDelay));
    Checked(lists::modbusTransferMode, v_.modbusTransferMode, setupmsg::kModbusTransferMode,
            modbusTransferMode);
    R().Set(modbusSlaveId, static_cast<uint8_t>(v_.modbusSlaveId));
}

void Builder::Wifi() {
    Checked(lists::wifiRf, v_.wifiRf, setupmsg::kWifiRf, wifiRf);
    Checked(lists::wifiNetworkMode, v_.wifiNetworkMode, setupmsg::kWifiNetworkMode,
            wifiNetworkMode);
    Checked(lists::wifiChannel, v_.wifiChannel, setupmsg::kWifiChannel, wifiChannel);
    // The length byte counts what the field holds, so that a device never reads past it.
    const QByteArray ssidText = v_.ssid.toLatin1().left(ssid.width);
    R().Set(ssidLength, static_cast<uint8_t>(ssidText.size()));
    R().SetRaw(ssid, ssidText);
    if (!lists::wifiSecurity.ValueAt(v_.wifiSecurity)) {
        Fail(setupmsg::kWifiSecurity);
    } else if (v_.wifiNetworkMode == kAccessPointMode && v_.wifiSecurity == kWepSecurity) {
        Fail(setupmsg::kApWep);
    } else {
        R().Set(wifiSecurity, static_cast<uint8_t>(v_.wifiSecurity));
    }
    Checked(lists::wepKeyIndex, v_.wepKeyIndex, setupmsg::kWepKeyIndex, wepKeyIndex);
    Checked(lists::wepKeyLength, v_.wepKeyLength, setupmsg::kWepKeyLength, wepKeyLength);
    for (int i = 0; i < wepKeyCount; ++i) {
        R().SetWepKey(false, i, v_.wep64Keys[i]);
        R().SetWepKey(true, i, v_.wep128Keys[i]);
    }
    R().Set(pskLength, static_cast<uint8_t>(std::min<qsizetype>(v_.psk.size(), kMaxPskLength)));
    R().Set(psk, v_.psk);
}

void Builder::DhcpAndNtp() {
    R().Set(dhcpPoolStart, v_.dhcpPoolStart);
    R().Set(dhcpPoolEnd, v_.dhcpPoolEnd);
    R().Set(dhcpNetmask, v_.dhcpNetmask);
    R().Set(dhcpGateway, v_.dhcpGateway);
    R().Set(dhcpLeaseMinutes, static_cast<uint16_t>(v_.dhcpLeaseMinutes));
    Checked(lists::dhcpServerStatus, v_.dhcpServerStatus, setupmsg::kDhcpStatus, dhcpServerEnabled);
    Text(ntpServer1, v_.ntpServer1, "NTP Server 1", "ntpServer1");
    Text(ntpServer2, v_.ntpServer2, "NTP Server 2", "ntpServer2");
    Text(ntpServer3, v_.ntpServer3, "NTP Server 3", "ntpServer3");
    Checked(lists::timeZone, v_.timeZone, setupmsg::kTimeZone, ntpTimeZone);
    R().SetFlag(modeFlags, kDaylightSaving, v_.daylightSaving != 0);
    R().SetFlag(modeFlags, kRtcFromNtp, v_.rtcSetup != 0);
}

// Every address text that goes into the command, shown or not.
void Builder::AddressChecks() {
    const bool dhcpShowsCurrent = v_.dhcp == 1;
    struct Edit {
        const QString& text;
        const char* message;
        const char* control;
    };
    const Edit edits[] = {
        {v_.currentIp, dhcpShowsCurrent ? setupmsg::kCurrentIp : setupmsg::kHiddenCurrentIp,
         "currentIp"},
        {v_.staticIp, dhcpShowsCurrent ? setupmsg::kHiddenStaticIp : setupmsg::kStaticIp,
         "staticIp"},
        {v_.subnetMask, setupmsg::kSubnetMask, "subnetMask"},
        {v_.gateway, setupmsg::kGateway, "gateway"},
        {v_.dnsServer, setupmsg::kDnsServer, "dnsServer"},
    };
    for (const Edit& edit : edits) {
        if (!Ipv4Address::ParseStandard(edit.text)) Fail(edit.message, edit.control);
    }
}

}  // namespace

bool IsFillableCommand(uint8_t command) {
    const uint8_t low = command & kCommandNibble;
    return std::find(kFillableCommands.begin(), kFillableCommands.end(), low) !=
           kFillableCommands.end();
}

bool FillSetupValues(DeviceSetupValues& values, const DeviceConfigRecord& record, int listIndex) {
    if (!IsFillableCommand(record.Get(command))) return false;
    FillNetwork(values, record, listIndex);
    FillSmtpAndModbus(values, record);
    FillSerial(values, record);
    FillWifi(values, record);
    FillDhcpAndNtp(values, record);
    return true;
}

SetupBuild BuildSetupRecord(const DeviceSetupValues& values,
                            const std::array<uint8_t, kMacSize>& mac) {
    return Builder(values).Run(mac);
}
