#include "upgrade/TftpSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "platform/SocketAddress.h"
#include "upgrade/TftpPacket.h"

TftpSocket::TftpSocket(Reader reader) : reader_(reader) {}

TftpSocket::~TftpSocket() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
}

bool TftpSocket::Open(uint32_t hostAddress) {
    if (fd_ >= 0) return true;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    const sockaddr_in local = net::Ipv4SocketAddress(hostAddress, 0);
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
    const sockaddr_in peer = net::Ipv4SocketAddress(address, port);
    const ssize_t sent =
        ::sendto(fd_, packet.constData(), static_cast<size_t>(packet.size()), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sent < 0) lastError_ = errno;
    return sent;
}

// One datagram per notification: the notifier fires again while more are queued, and in lock
// step the next one is rarely there yet, so a second read would mostly fail.
bool TftpSocket::ReadOne() {
    return Receive(MSG_DONTWAIT);
}

bool TftpSocket::WaitForOne(int maxWaitMs) {
    if (maxWaitMs == 0) return ReadOne();
    return SetWaitLimit(maxWaitMs) && Receive(0);
}

void TftpSocket::EndWaits() {
    // On an unconnected socket this reports ENOTCONN, yet it marks the socket shut for reading
    // and wakes whoever waits on it, which is all that is wanted here.
    ::shutdown(fd_, SHUT_RD);
}

// In lock step the limit is the retry period again and again: it is set only when it must
// shrink, or grow by more than the slack.
bool TftpSocket::SetWaitLimit(int maxWaitMs) {
    const int limit = maxWaitMs < 0 ? 0 : maxWaitMs;  // a receive timeout of 0 never expires
    const bool closeEnough = waitLimitMs_ > 0 && limit > 0 && waitLimitMs_ <= limit &&
                             limit - waitLimitMs_ <= kWaitSlackMs;
    if (closeEnough || limit == waitLimitMs_) return true;
    const timeval timeout{limit / 1000, (limit % 1000) * 1000};
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        lastError_ = errno;
        return false;
    }
    waitLimitMs_ = limit;
    return true;
}

bool TftpSocket::Receive(int flags) {
    char buffer[kTftpMaxPacketSize];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received = ::recvfrom(fd_, buffer, sizeof buffer, flags,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
    // A failed receive (an ICMP error reported on the socket, say) is ignored, and so is the
    // empty return of a socket shut for reading, which has no sender.
    if (received < 0 || fromLength != sizeof from) return false;
    if (receiver_) {
        receiver_(QByteArrayView(buffer, received), net::HostOrderAddress(from),
                  net::HostOrderPort(from));
    }
    return true;
}
