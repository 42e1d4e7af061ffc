#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The 756-byte device configuration record: the image of a whole search reply, setup reply
// or setup command, so offsets count from the first byte of the datagram. The record keeps
// the bytes themselves; fields are read and written through typed descriptors, each of which
// knows its offset and encoding.

namespace devrec {

struct TextField {
    int offset;
    int width;
};
struct ByteField {
    int offset;
};
struct Be16Field {
    int offset;
};
struct Le16Field {
    int offset;
};
struct Le32Field {
    int offset;
};
// IPv4 as four bytes, first octet first; the value is a host-order number.
struct NetAddressField {
    int offset;
};
// IPv4 as a little-endian 32-bit host-order number (bytes d, c, b, a).
struct HostWordAddressField {
    int offset;
};

inline constexpr int kSize = 756;
inline constexpr int kMacSize = 6;

inline constexpr ByteField command{8};
inline constexpr ByteField marker{9};
inline constexpr TextField deviceName{10, 16};
inline constexpr int macAddressOffset = 26;
inline constexpr ByteField netFlags{32};
inline constexpr ByteField modeFlags{33};
inline constexpr NetAddressField currentIp{34};
inline constexpr NetAddressField staticIp{38};
inline constexpr Be16Field listenPort{42};
inline constexpr Be16Field fixedPort{44};
inline constexpr Be16Field destinationPort{46};
inline constexpr TextField destinationHost{48, 36};
inline constexpr NetAddressField subnetMask{84};
inline constexpr NetAddressField gateway{88};
inline constexpr NetAddressField dnsServer{92};
inline constexpr ByteField dataBits{96};
inline constexpr ByteField stopBits{97};
inline constexpr ByteField parity{98};
inline constexpr ByteField flowControl{99};
inline constexpr Le32Field baudRate{100};
inline constexpr ByteField linkStatus{104};
inline constexpr Be16Field transmitTimer{106};
inline constexpr TextField smtpDomain{108, 36};
inline constexpr TextField smtpFrom{144, 36};
inline constexpr TextField smtpTo1{180, 36};
inline constexpr TextField smtpTo2{216, 36};
inline constexpr TextField smtpTo3{252, 36};
inline constexpr TextField smtpUser{288, 36};
inline constexpr TextField smtpPassword{324, 36};
inline constexpr Le16Field smtpEvents{360};
inline constexpr Le16Field smtpPort{362};
inline constexpr ByteField smtpSecurity{364};
inline constexpr TextField firmwareFileName{368, 64};
inline constexpr ByteField wifiRf{432};
inline constexpr ByteField wifiNetworkMode{433};
inline constexpr ByteField wifiChannel{434};
inline constexpr ByteField ssidLength{435};
inline constexpr TextField ssid{436, 33};
inline constexpr ByteField wifiSecurity{469};
inline constexpr ByteField wepKeyIndex{470};
inline constexpr ByteField wepKeyLength{471};
inline constexpr int wep64KeysOffset = 472;
inline constexpr int wep64KeyWidth = 5;
inline constexpr int wep128KeysOffset = 492;
inline constexpr int wep128KeyWidth = 13;
inline constexpr int wepKeyCount = 4;
inline constexpr ByteField pskLength{544};
inline constexpr TextField psk{545, 65};
inline constexpr HostWordAddressField dhcpPoolStart{612};
inline constexpr HostWordAddressField dhcpPoolEnd{616};
inline constexpr HostWordAddressField dhcpNetmask{620};
inline constexpr HostWordAddressField dhcpGateway{624};
inline constexpr Le16Field dhcpLeaseMinutes{628};
inline constexpr ByteField dhcpServerEnabled{630};
inline constexpr TextField ntpServer1{632, 36};
inline constexpr TextField ntpServer2{668, 36};
inline constexpr TextField ntpServer3{704, 36};
inline constexpr ByteField ntpTimeZone{740};
inline constexpr Le16Field modbusPort{744};
inline constexpr ByteField modbusTransferMode{746};
inline constexpr ByteField modbusSlaveId{747};
inline constexpr Le16Field modbusResponseTimeout{748};
inline constexpr Le16Field modbusInterFrameDelay{750};
inline constexpr Le16Field modbusInterCharDelay{752};

// Unnamed bytes that a setup command carries as zero: (offset, width).
inline constexpr std::array<std::pair<int, int>, 6> kReservedRanges{
    {{105, 1}, {365, 3}, {610, 2}, {631, 1}, {741, 3}, {754, 2}}};

// netFlags bits
inline constexpr uint8_t kClientMode = 0x80;
inline constexpr uint8_t kDhcpClient = 0x40;
inline constexpr uint8_t kUdp = 0x08;
inline constexpr uint8_t kTcp = 0x04;
// modeFlags bits
inline constexpr uint8_t kOperationModeMask = 0x03;
inline constexpr uint8_t kDaylightSaving = 0x10;
inline constexpr uint8_t kRtcFromNtp = 0x20;
// smtpEvents bits
inline constexpr uint16_t kEventColdStart = 0x01;
inline constexpr uint16_t kEventWarmStart = 0x02;
inline constexpr uint16_t kEventAuthFailure = 0x04;
inline constexpr uint16_t kEventIpChange = 0x08;
inline constexpr uint16_t kEventPasswordChange = 0x10;

inline constexpr uint8_t kSkipFF = 0xFF;
inline constexpr uint8_t kSkipCC = 0xCC;  // the setup sheet's reading of the device name

}  // namespace devrec

