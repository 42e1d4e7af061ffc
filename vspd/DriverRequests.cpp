#include "vspd/DriverRequests.h"

#include <algorithm>

#include "protocol/ByteOrder.h"

namespace vspd {

std::array<uint8_t, kRemoteInfoRequestSize> RemoteInfoRequest::Encode() const {
    std::array<uint8_t, kRemoteInfoRequestSize> b{};
    bytes::PutBE32(&b[0], remoteIp);
    bytes::PutBE16(&b[4], remotePort);
    b[8] = protocol;
    bytes::PutLE32(&b[12], connectAtStart);
    bytes::PutLE32(&b[16], mode);
    bytes::PutLE32(&b[20], enableVcom);
    bytes::PutLE32(&b[24], maxPacketSize);
    bytes::PutBE32(&b[28], hostIp);
    return b;
}

std::optional<RemoteInfoRequest> RemoteInfoRequest::Decode(std::span<const uint8_t> b) {
    if (b.size() != kRemoteInfoRequestSize) return std::nullopt;
    RemoteInfoRequest r;
    r.remoteIp = bytes::GetBE32(&b[0]);
    r.remotePort = bytes::GetBE16(&b[4]);
    r.protocol = b[8];
    r.connectAtStart = bytes::GetLE32(&b[12]);
    r.mode = bytes::GetLE32(&b[16]);
    r.enableVcom = bytes::GetLE32(&b[20]);
    r.maxPacketSize = bytes::GetLE32(&b[24]);
    r.hostIp = bytes::GetBE32(&b[28]);
    return r;
}

std::array<uint8_t, kRemoteInfoReplySize> RemoteInfoReply::Encode() const {
    std::array<uint8_t, kRemoteInfoReplySize> b{};
    bytes::PutBE32(&b[0], remoteIp);
    bytes::PutBE16(&b[4], remotePort);
    b[8] = protocol;
    bytes::PutLE32(&b[12], connectAtStart);
    bytes::PutLE32(&b[16], connected);
    bytes::PutLE32(&b[20], mode);
    bytes::PutLE32(&b[24], enableVcom);
    bytes::PutLE32(&b[28], maxPacketSize);
    bytes::PutBE16(&b[32], reportedPort);
    return b;
}

std::optional<RemoteInfoReply> RemoteInfoReply::Decode(std::span<const uint8_t> b) {
    if (b.size() != kRemoteInfoReplySize) return std::nullopt;
    RemoteInfoReply r;
    r.remoteIp = bytes::GetBE32(&b[0]);
    r.remotePort = bytes::GetBE16(&b[4]);
    r.protocol = b[8];
    r.connectAtStart = bytes::GetLE32(&b[12]);
    r.connected = bytes::GetLE32(&b[16]);
    r.mode = bytes::GetLE32(&b[20]);
    r.enableVcom = bytes::GetLE32(&b[24]);
    r.maxPacketSize = bytes::GetLE32(&b[28]);
    r.reportedPort = bytes::GetBE16(&b[32]);
    return r;
}

std::array<uint8_t, kDosNameSize> EncodeDosName(const std::string& name) {
    std::array<uint8_t, kDosNameSize> b{};
    std::copy_n(name.begin(), std::min(name.size(), kDosNameSize - 1), b.begin());
    return b;
}

std::string DecodeDosName(std::span<const uint8_t> b) {
    auto used = b.first(std::min(b.size(), kDosNameUsed));
    auto end = std::find(used.begin(), used.end(), uint8_t{0});
    return std::string(used.begin(), end);
}

std::array<uint8_t, kComNumberSize> EncodeComNumber(uint32_t number) {
    std::array<uint8_t, kComNumberSize> b{};
    bytes::PutLE32(b.data(), number);
    return b;
}

std::optional<uint32_t> DecodeComNumber(std::span<const uint8_t> b) {
    if (b.size() != kComNumberSize) return std::nullopt;
    return bytes::GetLE32(b.data());
}

}  // namespace vspd
