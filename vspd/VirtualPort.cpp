#include "vspd/VirtualPort.h"

#include <unistd.h>

#include <cstdio>

#include "platform/SocketAddress.h"
#include "vspd/WinErrors.h"

namespace vspd {

constexpr size_t kQueueSize = 64 * 1024;  // also holds the largest datagram

VirtualPort::VirtualPort(EventLoop& loop, SlaveWatcher& watcher, const PortTiming& timing,
                         uint32_t instance)
    : loop_(loop),
      watcher_(watcher),
      timing_(timing),
      instance_(instance),
      up_(kQueueSize),
      down_(kQueueSize) {}

VirtualPort::~VirtualPort() {
    StopRetrying();
    StopPacing();
    StopWaitingForOpen();
    CloseAll();
    masterWatch_.Release();
    watcher_.Remove(watch_);
}

bool VirtualPort::Create(std::string* error) {
    if (!pty_.Create(error)) return false;
    watch_ = watcher_.Add(pty_.SlavePath());
    masterWatch_ = FdWatch(loop_, pty_.Master(), [this](uint32_t events) { OnMaster(events); });
    ttyHup_ = true;
    hupDrained_ = true;
    UpdateMasks();
    return true;
}

void VirtualPort::SetConfig(const RemoteInfoRequest& config) {
    // Ends the retries of connect-at-start, not the restoring of a dropped link.
    if (config.connectAtStart == 0 && retrying_ && !backoff_) StopRetrying();
    config_ = config;
}

std::string VirtualPort::Name() const {
    char name[32];
    std::snprintf(name, sizeof(name), "ROOT\\PORTS\\%04u", instance_);
    return name;
}

RemoteInfoReply VirtualPort::Info() const {
    RemoteInfoReply r;
    r.remoteIp = config_.remoteIp;
    r.remotePort = config_.remotePort;
    r.protocol = config_.protocol;
    r.connectAtStart = config_.connectAtStart;
    // A listening server counts as connected: the program shows it as "Server" and offers
    // Close for it only while this is set.
    r.connected = state_ == PortState::Connected || state_ == PortState::Listening;
    r.mode = config_.mode;
    r.enableVcom = config_.enableVcom;
    r.maxPacketSize = config_.maxPacketSize;
    bool server = role_ == Role::TcpServer || role_ == Role::UdpServer;
    r.reportedPort = server ? listenPort_ : localPort_;
    return r;
}

void VirtualPort::Describe(PortEntry& e) const {
    e.ttyPath = LinkTarget();
    e.isVirtual = 1;
    e.state = state_;
    e.ttyOpen = SlaveHeldOpen();
    e.info = Info();
    e.hostIp = config_.hostIp;
    if (sock_ >= 0 && (role_ != Role::UdpServer || peerKnown_)) {
        e.peerIp = net::HostOrderAddress(peer_);
        e.peerPort = net::HostOrderPort(peer_);
    }
    e.bytesToNet = bytesToNet_;
    e.bytesFromNet = bytesFromNet_;
    e.droppedToNet = droppedToNet_;
    e.droppedFromNet = droppedFromNet_;
    e.strangerDatagrams = strangerDatagrams_;
}

}  // namespace vspd
