// The data pump of a virtual port: pseudo-terminal master <-> network socket.
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "vspd/NetSockets.h"
#include "vspd/VirtualPort.h"

namespace vspd {
namespace {

constexpr int kReadsPerEvent = 8;  // then other descriptors get their turn
constexpr size_t kMaxDatagram = 65507;
constexpr unsigned kDatagramBatch = 64;
constexpr size_t kMaxSegments = 64;
constexpr size_t kMaxSegmentedBytes = 65000;  // within one UDP length field
// A flush takes at most this much of what the socket holds; the rest counts as new.
constexpr size_t kMaxDrain = 16 * 1024 * 1024;

uint8_t g_drain[kMaxDatagram];  // the service is single-threaded

}  // namespace

bool VirtualPort::HasDestination() const {
    return sock_ >= 0 && state_ != PortState::Connecting &&
           (role_ != Role::UdpServer || peerKnown_);
}

size_t VirtualPort::PacketLimit() const {
    size_t limit = config_.maxPacketSize == 0 ? up_.Capacity() : config_.maxPacketSize;
    if (!IsTcp()) limit = std::min(limit, kMaxDatagram);
    return std::min(limit, up_.Capacity());
}

void VirtualPort::UpdateMasks() {
    // Nothing is kept for a link that nobody wants any more.
    if (!LinkExpected()) DropUp();
    bool readTty = !HasDestination() || up_.Room() > 0;
    uint32_t master = 0;
    if (!ttyHup_) {
        // EPOLLHUP keeps the master registered, so that a close is seen at once.
        master = EPOLLHUP;
        if (readTty) master |= EPOLLIN;
        if (!down_.Empty() && mayWrite_ && !allClosed_) master |= EPOLLOUT;
    } else if (readTty && !hupDrained_) {
        // Collects what the program wrote before it closed the tty.
        master = EPOLLIN;
    } else {
        // Then the hang-up wakes the loop once, not for ever; a program that opens the port
        // unreported (no watch, or while the service empties the tty) shows when it writes.
        master = EPOLLIN | EPOLLET;
    }
    masterWatch_.SetMask(master);

    if (sock_ < 0 || state_ == PortState::Connecting) return;
    bool room = IsTcp() ? down_.Room() > 0 : down_.Empty();
    uint32_t sock = room ? uint32_t{EPOLLIN} : 0;
    if (!sockHup_ && !up_.Empty() && HasDestination()) sock |= EPOLLOUT;
    sockWatch_.SetMask(sock);
}

void VirtualPort::OnSocket(uint32_t events) {
    if (state_ == PortState::Connecting) {
        OnConnecting(events);
        return;
    }
    if (events & EPOLLERR) {
        // Reading the error clears it; a UDP socket only hears of ICMP errors this way.
        int err = SocketError(sock_);
        if (err != 0 && IsTcp()) {
            PeerGone(err);
            UpdateMasks();
            return;
        }
    }
    if (events & EPOLLOUT) SendUp();
    if (sock_ >= 0 && (events & (EPOLLIN | EPOLLHUP))) {
        if (events & EPOLLHUP) sockHup_ = true;
        LookAtTty();
        ReadSocket();
    }
    UpdateMasks();
}

void VirtualPort::ReadSocket() {
    for (int i = 0; i < kReadsPerEvent && sock_ >= 0; ++i) {
        bool tcp = IsTcp();
        if (tcp ? down_.Room() == 0 : !down_.Empty()) break;
        uint8_t* p = down_.WritePtr();
        size_t room = down_.ContiguousRoom();
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        ssize_t n = tcp ? recv(sock_, p, room, MSG_DONTWAIT)
                        : recvfrom(sock_, p, room, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                   &length);
        if (n > 0 || (n == 0 && !tcp)) {
            if (role_ == Role::UdpServer && !AcceptSender(from)) continue;
            bytesFromNet_ += static_cast<uint64_t>(n);
            // A program may have opened the port since the last look: what came after its
            // open is its own.
            if (ttyHup_ && SlaveHeldOpen()) SlaveOpened();
            if (ttyHup_) {
                droppedFromNet_ += static_cast<uint64_t>(n);  // nobody holds the port
                continue;
            }
            down_.Produced(static_cast<size_t>(n));
            WriteMaster();
            if (tcp && size_t(n) < room) break;  // drained
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (!tcp) continue;  // a reported ICMP error; the next datagram may be fine
        PeerGone(n == 0 ? 0 : errno);
        return;
    }
}

bool VirtualPort::AcceptSender(const sockaddr_in& from) {
    // The first sender is the peer until the port is closed; a new source port from its
    // address is the same device restarted.
    if (peerKnown_ && from.sin_addr.s_addr != peer_.sin_addr.s_addr) {
        ++strangerDatagrams_;
        return false;
    }
    peer_ = from;
    peerKnown_ = true;
    return true;
}

size_t VirtualPort::SocketBacklog() const {
    int queued = 0;
    if (!IsTcp() || sock_ < 0 || state_ == PortState::Connecting || down_.Room() > 0 ||
        ioctl(sock_, SIOCINQ, &queued) != 0) {
        return 0;
    }
    return size_t(std::max(queued, 0));
}

void VirtualPort::DrainSocket(size_t limit) {
    if (sock_ < 0 || state_ == PortState::Connecting) return;
    limit = std::min(limit, kMaxDrain);
    for (size_t total = 0; total < limit;) {
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        ssize_t n = recvfrom(sock_, g_drain, std::min(sizeof(g_drain), limit - total), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // an end or error shows at the next read
        if (role_ == Role::UdpServer && !AcceptSender(from)) continue;
        bytesFromNet_ += static_cast<uint64_t>(n);
        droppedFromNet_ += static_cast<uint64_t>(n);
        total += size_t(n);
    }
}

void VirtualPort::SendUp() {
    if (!IsTcp()) {
        SendDatagrams();
        return;
    }
    // Each write is at most the packet size.
    while (!up_.Empty() && HasDestination()) {
        bool partial = false;
        if (SendSlices(&partial)) {
            if (partial) return;  // the socket is full
        } else if (errno != EINTR) {
            if (errno != EAGAIN) PeerGone(errno);
            return;
        }
    }
}

bool VirtualPort::SendSlices(bool* partial) {
    mmsghdr messages[kDatagramBatch];
    iovec pieces[kDatagramBatch];
    unsigned count = Slice(pieces, messages);
    // On TCP the slices but the last go with MSG_MORE, so that they may share segments
    // instead of each taking one; the last pushes them out.
    unsigned first = IsTcp() && count > 1 ? count - 1 : count;
    int more = first < count ? MSG_MORE : 0;
    int sent = sendmmsg(sock_, messages, first, MSG_DONTWAIT | MSG_NOSIGNAL | more);
    if (sent <= 0) return false;
    if (unsigned(sent) == first && messages[first - 1].msg_len == pieces[first - 1].iov_len &&
        first < count) {
        sent += std::max(0, sendmmsg(sock_, &messages[first], 1, MSG_DONTWAIT | MSG_NOSIGNAL));
    }
    size_t bytes = 0;
    for (int i = 0; i < sent; ++i) bytes += messages[i].msg_len;
    Sent(bytes);
    *partial = unsigned(sent) < count || messages[sent - 1].msg_len < pieces[sent - 1].iov_len;
    return true;
}

void VirtualPort::Sent(size_t bytes) {
    up_.Consumed(bytes);
    bytesToNet_ += bytes;
}

unsigned VirtualPort::Slice(iovec* pieces, mmsghdr* messages) {
    size_t limit = PacketLimit();
    bool addressed = role_ == Role::UdpServer;  // the other roles send on a connected socket
    unsigned count = 0;
    for (size_t offset = 0; count < kDatagramBatch && offset < up_.Size(); ++count) {
        size_t length = std::min(limit, up_.Size() - offset);
        pieces[count] = {const_cast<uint8_t*>(up_.ReadPtr()) + offset, length};
        messages[count] = {};
        messages[count].msg_hdr.msg_iov = &pieces[count];
        messages[count].msg_hdr.msg_iovlen = 1;
        if (addressed) {
            messages[count].msg_hdr.msg_name = &peer_;
            messages[count].msg_hdr.msg_namelen = sizeof(peer_);
        }
        offset += length;
    }
    return count;
}

// Several datagrams of the packet size in one buffer: the kernel cuts it (UDP_SEGMENT), so
// the stack is passed once per batch instead of once per datagram. Returns false when the
// batch was not sent (EAGAIN, or segmentation is not available: errno tells).
bool VirtualPort::SendSegmented(size_t limit) {
    size_t count = std::min<size_t>(kMaxSegments, kMaxSegmentedBytes / limit);
    size_t length = std::min(up_.Size(), count * limit);
    iovec piece{const_cast<uint8_t*>(up_.ReadPtr()), length};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(uint16_t))] = {};
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    if (role_ == Role::UdpServer) {
        message.msg_name = &peer_;
        message.msg_namelen = sizeof(peer_);
    }
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_UDP;
    c->cmsg_type = UDP_SEGMENT;
    c->cmsg_len = CMSG_LEN(sizeof(uint16_t));
    uint16_t segment = static_cast<uint16_t>(limit);
    std::memcpy(CMSG_DATA(c), &segment, sizeof(segment));
    if (sendmsg(sock_, &message, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) return false;
    Sent(length);
    return true;
}

void VirtualPort::SendDatagrams() {
    size_t limit = PacketLimit();
    while (segmentation_ && up_.Size() > limit && HasDestination() &&
           limit * 2 <= kMaxSegmentedBytes) {
        if (SendSegmented(limit)) continue;
        if (errno == EAGAIN) return;
        // Not offered for this route or size: one datagram per message from now on. Other
        // errors are the datagram path's to deal with.
        if (errno == EINVAL || errno == EIO || errno == ENOPROTOOPT || errno == EOPNOTSUPP) {
            segmentation_ = false;
        }
        break;
    }
    // One datagram per message, each at most the packet size.
    bool retried = false;
    while (!up_.Empty() && HasDestination()) {
        bool partial = false;
        if (SendSlices(&partial)) continue;
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return;
        // A connected UDP socket reports an earlier ICMP error instead of sending once;
        // send again. Any other failure loses the datagram, as the network would.
        if (errno == ECONNREFUSED && !retried) {
            retried = true;
            continue;
        }
        up_.Consumed(std::min(limit, up_.Size()));
    }
}

}  // namespace vspd
