#pragma once

#include <functional>
#include <string>

#include "vspd/EventLoop.h"

// Reports when a program opens a pseudo-terminal slave (inotify IN_OPEN on the device
// node), so that a hung-up master can go back into the loop without being polled.
namespace vspd {

class SlaveWatcher {
  public:
    // wd is the watch that saw an open, or -1 when events were lost (then every port
    // must look again).
    using Handler = std::function<void(int wd)>;
    SlaveWatcher(EventLoop& loop, Handler handler);
    ~SlaveWatcher();
    SlaveWatcher(const SlaveWatcher&) = delete;
    SlaveWatcher& operator=(const SlaveWatcher&) = delete;

    int Add(const std::string& path);
    void Remove(int wd);

  private:
    void Drain();
    int fd_ = -1;
    Handler handler_;
    FdWatch watch_;
};

}  // namespace vspd
