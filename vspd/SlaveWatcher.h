#pragma once

#include <functional>
#include <string>

#include "vspd/EventLoop.h"

// Reports when a program opens a pseudo-terminal slave (inotify IN_OPEN on the device
// node), so that a hung-up master can go back into the loop without being polled, and so
// that a program that comes through a port's door is seen at once.
namespace vspd {

class SlaveWatcher {
  public:
    enum class Event { kOpened, kLost };
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
