#include "vspd/SlaveWatcher.h"

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace vspd {

SlaveWatcher::SlaveWatcher(EventLoop& loop, Handler handler)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), handler_(std::move(handler)) {
    if (fd_ < 0) return;
    watch_ = FdWatch(loop, fd_, [this](uint32_t) { Drain(); });
    watch_.SetMask(EPOLLIN);
}

SlaveWatcher::~SlaveWatcher() {
    watch_.Release();
    if (fd_ >= 0) close(fd_);
}

int SlaveWatcher::Add(const std::string& path) {
    return fd_ < 0 ? -1 : inotify_add_watch(fd_, path.c_str(), IN_OPEN);
}

void SlaveWatcher::Remove(int wd) {
    if (fd_ >= 0 && wd >= 0) inotify_rm_watch(fd_, wd);
}

void SlaveWatcher::Drain() {
    if (fd_ < 0) return;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = read(fd_, buffer, sizeof(buffer));
        if (n <= 0) return;
        for (ssize_t off = 0; off < n;) {
            inotify_event ev;
            std::memcpy(&ev, buffer + off, sizeof(ev));
            if (ev.mask & IN_Q_OVERFLOW) {
                handler_(-1, Event::kLost);
            } else if (ev.mask & IN_OPEN) {
                handler_(ev.wd, Event::kOpened);
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev.len);
        }
    }
}

}  // namespace vspd
