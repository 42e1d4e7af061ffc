#include "bench/devsim/RawResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kBufferBytes = 1 << 20;

int BoundSocket(uint32_t address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kBufferBytes, sizeof kBufferBytes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

uint32_t NextAddress(uint32_t a) {
    do ++a;
    while ((a & 0xFF) == 0 || (a & 0xFF) == 0xFF);
    return a;
}

}  // namespace

RawResponder::RawResponder(uint32_t base, int count, uint16_t port, std::vector<QByteArray> replies)
    : replies_(std::move(replies)) {
    listener_ = BoundSocket(INADDR_ANY, port);
    stop_ = eventfd(0, EFD_CLOEXEC);
    uint32_t address = base;
    for (int i = 0; i < count; ++i, address = NextAddress(address)) {
        const int fd = BoundSocket(address, port);
        if (fd < 0) return;
        sockets_.push_back(fd);
    }
    ok_ = listener_ >= 0 && stop_ >= 0;
    if (ok_) thread_ = std::thread([this] { Run(); });
}

RawResponder::~RawResponder() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!write(stop_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : sockets_) close(fd);
    if (listener_ >= 0) close(listener_);
    if (stop_ >= 0) close(stop_);
}

void RawResponder::Run() {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_, POLLIN, 0}};
    char buffer[2048];
    for (;;) {
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (recvfrom(listener_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                     &length) < 9)
            continue;
        // Only loopback senders get an answer, as with the simulator.
        if ((ntohl(from.sin_addr.s_addr) >> 24) != 127) continue;
        for (size_t i = 0; i < sockets_.size(); ++i)
            sendto(sockets_[i], replies_[i].constData(), static_cast<size_t>(replies_[i].size()), 0,
                   reinterpret_cast<sockaddr*>(&from), length);
    }
}
