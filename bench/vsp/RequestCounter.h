#pragma once

#include <atomic>
#include <string>
#include <thread>

// A Unix socket in front of veltro-vspd that passes every session through and counts the
// request frames, so that two clients can be compared by the requests they make.
class RequestCounter {
  public:
    RequestCounter(std::string listenPath, std::string servicePath);
    ~RequestCounter();
    bool Start();
    long Requests() const { return requests_.load(); }
    void Reset() { requests_ = 0; }

  private:
    void Run();

    std::string listenPath_;
    std::string servicePath_;
    int listenFd_ = -1;
    int stopFd_ = -1;  // eventfd that ends the thread
    std::atomic<long> requests_{0};
    std::thread thread_;
};
