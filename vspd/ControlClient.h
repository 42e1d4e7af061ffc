#pragma once

#include <optional>
#include <string>

#include "vspd/ControlProtocol.h"

// Blocking client of the control socket: one session, one request at a time. Used by the
// program's driver layer and by veltro-vspctl.
namespace vspd {

constexpr int kReplyLimitMs = 5000;
// IOCTL_CONNECTION returns only when the remote answered or the service's bound ran out.
constexpr int kConnectionReplyLimitMs = 60000;

class ControlClient {
  public:
    explicit ControlClient(std::string socketPath);
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    // False when no service answers at the socket; NotRunning() then tells that nothing
    // listens there (as opposed to a broken socket).
    bool Connect();
    bool IsConnected() const { return fd_ >= 0; }
    // The session's socket, -1 when none: another thread may shut it down to end a wait.
    int Socket() const { return fd_; }
    void Disconnect();

    // Sends one request and waits for its reply, up to kConnectionReplyLimitMs for a
    // connection request and kReplyLimitMs for any other. nullopt when the session broke;
    // the session is then closed.
    std::optional<Reply> Call(const Request& request);

    bool NotRunning() const { return notRunning_; }
    const std::string& SocketPath() const { return socketPath_; }

  private:
    bool SendAll(const std::vector<uint8_t>& data, int limitMs);
    bool ReceiveAll(uint8_t* data, size_t size, int limitMs);

    std::string socketPath_;
    int fd_ = -1;
    bool notRunning_ = false;
};

}  // namespace vspd
