#include "vspd/SlaveWatcher.h"

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "vspd/Log.h"

namespace vspd {
namespace {

constexpr uint32_t kWatchMask = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_ACCESS;

}  // namespace

SlaveWatcher::SlaveWatcher(EventLoop& loop, Handler handler, std::function<void()> settled)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      handler_(std::move(handler)),
      settled_(std::move(settled)) {
    if (fd_ < 0) {
        initError_ = errno;
        return;
    }
    watch_ = FdWatch(loop, fd_, [this](uint32_t) { Drain(); });
    watch_.SetMask(EPOLLIN);
}

SlaveWatcher::~SlaveWatcher() {
    watch_.Release();
    if (fd_ >= 0) close(fd_);
}

int SlaveWatcher::Add(const std::string& path) {
    int wd = fd_ < 0 ? -1 : inotify_add_watch(fd_, path.c_str(), kWatchMask);
    if (wd < 0 && !warned_) {
        warned_ = true;
        Log("cannot watch %s (%s): ports without a watch see a program go by the hang-up "
            "alone, and a program that opens such a port at once may read old bytes",
            path.c_str(), std::strerror(fd_ < 0 ? initError_ : errno));
    }
    return wd;
}

void SlaveWatcher::Remove(int wd) {
    if (fd_ >= 0 && wd >= 0) inotify_rm_watch(fd_, wd);
}

void SlaveWatcher::Mute(int wd, const std::string& path) {
    // A watch's mask is replaced by one that a tty never reports.
    if (fd_ >= 0 && wd >= 0) inotify_add_watch(fd_, path.c_str(), IN_DELETE_SELF);
}

void SlaveWatcher::Unmute(int wd, const std::string& path) {
    if (fd_ >= 0 && wd >= 0) inotify_add_watch(fd_, path.c_str(), kWatchMask);
}

void SlaveWatcher::Drain() {
    if (fd_ < 0 || draining_) return;
    draining_ = true;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = read(fd_, buffer, sizeof(buffer));
        if (n <= 0) break;
        for (ssize_t off = 0; off < n;) {
            inotify_event ev;
            std::memcpy(&ev, buffer + off, sizeof(ev));
            if (ev.mask & IN_Q_OVERFLOW) {
                handler_(-1, Event::kLost);
            } else if (ev.mask & IN_OPEN) {
                handler_(ev.wd, Event::kOpened);
            } else if (ev.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                handler_(ev.wd, Event::kClosed);
            } else if (ev.mask & IN_ACCESS) {
                handler_(ev.wd, Event::kRead);
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev.len);
        }
    }
    settled_();
    draining_ = false;
}

}  // namespace vspd
