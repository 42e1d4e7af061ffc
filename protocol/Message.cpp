#include "protocol/Message.h"

#include <algorithm>

#include "protocol/ByteOrder.h"

namespace msg {

QByteArray WithHeader(int size, Command command, uint8_t qualifier) {
    QByteArray out(size, '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    std::copy(kMagic.begin(), kMagic.end(), p);
    p[kCommandOffset] = command;
    if (size > kQualifierOffset) p[kQualifierOffset] = qualifier;
    return out;
}

namespace {

QByteArray BuildDeviceCommand(Command command, uint8_t qualifier,
                              std::span<const uint8_t> storedReply) {
    QByteArray out = WithHeader(kRecordSize, command, qualifier);
    const size_t available =
        storedReply.size() > kIdentityOffset
            ? std::min<size_t>(storedReply.size() - kIdentityOffset, kIdentitySize)
            : 0;
    std::copy_n(storedReply.begin() + (available ? kIdentityOffset : 0), available,
                reinterpret_cast<uint8_t*>(out.data()) + kIdentityOffset);
    return out;
}

}  // namespace

bool HasMagic(std::span<const uint8_t> datagram) {
    return datagram.size() >= kMagic.size() &&
           std::equal(kMagic.begin(), kMagic.end(), datagram.begin());
}

QByteArray BuildHeaderOnly(Command command) {
    return WithHeader(kHeaderOnlySize, command, 0);
}

QByteArray BuildRestoreCommand(std::span<const uint8_t> storedReply) {
    return BuildDeviceCommand(kRestoreCommand, 1, storedReply);
}

QByteArray BuildRebootCommand(std::span<const uint8_t> storedReply) {
    return BuildDeviceCommand(kRebootCommand, 0, storedReply);
}

QByteArray BuildHostAnnouncement(uint32_t hostAddress, std::array<uint8_t, 2> reportedPort) {
    QByteArray out = WithHeader(kAnnouncementSize, kHostAnnouncement, 0);
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    bytes::PutBE32(p + kAnnouncementAddressOffset, hostAddress);
    std::copy(reportedPort.begin(), reportedPort.end(), p + kAnnouncementPortOffset);
    return out;
}

}  // namespace msg
