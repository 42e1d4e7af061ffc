#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <span>

// Management messages: the 8-byte magic, a command byte, a qualifier byte, then a body.
namespace msg {

inline constexpr std::array<uint8_t, 8> kMagic{'Q', 'M', 'D', 'R', 'R', 'D', 'M', 'Q'};
inline constexpr int kMagicSize = 8;
inline constexpr int kCommandOffset = 8;
inline constexpr int kQualifierOffset = 9;
inline constexpr int kHeaderOnlySize = 9;  // magic and command, no qualifier
inline constexpr int kRecordSize = 756;
inline constexpr int kAnnouncementSize = 16;
inline constexpr int kAnnouncementAddressOffset = 10;
inline constexpr int kAnnouncementPortOffset = 14;

enum Command : uint8_t {
    kStatusProbe = 0x00,
    kSearchReply = 0x01,  // also the probe answer
    kSetupCommand = 0x02,
    kSetupReply = 0x03,
    kRestoreCommand = 0x08,
    kRestoreAck = 0x09,
    kRebootCommand = 0x0B,
    kRebootAck = 0x0C,
    kSearchRequest = 0x0E,
    kStatusQuery = 0x10,
    kStatusReply = 0x11,
    kHostAnnouncement = 0x12,
};

// UDP ports of the protocol.
inline constexpr uint16_t kBroadcastSocketPort = 25120;  // host
inline constexpr uint16_t kDevicePort = 25122;           // device management
inline constexpr uint16_t kDeviceProbePort = 25124;      // device probe and announcement
inline constexpr uint16_t kUnicastSocketPort = 25125;    // host
inline constexpr uint16_t kProbeSocketPort = 25126;      // host, virtual serial port view
inline constexpr const char* kBroadcastAddress = "255.255.255.255";

// Device name and MAC address as a stored search reply holds them (offsets 10 to 31).
inline constexpr int kIdentityOffset = 10;
inline constexpr int kIdentitySize = 22;

bool HasMagic(std::span<const uint8_t> datagram);

// size zero bytes but for the magic, the command and (when it fits) the qualifier.
QByteArray WithHeader(int size, Command command, uint8_t qualifier = 0);
// 9 bytes: the magic and the command.
QByteArray BuildHeaderOnly(Command command);
inline QByteArray BuildSearchRequest() {
    return BuildHeaderOnly(kSearchRequest);
}
inline QByteArray BuildStatusProbe() {
    return BuildHeaderOnly(kStatusProbe);
}
inline QByteArray BuildStatusQuery() {
    return BuildHeaderOnly(kStatusQuery);
}

// 756 bytes: the device's name and MAC address copied from its stored reply, zeros after.
// The reply must hold at least 32 bytes.
QByteArray BuildRestoreCommand(std::span<const uint8_t> storedReply);
QByteArray BuildRebootCommand(std::span<const uint8_t> storedReply);

// 16 bytes: host address in dotted order, then reportedPort exactly as the driver gave it.
QByteArray BuildHostAnnouncement(uint32_t hostAddress, std::array<uint8_t, 2> reportedPort);

}  // namespace msg
