#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>

#include "vspd/ControlProtocol.h"
#include "vspd/ControlServer.h"
#include "vspd/DeviceTable.h"

// Carries out decoded control requests for the sessions of the control socket. A session
// holds at most one port handle; an exclusive handle is refused with kAccessDenied while
// another program has the port's tty open or another exclusive handle is open on it.
namespace vspd {

class RequestHandler : public RequestSink {
  public:
    explicit RequestHandler(DeviceTable& table) : table_(table) {}

    // respond runs at once, or (IOCTL_CONNECTION) when the attempt ends; a session that
    // closes while its attempt runs ends the attempt.
    void Handle(uint64_t session, const Request& request, Respond respond) override;
    void SessionClosed(uint64_t session) override;
    bool HoldsHandle(uint64_t session) const override { return handles_.count(session) != 0; }

  private:
    struct PortHandle {
        std::string key;  // lower-case device path
        bool exclusive = false;
        DeviceRef ref;
    };

    uint32_t Open(uint64_t session, const OpenRequest& request);
    uint32_t Close(uint64_t session);
    // Returns true when respond has been handed on (IOCTL_CONNECTION).
    bool Ioctl(uint64_t session, const IoctlRequest& request, Reply& reply, const Respond& respond);

    DeviceTable& table_;
    std::unordered_map<uint64_t, PortHandle> handles_;
    std::map<std::string, uint64_t> exclusive_;  // device path -> session holding it
    // Sessions whose connection attempt runs, with the port's instance: closing such a
    // session cancels its attempt, as closing a handle cancels its pending requests.
    std::unordered_map<uint64_t, uint32_t> connecting_;
};

}  // namespace vspd
