#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The seven private control requests of the virtual serial port driver and their buffers.
// Addresses and ports are kept in host order here and put on the wire in network order.
namespace vspd {

constexpr uint32_t kIoctlGetDosName = 0x00222024;
constexpr uint32_t kIoctlSetDosName = 0x00222044;
constexpr uint32_t kIoctlSetRemoteInfo = 0x00222048;
constexpr uint32_t kIoctlGetRemoteInfo = 0x00222088;
constexpr uint32_t kIoctlConnection = 0x0022204E;
constexpr uint32_t kIoctlDisconnection = 0x00222052;
constexpr uint32_t kIoctlServer = 0x00222058;

constexpr size_t kDosNameSize = 12;
constexpr size_t kDosNameUsed = 6;  // the program reads the name from the first 6 bytes
constexpr size_t kComNumberSize = 4;
constexpr size_t kRemoteInfoRequestSize = 32;
constexpr size_t kRemoteInfoReplySize = 36;

constexpr uint8_t kProtocolTcp = 0;
constexpr uint8_t kProtocolUdp = 1;

// Input of IOCTL_SET_REMOTE_INFO.
struct RemoteInfoRequest {
    uint32_t remoteIp = 0;  // host order
    uint16_t remotePort = 0;
    uint8_t protocol = kProtocolTcp;
    uint32_t connectAtStart = 0;
    uint32_t mode = 0;  // nonzero client, 0 server
    uint32_t enableVcom = 0;
    uint32_t maxPacketSize = 0;
    uint32_t hostIp = 0;  // host order; the interface the user selected

    std::array<uint8_t, kRemoteInfoRequestSize> Encode() const;
    // Only a buffer of exactly 32 bytes is a request.
    static std::optional<RemoteInfoRequest> Decode(std::span<const uint8_t> buffer);
    bool operator==(const RemoteInfoRequest&) const = default;
};

// Output of IOCTL_GET_REMOTE_INFO.
struct RemoteInfoReply {
    uint32_t remoteIp = 0;  // host order
    uint16_t remotePort = 0;
    uint8_t protocol = kProtocolTcp;
    uint32_t connectAtStart = 0;
    uint32_t connected = 0;
    uint32_t mode = 0;
    uint32_t enableVcom = 0;
    uint32_t maxPacketSize = 0;
    uint16_t reportedPort = 0;  // host order; PutBE16 gives back the bytes received

    std::array<uint8_t, kRemoteInfoReplySize> Encode() const;
    static std::optional<RemoteInfoReply> Decode(std::span<const uint8_t> buffer);
    bool operator==(const RemoteInfoReply&) const = default;
};

// Output of IOCTL_GET_DOS_NAME: the name, NUL-padded to 12 bytes.
std::array<uint8_t, kDosNameSize> EncodeDosName(const std::string& name);
// The name as the program reads it: up to the first NUL within the first 6 bytes.
std::string DecodeDosName(std::span<const uint8_t> buffer);

// Input of IOCTL_SET_DOS_NAME: the COM number, unsigned 32-bit little-endian.
std::array<uint8_t, kComNumberSize> EncodeComNumber(uint32_t number);
std::optional<uint32_t> DecodeComNumber(std::span<const uint8_t> buffer);

}  // namespace vspd
