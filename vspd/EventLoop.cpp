#include "vspd/EventLoop.h"

#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace vspd {

constexpr uint64_t kSignalToken = 0;
constexpr int kMaxEvents = 64;

FdWatch::FdWatch(EventLoop& loop, int fd, Handler handler)
    : loop_(&loop), fd_(fd), handler_(std::move(handler)) {
    token_ = loop_->Register(this);
}

FdWatch::~FdWatch() {
    Release();
}

FdWatch::FdWatch(FdWatch&& other) noexcept {
    MoveFrom(other);
}

FdWatch& FdWatch::operator=(FdWatch&& other) noexcept {
    if (this != &other) {
        Release();
        MoveFrom(other);
    }
    return *this;
}

void FdWatch::MoveFrom(FdWatch& other) {
    loop_ = other.loop_;
    fd_ = other.fd_;
    token_ = other.token_;
    mask_ = other.mask_;
    handler_ = std::move(other.handler_);
    if (loop_ && token_) loop_->watches_[token_] = this;
    other.loop_ = nullptr;
    other.token_ = 0;
    other.mask_ = 0;
    other.fd_ = -1;
}

void FdWatch::SetMask(uint32_t mask) {
    if (!loop_ || mask == mask_) return;
    int op = mask_ == 0 ? EPOLL_CTL_ADD : mask == 0 ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
    loop_->Control(op, fd_, token_, mask);
    mask_ = mask;
}

void FdWatch::Release() {
    if (!loop_) return;
    SetMask(0);
    loop_->Unregister(token_);
    loop_ = nullptr;
    token_ = 0;
}

EventLoop::EventLoop() {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
}

EventLoop::~EventLoop() {
    if (signalFd_ >= 0) close(signalFd_);
    if (epoll_ >= 0) close(epoll_);
}

uint64_t EventLoop::Register(FdWatch* watch) {
    uint64_t token = nextToken_++;
    watches_[token] = watch;
    return token;
}

void EventLoop::Unregister(uint64_t token) {
    watches_.erase(token);
}

void EventLoop::Control(int op, int fd, uint64_t token, uint32_t mask) {
    epoll_event ev{};
    ev.events = mask;
    ev.data.u64 = token;
    if (epoll_ctl(epoll_, op, fd, &ev) != 0) {
        std::fprintf(stderr, "veltro-vspd: epoll_ctl(%d, fd %d): %s\n", op, fd,
                     std::strerror(errno));
    }
}

bool EventLoop::WatchStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return false;
    signalFd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ < 0) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kSignalToken;
    return epoll_ctl(epoll_, EPOLL_CTL_ADD, signalFd_, &ev) == 0;
}

EventLoop::TimerId EventLoop::After(int ms, std::function<void()> callback) {
    TimerId id = nextTimer_++;
    auto due = Clock::now() + std::chrono::milliseconds(ms);
    timers_[id] = Timer{due, std::move(callback)};
    dueOrder_.emplace(due, id);
    return id;
}

void EventLoop::Cancel(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    auto range = dueOrder_.equal_range(it->second.due);
    for (auto o = range.first; o != range.second; ++o) {
        if (o->second == id) {
            dueOrder_.erase(o);
            break;
        }
    }
    timers_.erase(it);
}

int EventLoop::NextTimeoutMs() const {
    if (dueOrder_.empty()) return -1;
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(dueOrder_.begin()->first - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

bool EventLoop::FireTimers() {
    bool fired = false;
    auto now = Clock::now();
    while (!dueOrder_.empty() && dueOrder_.begin()->first <= now) {
        TimerId id = dueOrder_.begin()->second;
        dueOrder_.erase(dueOrder_.begin());
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;
        auto callback = std::move(it->second.callback);
        timers_.erase(it);
        callback();
        fired = true;
    }
    return fired;
}

void EventLoop::Run() {
    while (!stopped_) RunOnce(-1);
}

bool EventLoop::RunOnce(int timeoutMs) {
    std::array<epoll_event, kMaxEvents> events;
    int next = NextTimeoutMs();
    int wait = timeoutMs < 0 ? next : next < 0 ? timeoutMs : std::min(next, timeoutMs);
    int n = epoll_wait(epoll_, events.data(), kMaxEvents, wait);
    if (n < 0 && errno != EINTR) {
        std::fprintf(stderr, "veltro-vspd: epoll_wait: %s\n", std::strerror(errno));
        stopped_ = true;
        return false;
    }
    for (int i = 0; i < n && !stopped_; ++i) {
        uint64_t token = events[i].data.u64;
        if (token == kSignalToken) {
            stopped_ = true;
            break;
        }
        // A handler may release this or a later watch, even its own.
        auto it = watches_.find(token);
        if (it == watches_.end()) continue;
        FdWatch::Handler handler = it->second->handler_;
        handler(events[i].events);
    }
    bool fired = FireTimers();
    return n > 0 || fired;
}

}  // namespace vspd
