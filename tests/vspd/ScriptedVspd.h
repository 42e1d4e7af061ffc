#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vspd/ControlProtocol.h"

// A stand-in for veltro-vspd on its own thread: answers each request from a script and
// records what arrived, so that tests see the exact bytes a client sends and can hand it
// replies the real service would not produce.
class ScriptedVspd {
  public:
    using Answer = std::function<vspd::Reply(const vspd::Request&)>;
    ScriptedVspd(std::string socketPath, Answer answer);
    ~ScriptedVspd();
    ScriptedVspd(const ScriptedVspd&) = delete;
    ScriptedVspd& operator=(const ScriptedVspd&) = delete;

    std::vector<vspd::Request> Requests() const;

  private:
    void Run();
    bool Serve(int fd);

    std::string path_;
    Answer answer_;
    int listen_ = -1;
    int stop_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::vector<vspd::Request> requests_;
    std::thread thread_;
};
