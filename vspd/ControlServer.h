#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "vspd/ControlProtocol.h"
#include "vspd/EventLoop.h"

// The Unix-domain control socket (mode 0600 in a 0700 directory) and its sessions. Each
// session reads one framed request, hands it to the handler and reads the next only
// after the reply is out. A frame longer than allowed gets an error reply and ends its
// session; a body that does not decode gets an error reply and the session goes on.
// A session that has sent part of a frame and then nothing for the idle limit is
// closed. When every session place is taken, a newcomer takes the place of the session
// whose part of a frame is oldest, else of the session that has waited longest holding
// nothing (no request, no port handle); when every session is busy or holds a handle, it
// waits in the backlog until a place is free.
namespace vspd {

constexpr int kSessionIdleLimitMs = 5000;

// What the control socket hands its decoded requests to.
class RequestSink {
  public:
    using Respond = std::function<void(Reply)>;
    virtual ~RequestSink() = default;
    // respond runs exactly once, at once or later.
    virtual void Handle(uint64_t session, const Request& request, Respond respond) = 0;
    virtual void SessionClosed(uint64_t session) = 0;
    // Whether the session holds a port handle: such a session is never closed to make room.
    virtual bool HoldsHandle(uint64_t session) const = 0;
};

class ControlServer {
  public:
    ControlServer(EventLoop& loop, RequestSink& handler, int idleLimitMs = kSessionIdleLimitMs);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Refuses to take over a socket that a running service answers on.
    bool Listen(const std::string& path, std::string* error);

  private:
    struct Session {
        int fd = -1;
        FdWatch watch;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
        size_t outSent = 0;
        bool busy = false;         // a request is being handled
        bool dispatching = false;  // inside Dispatch: replies are only queued
        bool closing = false;      // close once the output is out
        EventLoop::TimerId idleTimer = 0;
        EventLoop::Clock::time_point lastInput;
    };

    void Accept();
    // Closes the session whose part of a frame waits longest, else the one idle longest
    // without a handle; false when there is none of either.
    bool EvictStalest();
    bool Idle(uint64_t id, const Session& s) const;
    // Times a part of a frame; a whole one, or a request being handled, is not timed.
    void ArmIdleLimit(uint64_t id);
    void OnSession(uint64_t id, uint32_t events);
    void Dispatch(uint64_t id);
    void Respond(uint64_t id, const Reply& reply);
    void Queue(Session& s, const std::vector<uint8_t>& body);
    // Sends what is queued and sets the session's mask; false when it has been closed.
    bool Flush(uint64_t id);
    void Update(Session& s);
    void CloseSession(uint64_t id);

    EventLoop& loop_;
    RequestSink& handler_;
    int idleLimitMs_;
    std::string path_;
    int listen_ = -1;
    FdWatch listenWatch_;
    uint64_t nextId_ = 1;
    std::unordered_map<uint64_t, std::unique_ptr<Session>> sessions_;
};

}  // namespace vspd