class DeviceConfigRecord {
  public:
    using Bytes = std::array<uint8_t, devrec::kSize>;

    DeviceConfigRecord() { bytes_.fill(0); }
    // Takes the first 756 bytes; nullopt when fewer are given.
    static std::optional<DeviceConfigRecord> FromBytes(std::span<const uint8_t> data);

    const Bytes& bytes() const { return bytes_; }
    Bytes& bytes() { return bytes_; }
    QByteArray ToByteArray() const;

    // Text: up to the first zero byte or the field's end, bytes equal to `skip` left out.
    QString Get(devrec::TextField f, uint8_t skip = devrec::kSkipFF) const;
    QByteArray GetRaw(devrec::TextField f, uint8_t skip = devrec::kSkipFF) const;
    // Copies at most the field's width into a zeroed field; a full field has no terminator.
    void Set(devrec::TextField f, const QString& text);
    void SetRaw(devrec::TextField f, const QByteArray& text);

    uint8_t Get(devrec::ByteField f) const { return bytes_[f.offset]; }
    void Set(devrec::ByteField f, uint8_t v) { bytes_[f.offset] = v; }
    uint16_t Get(devrec::Be16Field f) const;
    void Set(devrec::Be16Field f, uint16_t v);
    uint16_t Get(devrec::Le16Field f) const;
    void Set(devrec::Le16Field f, uint16_t v);
    uint32_t Get(devrec::Le32Field f) const;
    void Set(devrec::Le32Field f, uint32_t v);
    uint32_t Get(devrec::NetAddressField f) const;
    void Set(devrec::NetAddressField f, uint32_t hostOrder);
    uint32_t Get(devrec::HostWordAddressField f) const;
    void Set(devrec::HostWordAddressField f, uint32_t hostOrder);

    bool Flag(devrec::ByteField f, uint8_t mask) const { return (bytes_[f.offset] & mask) != 0; }
    void SetFlag(devrec::ByteField f, uint8_t mask, bool on);
    uint8_t OperationMode() const { return Get(devrec::modeFlags) & devrec::kOperationModeMask; }
    void SetOperationMode(uint8_t mode);

    std::array<uint8_t, devrec::kMacSize> MacAddress() const;
    void SetMacAddress(const std::array<uint8_t, devrec::kMacSize>& mac);
    // Upper-case groups joined by "-", as the setup sheet shows it.
    QString MacAddressText() const;

    // WEP key `index` (0-3) of the 64-bit (5 bytes) or 128-bit (13 bytes) set, read as text.
    QString WepKey(bool key128, int index) const;
    void SetWepKey(bool key128, int index, const QString& key);

    bool operator==(const DeviceConfigRecord&) const = default;

  private:
    static devrec::TextField WepField(bool key128, int index);
    Bytes bytes_;
};

// The setup command for an edited record: command 2, marker 1, fixed port 25122, link status
// 0, every unnamed byte zero, and the MAC address of the record the editor was opened with.
DeviceConfigRecord BuildSetupCommand(const DeviceConfigRecord& edited,
                                     const std::array<uint8_t, devrec::kMacSize>& openedMac);
