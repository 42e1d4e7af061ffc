// The network side of a virtual port: connecting, listening, accepting and closing.
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "vspd/NetSockets.h"
#include "vspd/VirtualPort.h"
#include "vspd/WinErrors.h"

namespace vspd {

void VirtualPort::Connect(Done done) {
    if (config_.mode == 0) {
        done(Listen());
        return;
    }
    bool client = role_ == Role::TcpClient || role_ == Role::UdpClient;
    if (client && state_ == PortState::Connected) {
        done(winerr::kSuccess);
        return;
    }
    if (state_ == PortState::Connecting) {
        waiters_.push_back(std::move(done));
        return;
    }
    if (config_.remoteIp == 0 || config_.remotePort == 0 || config_.protocol > kProtocolUdp) {
        done(winerr::kInvalidParameter);
        return;
    }
    CloseAll();
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
    int fd = OpenUdp(localPort_, config_.remoteIp, config_.remotePort, &err);
    if (fd < 0) return WinErrorOfErrno(err);
    StartClient(fd, Role::UdpClient, PortState::Connected);
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
    peer_ = MakeAddress(config_.remoteIp, config_.remotePort);
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
    }
    UpdateMasks();
    std::vector<Done> waiters;
    waiters.swap(waiters_);
    for (Done& done : waiters) done(error);
}

uint32_t VirtualPort::Listen() {
    bool server = role_ == Role::TcpServer || role_ == Role::UdpServer;
    if (server) return winerr::kSuccess;
    if (config_.remotePort == 0 || config_.protocol > kProtocolUdp) {
        return winerr::kInvalidParameter;
    }
    CloseAll();
    int err = 0;
    if (config_.protocol == kProtocolTcp) {
        int fd = OpenTcpListener(config_.remotePort, &err);
        if (fd < 0) return WinErrorOfErrno(err);
        listen_ = fd;
        role_ = Role::TcpServer;
        listenWatch_ = FdWatch(loop_, fd, [this](uint32_t events) { OnListener(events); });
        listenWatch_.SetMask(EPOLLIN);
    } else {
        int fd = OpenUdp(config_.remotePort, 0, 0, &err);
        if (fd < 0) return WinErrorOfErrno(err);
        AdoptSocket(fd);
        role_ = Role::UdpServer;
        peerKnown_ = false;
    }
    listenPort_ = config_.remotePort;
    state_ = PortState::Listening;
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
        // The newest connection wins: a device that restarted reconnects while its old
        // connection may still look alive here.
        CloseData();
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

void VirtualPort::PeerGone() {
    CloseData();
    if (role_ != Role::TcpServer) {
        role_ = Role::None;
        state_ = PortState::Idle;
    }
}

void VirtualPort::Disconnect() {
    atBoot_ = false;
    loop_.Cancel(retryTimer_);
    retryTimer_ = 0;
    CloseAll();
}

void VirtualPort::StartAtBoot() {
    atBoot_ = true;
    RetryAtBoot();
}

void VirtualPort::RetryAtBoot() {
    retryTimer_ = 0;
    if (!atBoot_) return;
    auto finished = [this](uint32_t error) {
        if (error == winerr::kSuccess) {
            atBoot_ = false;
        } else if (atBoot_ && retryTimer_ == 0) {
            retryTimer_ = loop_.After(timing_.autoRetryMs, [this] { RetryAtBoot(); });
        }
    };
    Connect(finished);
}

}  // namespace vspd
