// The network side of a virtual port: connecting, listening, accepting and closing.
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/SocketAddress.h"
#include "vspd/Log.h"
#include "vspd/NetSockets.h"
#include "vspd/VirtualPort.h"
#include "vspd/WinErrors.h"

namespace vspd {
namespace {

// Whether a link made with one configuration serves another.
bool SameLink(const RemoteInfoRequest& a, const RemoteInfoRequest& b) {
    bool server = a.mode == 0;
    return a.mode == b.mode && a.protocol == b.protocol && a.remotePort == b.remotePort &&
           (server ? a.hostIp == b.hostIp : a.remoteIp == b.remoteIp);
}

std::string Dotted(const sockaddr_in& a) {
    return net::DottedText(a) + ":" + std::to_string(net::HostOrderPort(a));
}

}  // namespace

void VirtualPort::Connect(Done done) {
    if (config_.mode == 0) {
        done(Listen());
        return;
    }
    bool client = role_ == Role::TcpClient || role_ == Role::UdpClient;
    bool same = SameLink(linkConfig_, config_);
    if (client && state_ == PortState::Connected && same) {
        done(winerr::kSuccess);
        return;
    }
    if (state_ == PortState::Connecting && same) {
        waiters_.push_back(std::move(done));
        return;
    }
    if (config_.remoteIp == 0 || config_.remotePort == 0 || config_.protocol > kProtocolUdp) {
        done(winerr::kInvalidParameter);
        return;
    }
    // A link made with other settings is made anew.
    CloseAll();
    linkConfig_ = config_;
    if (config_.protocol == kProtocolUdp) {
        done(ConnectUdp());
        return;
    }
    waiters_.push_back(std::move(done));
    ConnectTcp();
}

void VirtualPort::ConnectTcp() {
    int err = 0;
    int fd = StartTcpConnect(config_.remoteIp, config_.remotePort, &err);
    if (fd < 0) {
        ConnectFinished(WinErrorOfErrno(err));
        return;
    }
    StartClient(fd, Role::TcpClient, PortState::Connecting);
    if (err == 0) {
        OnConnecting(EPOLLOUT);
        return;
    }
    sockWatch_.SetMask(EPOLLOUT);
    connectTimer_ = loop_.After(timing_.connectTimeoutMs, [this] {
        connectTimer_ = 0;
        CloseData();
        ConnectFinished(winerr::kSemTimeout);
    });
}

void VirtualPort::OnConnecting(uint32_t) {
    int err = SocketError(sock_);
    if (err != 0) {
        CloseData();
        ConnectFinished(WinErrorOfErrno(err));
        return;
    }
    TuneStream(sock_);
    localPort_ = vspd::LocalPort(sock_);
    state_ = PortState::Connected;
    ConnectFinished(winerr::kSuccess);
}

uint32_t VirtualPort::ConnectUdp() {
    int err = 0;
    int fd = OpenUdp(INADDR_ANY, localPort_, config_.remoteIp, config_.remotePort, &err);
    if (fd < 0) return WinErrorOfErrno(err);
    StartClient(fd, Role::UdpClient, PortState::Connected);
    StopRetrying();
    uint16_t bound = vspd::LocalPort(fd);
    if (bound != localPort_) {
        localPort_ = bound;
        if (onLocalPortChanged) onLocalPortChanged();
    }
    UpdateMasks();
    return winerr::kSuccess;
}

void VirtualPort::StartClient(int fd, Role role, PortState state) {
    AdoptSocket(fd);
    role_ = role;
    state_ = state;
    peer_ = net::Ipv4SocketAddress(config_.remoteIp, config_.remotePort);
    peerKnown_ = true;
}

void VirtualPort::AdoptSocket(int fd) {
    sock_ = fd;
    sockWatch_ = FdWatch(loop_, fd, [this](uint32_t events) { OnSocket(events); });
}

void VirtualPort::ConnectFinished(uint32_t error) {
    loop_.Cancel(connectTimer_);
    connectTimer_ = 0;
    if (error != winerr::kSuccess) {
        role_ = Role::None;
        state_ = PortState::Idle;
    } else {
        StopRetrying();
    }
    UpdateMasks();
    std::vector<Done> waiters;
    waiters.swap(waiters_);
    for (Done& done : waiters) done(error);
}

uint32_t VirtualPort::Listen() {
    bool server = role_ == Role::TcpServer || role_ == Role::UdpServer;
    RemoteInfoRequest wanted = config_;
    wanted.mode = 0;
    if (server && SameLink(linkConfig_, wanted)) return winerr::kSuccess;
    if (config_.remotePort == 0 || config_.protocol > kProtocolUdp) {
        return winerr::kInvalidParameter;
    }
    CloseAll();
    linkConfig_ = wanted;
    if (config_.hostIp == INADDR_ANY) {
        Log("%s: listens on all addresses, port %u", Name().c_str(), config_.remotePort);
    }
    int err = 0;
    if (config_.protocol == kProtocolTcp) {
        int fd = OpenTcpListener(config_.hostIp, config_.remotePort, &err);
        if (fd < 0) return WinErrorOfErrno(err);
        listen_ = fd;
        role_ = Role::TcpServer;
        listenWatch_ = FdWatch(loop_, fd, [this](uint32_t events) { OnListener(events); });
        listenWatch_.SetMask(EPOLLIN);
    } else {
        int fd = OpenUdp(config_.hostIp, config_.remotePort, 0, 0, &err);
        if (fd < 0) return WinErrorOfErrno(err);
        AdoptSocket(fd);
        role_ = Role::UdpServer;
        peerKnown_ = false;
    }
    listenPort_ = config_.remotePort;
    state_ = PortState::Listening;
    StopRetrying();
    UpdateMasks();
    return winerr::kSuccess;
}

void VirtualPort::OnListener(uint32_t) {
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        int fd = accept4(listen_, reinterpret_cast<sockaddr*>(&from), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        // The connected device keeps the port; a dead one is found by keep-alive.
        if (sock_ >= 0) {
            RefuseConnection(fd, from);
            continue;
        }
        AdoptSocket(fd);
        peer_ = from;
        peerKnown_ = true;
        TuneStream(fd);
    }
    UpdateMasks();
}

void VirtualPort::CloseData() {
    sockWatch_.Release();
    if (sock_ >= 0) close(sock_);
    sock_ = -1;
    peerKnown_ = false;
    sockHup_ = false;
}

void VirtualPort::CloseAll() {
    if (state_ == PortState::Connecting) {
        CloseData();
        ConnectFinished(winerr::kConnectionAborted);
    }
    CloseData();
    listenWatch_.Release();
    if (listen_ >= 0) close(listen_);
    listen_ = -1;
    role_ = Role::None;
    state_ = PortState::Idle;
    UpdateMasks();
}

void VirtualPort::RefuseConnection(int fd, const sockaddr_in& from) {
    close(fd);
    Log("%s: refused a connection from %s while %s is connected", Name().c_str(),
        Dotted(from).c_str(), Dotted(peer_).c_str());
}

void VirtualPort::PeerGone(int err) {
    std::string reason = err == 0 ? "closed by the peer" : std::strerror(err);
    std::string peer = Dotted(peer_);
    CloseData();
    if (role_ == Role::TcpServer) {
        Log("%s: the connection from %s ended (%s); waiting for the next", Name().c_str(),
            peer.c_str(), reason.c_str());
        return;
    }
    bool dropped = role_ == Role::TcpClient && state_ == PortState::Connected;
    role_ = Role::None;
    state_ = PortState::Idle;
    if (dropped) {
        Log("%s: the link to %s dropped (%s); restoring it", Name().c_str(), peer.c_str(),
            reason.c_str());
        StartRetrying(timing_.reconnectFirstMs, true);
    }
}

void VirtualPort::Disconnect() {
    StopRetrying();
    CloseAll();
}

void VirtualPort::StartAtBoot() {
    StartRetrying(0, false);
}

void VirtualPort::StartRetrying(int firstDelayMs, bool backoff) {
    StopRetrying();
    retrying_ = true;
    backoff_ = backoff;
    retryDelayMs_ = firstDelayMs;
    if (firstDelayMs == 0) {
        retryDelayMs_ = timing_.autoRetryMs;
        Retry();
    } else {
        ScheduleRetry();
    }
}

void VirtualPort::ScheduleRetry() {
    retryTimer_ = loop_.After(retryDelayMs_, [this] { Retry(); });
    if (backoff_) retryDelayMs_ = std::min(retryDelayMs_ * 2, timing_.reconnectMaxMs);
}

void VirtualPort::Retry() {
    retryTimer_ = 0;
    if (!retrying_) return;
    Connect([this](uint32_t error) {
        if (error != winerr::kSuccess && retrying_ && retryTimer_ == 0) ScheduleRetry();
    });
}

void VirtualPort::StopRetrying() {
    retrying_ = false;
    loop_.Cancel(retryTimer_);
    retryTimer_ = 0;
}

}  // namespace vspd
