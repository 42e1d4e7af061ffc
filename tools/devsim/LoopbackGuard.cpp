#include "tools/devsim/LoopbackGuard.h"

#include <QUdpSocket>

namespace devsim {

namespace {
constexpr uint32_t kLoopbackNet = 0x7F000000;
constexpr uint32_t kLoopbackMask = 0xFF000000;
}  // namespace

bool InLoopbackNet(uint32_t address) {
    return (address & kLoopbackMask) == kLoopbackNet;
}

bool IsAssignableLoopback(uint32_t address) {
    const uint8_t last = static_cast<uint8_t>(address);
    return InLoopbackNet(address) && last != 0 && last != 255;
}

bool IsLoopbackDestination(const QHostAddress& address) {
    // IPv4 only: a mapped or native IPv6 address is refused rather than interpreted.
    if (address.protocol() != QAbstractSocket::IPv4Protocol) return false;
    return InLoopbackNet(address.toIPv4Address());
}

bool SendToLoopback(QUdpSocket& socket, const QByteArray& data, const QHostAddress& to,
                    uint16_t port) {
    if (!IsLoopbackDestination(to)) return false;
    return socket.writeDatagram(data, to, port) == data.size();
}

}  // namespace devsim
