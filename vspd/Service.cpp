#include "vspd/Service.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <csignal>

#include "vspd/VspdPaths.h"

namespace vspd {

Service::Service(ServiceOptions options) : options_(std::move(options)) {}

Service::~Service() {
    server_.reset();
    handler_.reset();
    table_.reset();
    if (lockFd_ >= 0) close(lockFd_);
}

bool Service::Start(std::string* error) {
    std::signal(SIGPIPE, SIG_IGN);
    std::string socketDir = options_.socketPath.substr(0, options_.socketPath.rfind('/'));
    if (!MakeDirectories(socketDir, true, error) ||
        !MakeDirectories(options_.table.stateDir, true, error) ||
        !MakeDirectories(options_.table.comDir, false, error)) {
        return false;
    }
    // One service per state directory: a second one would tear the other's state.
    std::string lockPath = options_.table.stateDir + "/vspd.lock";
    lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0 || flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        *error = lockPath + ": another service uses this state directory";
        return false;
    }
    if (!loop_.WatchStopSignals()) {
        *error = "cannot watch stop signals";
        return false;
    }
    table_ = std::make_unique<DeviceTable>(loop_, options_.table);
    handler_ = std::make_unique<RequestHandler>(*table_);
    server_ = std::make_unique<ControlServer>(loop_, *handler_, options_.sessionIdleLimitMs);
    // The ports and their links are in place before any program can connect.
    if (!table_->Start(error)) return false;
    if (server_->Listen(options_.socketPath, error)) return true;
    table_->Shutdown();
    return false;
}

void Service::Run() {
    loop_.Run();
    table_->Shutdown();
}

}  // namespace vspd
