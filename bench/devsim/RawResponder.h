#pragma once

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// The floor to compare with: a thread with one wildcard socket and one plain socket per
// address that sends canned replies on every search, with nothing else in the way.
class RawResponder {
  public:
    RawResponder(uint32_t base, int count, uint16_t port, std::vector<QByteArray> replies);
    ~RawResponder();
    bool Ok() const { return ok_; }

  private:
    void Run();

    std::vector<int> sockets_;
    std::vector<QByteArray> replies_;
    int listener_ = -1;
    int stop_ = -1;  // eventfd
    bool ok_ = false;
    std::thread thread_;
};
