#pragma once

#include <QStringList>
#include <array>
#include <cstdint>

#include "devcfg/DeviceConfigRecord.h"
#include "devcfg/DeviceSetupValues.h"

// Between a device's record and what the setup pages show.

namespace setupmsg {
inline constexpr const char* kErrorCaption = "Error Info";
inline constexpr const char* kNoSpaces = " NO SPACES between the letters.";
inline constexpr const char* kDataBits = " Serial Port Data Bits Wrong.";
inline constexpr const char* kStopBits = " Serial Port Stop Bits Wrong.";
inline constexpr const char* kParity = " Serial Port Parity Wrong.";
inline constexpr const char* kFlowControl = " Serial Port Flow Control Wrong.";
inline constexpr const char* kBaudRate = " Serial Port Baud Rate wrong.";
inline constexpr const char* kSmtpSecurity = " SMTP Security select wrong.";
inline constexpr const char* kModbusTransferMode = " MODBUS Transfer Mode select wrong.";
inline constexpr const char* kWifiRf = " Wifi RF select wrong.";
inline constexpr const char* kWifiNetworkMode = " Wifi Network Mode select wrong.";
inline constexpr const char* kWifiChannel = " Wifi Channel select wrong.";
inline constexpr const char* kWifiSecurity = " Wifi Encrypt Mode select wrong.";
inline constexpr const char* kApWep = "AP Mode Doesn't Support WEP Security.";
inline constexpr const char* kWepKeyIndex = " Wifi Wep Key Index wrong.";
inline constexpr const char* kWepKeyLength = " Wifi Wep Key Len wrong.";
inline constexpr const char* kDhcpStatus = " Dhcp Status select wrong.";
inline constexpr const char* kTimeZone = " NTP Time Zone select wrong.";
// Address texts of the Network page that are not addresses; a device given
// 255.255.255.255 in their place would drop off the network.
inline constexpr const char* kStaticIp = " Static IP wrong.";
inline constexpr const char* kSubnetMask = " Subnet Mask wrong.";
inline constexpr const char* kGateway = " Gateway wrong.";
inline constexpr const char* kDnsServer = " DNS Server wrong.";
}  // namespace setupmsg

// Search replies, setup replies and the two acknowledgements (by the low four bits of the
// command byte) carry a record the sheet can show.
bool IsFillableCommand(uint8_t command);

// Sets every value from the record; an empty device name (read with 0xCC skipped) becomes
// "DSM" + (listIndex + 1). Leaves the values as they are and returns false for a record
// whose command the sheet does not take.
bool FillSetupValues(DeviceSetupValues& values, const DeviceConfigRecord& record, int listIndex);

struct SetupBuild {
    DeviceConfigRecord command;  // the setup command; fields whose check failed are zero
    QStringList errors;          // in the order they are to be shown
    bool Ok() const { return errors.isEmpty(); }
};

// Converts the values into a setup command carrying `mac`, running the sixteen checks in
// their order and then the Network page's address checks.
SetupBuild BuildSetupRecord(const DeviceSetupValues& values,
                            const std::array<uint8_t, devrec::kMacSize>& mac);
