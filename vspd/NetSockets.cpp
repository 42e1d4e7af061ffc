#include "vspd/NetSockets.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SocketAddress.h"
#include "vspd/WinErrors.h"

namespace vspd {
namespace {

constexpr int kListenBacklog = 4;
constexpr int kUdpReceiveBuffer = 4 * 1024 * 1024;
constexpr int kKeepIdleSeconds = 20;
constexpr int kKeepIntervalSeconds = 10;
constexpr int kKeepProbes = 3;
constexpr int kUnacknowledgedLimitMs = 50000;

int Fail(int fd, int* err) {
    *err = errno;
    if (fd >= 0) close(fd);
    return -1;
}

void SetInt(int fd, int level, int name, int value) {
    setsockopt(fd, level, name, &value, sizeof(value));
}

}  // namespace

int StartTcpConnect(uint32_t ip, uint16_t port, int* err) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(fd, err);
    sockaddr_in a = net::Ipv4SocketAddress(ip, port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) {
        *err = 0;
    } else if (errno == EINPROGRESS) {
        *err = EINPROGRESS;
    } else {
        return Fail(fd, err);
    }
    return fd;
}

int OpenTcpListener(uint32_t localIp, uint16_t port, int* err) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(fd, err);
    SetInt(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    sockaddr_in a = net::Ipv4SocketAddress(localIp, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
        listen(fd, kListenBacklog) != 0) {
        return Fail(fd, err);
    }
    *err = 0;
    return fd;
}

int OpenUdp(uint32_t localIp, uint16_t localPort, uint32_t remoteIp, uint16_t remotePort,
            int* err) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(fd, err);
    // Bursts from a device must not be dropped while the tty side catches up.
    SetInt(fd, SOL_SOCKET, SO_RCVBUF, kUdpReceiveBuffer);
    sockaddr_in local = net::Ipv4SocketAddress(localIp, localPort);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        if (remotePort == 0 || localPort == 0) return Fail(fd, err);
        // A client only wishes for its former port; any port will do.
        local.sin_port = 0;
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) return Fail(fd, err);
    }
    if (remotePort != 0) {
        sockaddr_in remote = net::Ipv4SocketAddress(remoteIp, remotePort);
        if (connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0) {
            return Fail(fd, err);
        }
    }
    *err = 0;
    return fd;
}

void TuneStream(int fd) {
    SetInt(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetInt(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetInt(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSeconds);
    SetInt(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSeconds);
    SetInt(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepProbes);
    SetInt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, kUnacknowledgedLimitMs);
}

int SocketError(int fd) {
    int value = 0;
    socklen_t length = sizeof(value);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &value, &length) != 0) return errno;
    return value;
}

uint16_t LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t length = sizeof(a);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) return 0;
    return net::HostOrderPort(a);
}

uint32_t WinErrorOfErrno(int err) {
    switch (err) {
        case ECONNREFUSED:
            return winerr::kConnectionRefused;
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
            return winerr::kSemTimeout;
        case EADDRINUSE:
            return winerr::kAddressInUse;
        case EACCES:
        case EPERM:
            return winerr::kAccessDenied;
        case EINVAL:
        case EADDRNOTAVAIL:
            return winerr::kInvalidParameter;
        default:
            return winerr::kGenFailure;
    }
}

}  // namespace vspd
