#pragma once

#include <functional>
#include <string>

#include "vspd/EventLoop.h"

// Reports when a program opens a pseudo-terminal slave (inotify IN_OPEN on the device
// node), so that a hung-up master can go back into the loop without being polled, and when
// a program that opened it for writing closes it (IN_CLOSE_WRITE): unlike the master's
// hang-up, that close is not missed when another program opens the tty at once. The
// service opens slaves read-only, so its own closes are not reported.
namespace vspd {

class SlaveWatcher {
  public:
    enum class Event { kOpened, kClosed, kLost };
    // wd is the watch that saw the event, or -1 when events were lost (kLost: then every
    // port must look again).
    using Handler = std::function<void(int wd, Event event)>;
    SlaveWatcher(EventLoop& loop, Handler handler);
    ~SlaveWatcher();
    SlaveWatcher(const SlaveWatcher&) = delete;
    SlaveWatcher& operator=(const SlaveWatcher&) = delete;

    int Add(const std::string& path);
    void Remove(int wd);
    // Handles what has been reported so far, before the loop would.
    void Drain();

  private:
    int fd_ = -1;
    Handler handler_;
    FdWatch watch_;
};

}  // namespace vspd
