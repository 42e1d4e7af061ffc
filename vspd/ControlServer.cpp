#include "vspd/ControlServer.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protocol/ByteOrder.h"
#include "vspd/VspdPaths.h"
#include "vspd/WinErrors.h"

namespace vspd {
namespace {

constexpr size_t kMaxSessions = 128;
constexpr int kBacklog = 16;
constexpr size_t kInputLimit = kFrameHeaderSize + kMaxRequestBody;
constexpr size_t kReadChunk = 4096;

std::vector<uint8_t> ErrorBody(uint32_t op, uint32_t error) {
    std::vector<uint8_t> body(8);
    bytes::PutLE32(&body[0], op);
    bytes::PutLE32(&body[4], error);
    return body;
}

bool SameUser(int fd) {
    ucred cred{};
    socklen_t length = sizeof(cred);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return false;
    return cred.uid == getuid() || cred.uid == 0;
}

}  // namespace

ControlServer::ControlServer(EventLoop& loop, RequestSink& handler, int idleLimitMs)
    : loop_(loop), handler_(handler), idleLimitMs_(idleLimitMs) {}

ControlServer::~ControlServer() {
    while (!sessions_.empty()) CloseSession(sessions_.begin()->first);
    listenWatch_.Release();
    if (listen_ >= 0) {
        close(listen_);
        unlink(path_.c_str());
    }
}

bool ControlServer::Listen(const std::string& path, std::string* error) {
    sockaddr_un addr;
    if (!UnixAddress(path, &addr)) {
        *error = path + ": path too long for a socket";
        return false;
    }
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool running =
        probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    if (probe >= 0) close(probe);
    if (running) {
        *error = path + ": another service is running";
        return false;
    }
    unlink(path.c_str());
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    mode_t old = umask(0177);
    bool ok = listen_ >= 0 && bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    umask(old);
    if (!ok || chmod(path.c_str(), 0600) != 0 || listen(listen_, kBacklog) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    listenWatch_ = FdWatch(loop_, listen_, [this](uint32_t) { Accept(); });
    listenWatch_.SetMask(EPOLLIN);
    return true;
}

void ControlServer::Accept() {
    for (;;) {
        if (sessions_.size() >= kMaxSessions && !EvictStalest()) {
            listenWatch_.SetMask(0);  // until a session ends
            return;
        }
        int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (!SameUser(fd)) {
            close(fd);
            continue;
        }
        uint64_t id = nextId_++;
        auto session = std::make_unique<Session>();
        session->fd = fd;
        session->lastInput = EventLoop::Clock::now();
        session->watch = FdWatch(loop_, fd, [this, id](uint32_t events) { OnSession(id, events); });
        Update(*session);
        sessions_[id] = std::move(session);
    }
}

void ControlServer::OnSession(uint64_t id, uint32_t events) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    if ((events & EPOLLOUT) && !Flush(id)) return;
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        size_t room = kInputLimit - s.in.size();
        if (room > kReadChunk) room = kReadChunk;
        size_t old = s.in.size();
        s.in.resize(old + room);
        ssize_t n = room == 0 ? 0 : recv(s.fd, s.in.data() + old, room, 0);
        s.in.resize(old + (n > 0 ? size_t(n) : 0));
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            CloseSession(id);
            return;
        }
        if (n > 0) s.lastInput = EventLoop::Clock::now();
        Dispatch(id);
        ArmIdleLimit(id);
    }
}

void ControlServer::ArmIdleLimit(uint64_t id) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    loop_.Cancel(s.idleTimer);
    s.idleTimer = 0;
    // A waiting newcomer may take this place now.
    listenWatch_.SetMask(EPOLLIN);
    if (s.in.empty() || s.busy || s.closing) return;
    s.idleTimer = loop_.After(idleLimitMs_, [this, id] {
        sessions_.at(id)->idleTimer = 0;
        CloseSession(id);
    });
}

