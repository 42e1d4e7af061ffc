#include "tests/vspd/NetPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/SocketAddress.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kUdpBuffer = 4 * 1024 * 1024;
constexpr int kPollSliceMs = 20;
constexpr int kProbeMs = 10;

uint16_t BoundPort(int fd) {
    sockaddr_in a{};
    socklen_t length = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return net::HostOrderPort(a);
}

int MsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(0, int(left.count()));
}

}  // namespace

sockaddr_in Loopback(uint16_t port) {
    return net::Ipv4SocketAddress(kLoopback, port);
}

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes data(size);
    for (uint8_t& b : data) b = uint8_t(gen());
    return data;
}

Fd::~Fd() {
    reset();
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        reset(other.fd_);
        other.fd_ = -1;
    }
    return *this;
}

void Fd::reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
}

Fd TcpListen(uint16_t* port, int backlog) {
    Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int one = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a = Loopback(*port);
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
        listen(fd.get(), backlog) != 0) {
        return Fd();
    }
    *port = BoundPort(fd.get());
    return fd;
}

Fd AcceptWithin(int listenFd, int limitMs) {
    if (!WaitReadable(listenFd, limitMs)) return Fd();
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return Fd(fd);
}

Fd TcpConnect(uint16_t port) {
    Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = Loopback(port);
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) return Fd();
    fcntl(fd.get(), F_SETFL, O_NONBLOCK);
    return fd;
}

Fd UdpBind(uint16_t* port) {
    Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &kUdpBuffer, sizeof(kUdpBuffer));
    sockaddr_in a = Loopback(*port);
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) return Fd();
    *port = BoundPort(fd.get());
    return fd;
}

uint16_t FreePort() {
    uint16_t port = 0;
    Fd fd = TcpListen(&port);
    Fd udp = UdpBind(&port);  // free for both protocols
    return udp.valid() ? port : FreePort();
}

Fd OpenTty(const std::string& link) {
    return Fd(open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
}

bool WaitReadable(int fd, int limitMs) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, limitMs) > 0;
}

bool WaitWritable(int fd, int limitMs) {
    pollfd p{fd, POLLOUT, 0};
    return poll(&p, 1, limitMs) > 0;
}

Bytes ReadSome(int fd, size_t max, int limitMs) {
    Bytes data(max);
    if (!WaitReadable(fd, limitMs)) return {};
    ssize_t n = read(fd, data.data(), data.size());
    data.resize(n > 0 ? size_t(n) : 0);
    return data;
}

namespace {

// Writes the next piece of s.send; sent counts what went out.
void WriteSide(PumpSide& s, size_t& sent) {
    size_t n = std::min(s.chunk, s.send.size() - sent);
    ssize_t w = s.hasDest ? sendto(s.fd, s.send.data() + sent, n, MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&s.dest), sizeof(s.dest))
                          : write(s.fd, s.send.data() + sent, n);
    if (w > 0) sent += size_t(w);
}

void ReadSide(PumpSide& s) {
    uint8_t buffer[65536];
    ssize_t n = read(s.fd, buffer, sizeof(buffer));
    if (n <= 0) return;
    s.received.insert(s.received.end(), buffer, buffer + n);
    s.datagramSizes.push_back(size_t(n));
}

}  // namespace

bool Pump(PumpSide& a, PumpSide& b, size_t expectA, size_t expectB, int limitMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    size_t sentA = 0, sentB = 0;
    while (a.received.size() < expectA || b.received.size() < expectB) {
        if (Clock::now() >= deadline) return false;
        bool writeA = sentA < a.send.size() && (!a.datagram || b.received.size() >= sentA);
        bool writeB = sentB < b.send.size() && (!b.datagram || a.received.size() >= sentB);
        pollfd p[2] = {{a.fd, short(POLLIN | (writeA ? POLLOUT : 0)), 0},
                       {b.fd, short(POLLIN | (writeB ? POLLOUT : 0)), 0}};
        if (poll(p, 2, std::min(kPollSliceMs, MsLeft(deadline))) < 0 && errno != EINTR)
            return false;
        if (p[0].revents & POLLOUT) WriteSide(a, sentA);
        if (p[1].revents & POLLOUT) WriteSide(b, sentB);
        if (p[0].revents & POLLIN) ReadSide(a);
        if (p[1].revents & POLLIN) ReadSide(b);
    }
    return true;
}

Child::Child(const std::vector<std::string>& argv) {
    pid_ = fork();
    if (pid_ == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
}

Child::~Child() {
    Stop();
}

void Child::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool PollUntil(const std::function<bool()>& condition, int limitMs) {
    for (int waited = 0; !condition(); waited += kProbeMs) {
        if (waited >= limitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kProbeMs));
    }
    return true;
}

Bytes EchoThrough(int fd, const Bytes& data, size_t chunk, int limitMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    Bytes received;
    size_t sent = 0;
    while (received.size() < data.size() && Clock::now() < deadline) {
        if (sent == received.size()) {
            size_t n = std::min(chunk, data.size() - sent);
            ssize_t w = write(fd, data.data() + sent, n);
            if (w > 0) sent += size_t(w);
        }
        if (!WaitReadable(fd, std::min(kPollSliceMs, MsLeft(deadline)))) continue;
        uint8_t buffer[65536];
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n > 0) received.insert(received.end(), buffer, buffer + n);
    }
    return received;
}

bool WaitTcpListening(uint16_t port, int limitMs) {
    // The peer's start is an I/O wait: probe until a connection is taken.
    for (int waited = 0; waited < limitMs; waited += kProbeMs) {
        if (TcpConnect(port).valid()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kProbeMs));
    }
    return false;
}

long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}
