#include "devmgr/TftpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "devmgr/TftpPacket.h"

namespace {

sockaddr_in SocketAddress(uint32_t address, uint16_t port) {
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = htonl(address);
    out.sin_port = htons(port);
    return out;
}

}  // namespace

TftpSocket::TftpSocket(Reader reader) : reader_(reader) {}

TftpSocket::~TftpSocket() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
}

bool TftpSocket::Open(uint32_t hostAddress) {
    if (fd_ >= 0) return true;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    const sockaddr_in local = SocketAddress(hostAddress, 0);
    const int on = 1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    if (reader_ == Reader::EventLoop) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { ReadOne(); });
    }
    return true;
}

int64_t TftpSocket::SendTo(const QByteArray& packet, uint32_t address, uint16_t port) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return -1;
    }
    const sockaddr_in peer = SocketAddress(address, port);
    const ssize_t sent = ::sendto(fd_, packet.constData(), static_cast<size_t>(packet.size()), 0,
                                  reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sent < 0) lastError_ = errno;
    return sent;
}

// One datagram per notification: the notifier fires again while more are queued, and in lock
// step the next one is rarely there yet, so a second read would mostly fail.
bool TftpSocket::ReadOne() {
    char buffer[kTftpMaxPacketSize];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    // A failed receive (an ICMP error reported on the socket, say) is ignored.
    if (received < 0) return false;
    if (receiver_) {
        receiver_(QByteArrayView(buffer, received), ntohl(from.sin_addr.s_addr),
                  ntohs(from.sin_port));
    }
    return true;
}
