#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>

// Single-threaded epoll loop with one-shot timers. Every socket, pseudo-terminal and
// timer of the service runs on it.
namespace vspd {

class EventLoop;

// One descriptor's registration. A zero mask takes the descriptor out of epoll entirely,
// so that a hang-up that is always pending (a pty master without slave) cannot wake the
// loop. The watch does not own the descriptor.
class FdWatch {
  public:
    using Handler = std::function<void(uint32_t events)>;
    FdWatch() = default;
    FdWatch(EventLoop& loop, int fd, Handler handler);
    ~FdWatch();
    FdWatch(const FdWatch&) = delete;
    FdWatch& operator=(const FdWatch&) = delete;
    FdWatch(FdWatch&& other) noexcept;
    FdWatch& operator=(FdWatch&& other) noexcept;

    void SetMask(uint32_t mask);
    uint32_t Mask() const { return mask_; }
    // Unregisters for good; the descriptor can be closed afterwards.
    void Release();

  private:
    friend class EventLoop;
    void MoveFrom(FdWatch& other);
    EventLoop* loop_ = nullptr;
    int fd_ = -1;
    uint64_t token_ = 0;
    uint32_t mask_ = 0;
    Handler handler_;
};

class EventLoop {
  public:
    using Clock = std::chrono::steady_clock;
    using TimerId = uint64_t;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    TimerId After(int ms, std::function<void()> callback);
    void Cancel(TimerId id);

    // Runs until Stop. SIGTERM and SIGINT stop it too when WatchStopSignals was called.
    void Run();
    // One wait of at most timeoutMs (or until the next timer), its handlers and the timers
    // then due. False when nothing happened.
    bool RunOnce(int timeoutMs);
    void Stop() { stopped_ = true; }
    bool WatchStopSignals();

  private:
    friend class FdWatch;
    uint64_t Register(FdWatch* watch);
    void Unregister(uint64_t token);
    void Control(int op, int fd, uint64_t token, uint32_t mask);
    int NextTimeoutMs() const;
    bool FireTimers();

    int epoll_ = -1;
    int signalFd_ = -1;
    bool stopped_ = false;
    uint64_t nextToken_ = 1;
    std::unordered_map<uint64_t, FdWatch*> watches_;
    struct Timer {
        Clock::time_point due;
        std::function<void()> callback;
    };
    std::multimap<Clock::time_point, TimerId> dueOrder_;
    std::unordered_map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
};

}  // namespace vspd
