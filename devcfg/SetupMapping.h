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
// 255.255.255.255 in their place would drop off the network. Both the current and the static
// address go into the command, so both are checked, and a hidden one is named with the
// setting that shows it.
inline constexpr const char* kCurrentIp =
    " Current IP wrong. It shows while DHCP is Enable; Load a setting file with a right one or "
    "open Device Setup again.";
inline constexpr const char* kHiddenCurrentIp =
    " Current IP wrong. Load a setting file with a right one or open Device Setup again.";
inline constexpr const char* kStaticIp = " Static IP wrong.";
inline constexpr const char* kHiddenStaticIp =
    " Static IP wrong. Set DHCP to Disable to see and edit it.";
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

// A text longer than its control or its field in the command holds.
struct OverLongText {
    QString label;    // the control's label
    int limit = 0;    // characters
    QString control;  // the control's object name

    bool operator==(const OverLongText&) const = default;
};

struct SetupBuild {
    DeviceConfigRecord command;    // the setup command; fields whose check failed are zero
    QStringList errors;            // the failed checks, in the order they are to be shown
    QList<OverLongText> overLong;  // texts that would go out cut
    QString firstField;            // object name of the first named control that failed, if any
    bool Ok() const { return errors.isEmpty() && overLong.isEmpty(); }
};

// Converts the values into a setup command carrying `mac`, running the sixteen checks in
// their order, then the Network page's address checks. A text longer than its field in the
// command fails too (naming its control) rather than going out cut; WEP keys are the
// exception, sent as their first 5 (13) characters.
SetupBuild BuildSetupRecord(const DeviceSetupValues& values,
                            const std::array<uint8_t, devrec::kMacSize>& mac);
