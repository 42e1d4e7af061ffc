#pragma once

#include <memory>
#include <string>

#include "vspd/ControlServer.h"
#include "vspd/DeviceTable.h"
#include "vspd/EventLoop.h"
#include "vspd/RequestHandler.h"

// veltro-vspd put together: directories, the state lock, the device table and the
// control socket on one event loop.
namespace vspd {

struct ServiceOptions {
    std::string socketPath;
    TableOptions table;
    int sessionIdleLimitMs = kSessionIdleLimitMs;
};

class Service {
  public:
    explicit Service(ServiceOptions options);
    ~Service();

    bool Start(std::string* error);
    // Until SIGTERM or SIGINT; then the virtual ports' links are removed.
    void Run();

  private:
    ServiceOptions options_;
    int lockFd_ = -1;
    EventLoop loop_;
    std::unique_ptr<DeviceTable> table_;
    std::unique_ptr<RequestHandler> handler_;
    std::unique_ptr<ControlServer> server_;
};

}  // namespace vspd
