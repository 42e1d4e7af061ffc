#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>
#include <vector>

#include "devcfg/DeviceConfigRecord.h"

// Readable failures for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// A search reply as a configured device sends it: every settable field in use, both byte
// orders, every text shorter than its field.
inline DeviceConfigRecord RealisticReply() {
    using namespace devrec;
    DeviceConfigRecord r;
    const char magic[] = "QMDRRDMQ";
    std::copy_n(magic, 8, r.bytes().begin());
    r.Set(command, 1);
    r.Set(deviceName, QString("Lab-Unit-07"));
    r.SetMacAddress({0x00, 0x0A, 0xBC, 0xDE, 0xF0, 0x12});
    r.Set(netFlags, kClientMode | kTcp);
    r.Set(modeFlags, 0x01 | kRtcFromNtp | kDaylightSaving);  // VCOM
    r.Set(currentIp, 0xC0A80A32);                            // 192.168.10.50
    r.Set(staticIp, 0xC0A80A33);
    r.Set(listenPort, 4660);
    r.Set(fixedPort, 25122);
    r.Set(destinationPort, 5001);
    r.Set(destinationHost, QString("server.example.lan"));
    r.Set(subnetMask, 0xFFFFFF00);
    r.Set(gateway, 0xC0A80A01);
    r.Set(dnsServer, 0xC0A80A02);
    r.Set(dataBits, 8);
    r.Set(stopBits, 1);
    r.Set(parity, 2);
    r.Set(flowControl, 1);
    r.Set(baudRate, 115200);
    r.Set(linkStatus, 1);
    r.Set(transmitTimer, 0x0102);
    r.Set(smtpDomain, QString("mail.example.lan"));
    r.Set(smtpFrom, QString("vtm@example.lan"));
    r.Set(smtpTo1, QString("ops@example.lan"));
    r.Set(smtpTo2, QString("lab@example.lan"));
    r.Set(smtpTo3, QString("night@example.lan"));
    r.Set(smtpUser, QString("alerts"));
    r.Set(smtpPassword, QString("s3cret"));
    r.Set(smtpEvents, kEventColdStart | kEventWarmStart | kEventIpChange);
    r.Set(smtpPort, 4650);
    r.Set(smtpSecurity, 1);
    r.Set(firmwareFileName, QString("vtm5800x_v2.bin"));
    r.Set(wifiRf, 1);
    r.Set(wifiNetworkMode, 2);
    r.Set(wifiChannel, 6);
    r.Set(ssidLength, 6);
    r.Set(ssid, QString("LabNet"));
    r.Set(wifiSecurity, 2);
    r.Set(wepKeyIndex, 2);
    r.Set(wepKeyLength, 1);
    const char* keys64[] = {"abcde", "fghij", "klmno", "pqrst"};
    const char* keys128[] = {"ABCDEFGHIJKLM", "NOPQRSTUVWXYZ", "0123456789abc", "defghijklmnop"};
    for (int i = 0; i < 4; ++i) {
        r.SetWepKey(false, i, keys64[i]);
        r.SetWepKey(true, i, keys128[i]);
    }
    r.Set(pskLength, 13);
    r.Set(psk, QString("passphrase123"));
    r.Set(dhcpPoolStart, 0xC0A80A64);  // 192.168.10.100
    r.Set(dhcpPoolEnd, 0xC0A80AC8);
    r.Set(dhcpNetmask, 0xFFFFFF00);
    r.Set(dhcpGateway, 0xC0A80A01);
    r.Set(dhcpLeaseMinutes, 1440);
    r.Set(dhcpServerEnabled, 1);
    r.Set(ntpServer1, QString("pool.ntp.example"));
    r.Set(ntpServer2, QString("time.example.lan"));
    r.Set(ntpServer3, QString("ntp3.example.lan"));
    r.Set(ntpTimeZone, 13);
    r.Set(modbusPort, 4660);
    r.Set(modbusTransferMode, 1);
    r.Set(modbusSlaveId, 17);
    r.Set(modbusResponseTimeout, 1000);
    r.Set(modbusInterFrameDelay, 20);
    r.Set(modbusInterCharDelay, 30);
    return r;
}

// The setup command a Submit of the unchanged reply must produce: only the header, the
// marker and the reported link state differ.
inline DeviceConfigRecord ExpectedCommand(const DeviceConfigRecord& reply) {
    DeviceConfigRecord expected = reply;
    expected.Set(devrec::command, 2);
    expected.Set(devrec::marker, 1);
    expected.Set(devrec::linkStatus, 0);
    return expected;
}

// The `width` bytes of a record from `offset`.
inline std::vector<uint8_t> BytesAt(const DeviceConfigRecord& r, int offset, int width) {
    return {r.bytes().begin() + offset, r.bytes().begin() + offset + width};
}

// Offsets where two records differ, for readable failures.
inline std::vector<int> DifferingOffsets(const DeviceConfigRecord& a, const DeviceConfigRecord& b) {
    std::vector<int> offsets;
    for (int i = 0; i < devrec::kSize; ++i) {
        if (a.bytes()[i] != b.bytes()[i]) offsets.push_back(i);
    }
    return offsets;
}