bool ControlServer::Idle(uint64_t id, const Session& s) const {
    return s.in.empty() && !s.busy && !s.closing && s.out.empty() && !handler_.HoldsHandle(id);
}

bool ControlServer::EvictStalest() {
    auto halfFrame = sessions_.end();
    auto idle = sessions_.end();
    auto older = [](auto candidate, auto best, auto end) {
        return best == end || candidate->second->lastInput < best->second->lastInput;
    };
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
        if (it->second->idleTimer != 0) {
            if (older(it, halfFrame, sessions_.end())) halfFrame = it;
        } else if (Idle(it->first, *it->second) && older(it, idle, sessions_.end())) {
            idle = it;
        }
    }
    auto victim = halfFrame != sessions_.end() ? halfFrame : idle;
    if (victim == sessions_.end()) return false;
    CloseSession(victim->first);
    return true;
}

void ControlServer::Dispatch(uint64_t id) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    s.dispatching = true;
    while (!s.busy && !s.closing && s.in.size() >= kFrameHeaderSize) {
        uint32_t length = bytes::GetLE32(s.in.data());
        if (length > kMaxRequestBody) {
            uint32_t op = s.in.size() >= 8 ? bytes::GetLE32(&s.in[4]) : 0;
            Queue(s, ErrorBody(op, winerr::kInvalidParameter));
            s.closing = true;
            break;
        }
        if (s.in.size() < kFrameHeaderSize + length) break;
        std::vector<uint8_t> body(s.in.begin() + kFrameHeaderSize,
                                  s.in.begin() + kFrameHeaderSize + length);
        s.in.erase(s.in.begin(), s.in.begin() + kFrameHeaderSize + length);
        DecodedRequest decoded = DecodeRequest(body);
        if (!decoded.request) {
            Queue(s, ErrorBody(decoded.op, decoded.error));
            continue;
        }
        s.busy = true;
        handler_.Handle(id, *decoded.request, [this, id](Reply reply) { Respond(id, reply); });
    }
    s.dispatching = false;
    Flush(id);
}

void ControlServer::Respond(uint64_t id, const Reply& reply) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    Queue(s, EncodeReply(reply));
    s.busy = false;
    if (!s.dispatching) {
        Dispatch(id);
        ArmIdleLimit(id);
    }
}

void ControlServer::Queue(Session& s, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> frame = Frame(body);
    s.out.insert(s.out.end(), frame.begin(), frame.end());
}

bool ControlServer::Flush(uint64_t id) {
    Session& s = *sessions_.at(id);
    while (s.outSent < s.out.size()) {
        ssize_t n = send(s.fd, s.out.data() + s.outSent, s.out.size() - s.outSent,
                         MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            s.outSent += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            Update(s);
            return true;
        } else {
            CloseSession(id);
            return false;
        }
    }
    s.out.clear();
    s.outSent = 0;
    if (s.closing) {
        CloseSession(id);
        return false;
    }
    Update(s);
    return true;
}

void ControlServer::Update(Session& s) {
    uint32_t mask = 0;
    if (!s.busy && !s.closing && s.in.size() < kInputLimit) mask |= EPOLLIN;
    // A session that goes away while its request waits (a connection attempt) is noticed,
    // so that the attempt ends with it.
    if (s.busy) mask |= EPOLLRDHUP;
    if (!s.out.empty()) mask |= EPOLLOUT;
    s.watch.SetMask(mask);
}

void ControlServer::CloseSession(uint64_t id) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    const std::unique_ptr<Session> s = std::move(it->second);
    sessions_.erase(it);
    loop_.Cancel(s->idleTimer);
    s->watch.Release();
    close(s->fd);
    // Gone first: what the handler answers while it lets go of the session (an attempt it
    // ends) finds no session to write to.
    handler_.SessionClosed(id);
    if (listen_ >= 0) listenWatch_.SetMask(EPOLLIN);
}

}  // namespace vspd
