#pragma once

#include <QString>
#include <array>
#include <cstdint>

// What the five setup pages show: one member per control. Lists hold their position, with
// kNoSelection for a list that shows nothing; number edits hold unsigned numbers; address
// edits of the Network page hold their text, the DHCP server's address controls a host-order
// number. The setup sheet fills these from a record and builds a record from them, and the
// device setting file writes and reads them.
inline constexpr int kNoSelection = -1;

struct DeviceSetupValues {
    // Network page
    QString deviceName;
    QString macAddress;  // shown only; the record's MAC address is kept by the sheet
    int operationMode = kNoSelection;
    int dhcp = kNoSelection;  // "Disable", "Enable"
    QString currentIp;        // shown while DHCP is enabled
    QString staticIp;
    bool clientMode = false;  // Server / Client radio pair
    uint32_t listenPort = 0;
    uint32_t destinationPort = 0;
    bool udp = false;
    bool tcp = false;
    QString destinationHost;
    QString subnetMask;
    QString gateway;
    QString dnsServer;
    uint32_t transmitTimer = 0;
    QString smtpDomain;
    QString smtpFrom;
    QString smtpTo1;
    QString smtpTo2;
    QString smtpTo3;
    QString smtpUser;
    QString smtpPassword;
    int smtpSecurity = kNoSelection;
    uint32_t smtpPort = 0;
    int eventIpChange = kNoSelection;
    int eventPasswordChange = kNoSelection;
    int eventAuthFail = kNoSelection;
    int eventColdStart = kNoSelection;
    int eventWarmStart = kNoSelection;  // no visible control: carried through
    QString firmwareFile;
    int modbusTransferMode = kNoSelection;
    uint32_t modbusPort = 0;
    uint32_t modbusSlaveId = 0;  // no control: carried through
    uint32_t modbusResponseTimeout = 0;
    uint32_t modbusInterFrameDelay = 0;
    uint32_t modbusInterCharDelay = 0;

    // Serial page
    int baudRate = kNoSelection;
    int dataBits = kNoSelection;
    int parity = kNoSelection;
    int stopBits = kNoSelection;
    int flowControl = kNoSelection;

    // WiFi page
    int wifiRf = kNoSelection;  // no visible control: carried through
    int wifiNetworkMode = kNoSelection;
    int wifiChannel = kNoSelection;
    QString ssid;
    int wifiSecurity = kNoSelection;
    int wepKeyIndex = kNoSelection;
    int wepKeyLength = kNoSelection;
    std::array<QString, 4> wep64Keys;
    std::array<QString, 4> wep128Keys;
    QString psk;

    // DHCP server page
    uint32_t dhcpPoolStart = 0;
    uint32_t dhcpPoolEnd = 0;
    uint32_t dhcpNetmask = 0;
    uint32_t dhcpGateway = 0;
    uint32_t dhcpLeaseMinutes = 0;
    int dhcpServerStatus = kNoSelection;

    // NTP page
    QString ntpServer1;
    QString ntpServer2;
    QString ntpServer3;
    int timeZone = kNoSelection;
    int rtcSetup = kNoSelection;  // "Manual", "NTP Server"
    int daylightSaving = kNoSelection;

    // The sheet's DHCP-client flag as last filled or loaded: which address edit a loaded
    // address line shows.
    bool dhcpClientFlag = false;

    bool operator==(const DeviceSetupValues&) const = default;
};

// Positions of the two-entry WiFi network mode and key length lists.
inline constexpr int kStationMode = 0;
inline constexpr int kAccessPointMode = 1;
inline constexpr int kWepSecurity = 1;
inline constexpr int kKeyLength128 = 1;
