#pragma once

#include <functional>
#include <string>

#include "vspd/EventLoop.h"

// Reports what programs do with pseudo-terminal slaves (inotify on the device nodes): opens,
// closes and reads, in the order the kernel saw them. The master's hang-up says only that
// nobody holds a slave now; these reports also show a close followed at once by an open,
// which the hang-up misses, and when the program has read what the service wrote.
//
// inotify merges a report with an identical one still waiting to be read: two opens in a
// row may come as one. Counts taken from these reports are therefore checked against the
// master.
namespace vspd {

class SlaveWatcher {
  public:
    enum class Event { kOpened, kClosed, kRead, kLost };
    // wd is the watch that saw the event, or -1 when events were lost (kLost: then every
    // port must look again).
    using Handler = std::function<void(int wd, Event event)>;
    // handler runs for each report; settled once after each batch of them.
    SlaveWatcher(EventLoop& loop, Handler handler, std::function<void()> settled);
    ~SlaveWatcher();
    SlaveWatcher(const SlaveWatcher&) = delete;
    SlaveWatcher& operator=(const SlaveWatcher&) = delete;

    // The watch, or -1 when none can be set up (said once in the log).
    int Add(const std::string& path);
    void Remove(int wd);
    // While muted, the watch reports nothing: the service's own opens of the slave are not
    // taken for a program's.
    void Mute(int wd, const std::string& path);
    void Unmute(int wd, const std::string& path);
    // Handles what has been reported so far, before the loop would. Handlers may not call
    // it again; a nested call returns at once.
    void Drain();

  private:
    int fd_ = -1;
    Handler handler_;
    std::function<void()> settled_;
    FdWatch watch_;
    bool draining_ = false;
    bool warned_ = false;
    int initError_ = 0;
};

}  // namespace vspd
