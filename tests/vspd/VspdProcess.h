#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "vspd/ControlProtocol.h"

// A veltro-vspd instance of a test's own, with its own socket, COM and state directories
// under a temporary folder. Ended by its pid.
struct VspdOptions {
    int connectTimeoutMs = 1000;
    int retryMs = 200;
    // Physical serial ports get COM names from this fake /sys/class/tty; empty: none are mapped.
    std::string sysClassTty{};
    std::vector<std::string> extraArgs{};
};

class VspdProcess {
  public:
    explicit VspdProcess(VspdOptions options = {});
    ~VspdProcess();
    VspdProcess(const VspdProcess&) = delete;
    VspdProcess& operator=(const VspdProcess&) = delete;

    // Starts the service and waits until its socket answers.
    bool Start();
    void Stop();  // SIGTERM
    void Kill();  // SIGKILL
    pid_t Pid() const { return pid_; }

    const std::string& Dir() const { return dir_; }
    std::string Socket() const { return dir_ + "/run/control.sock"; }
    std::string ComDir() const { return dir_ + "/com"; }
    std::string StateDir() const { return dir_ + "/state"; }
    std::string ComLink(unsigned number) const;
    // What the service has logged so far (its standard error goes to a file, shown when the
    // test fails).
    std::string LogText() const;

    // One request in a session of its own; a broken session fails the test.
    vspd::Reply Call(const vspd::Request& request) const;
    // The instance ID of the new port; fails the test when the service refuses.
    std::string Install(unsigned comNumber, uint32_t instance = vspd::kAnyInstance,
                        const std::string& hardwareId = vspd::kVirtualHardwareId) const;
    std::vector<vspd::PortEntry> List() const;
    // The device path and list entry of COMn.
    std::string PathOf(unsigned comNumber) const;
    vspd::PortEntry EntryOf(unsigned comNumber) const;

  private:
    std::string LogPath() const { return dir_ + "/vspd.log"; }

    VspdOptions options_;
    std::string dir_;
    pid_t pid_ = -1;
};

// A session that holds a port handle, as the program's driver layer opens one.
class PortSession {
  public:
    PortSession(const VspdProcess& service, const std::string& devicePath, bool shared = false);
    ~PortSession();
    uint32_t OpenStatus() const { return openStatus_; }

    vspd::Reply Ioctl(uint32_t code, const std::vector<uint8_t>& input = {},
                      uint32_t outputSize = 64);
    uint32_t Configure(const vspd::RemoteInfoRequest& config);
    vspd::RemoteInfoReply Info();
    uint32_t Connect();
    uint32_t Listen();
    uint32_t Disconnect();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    uint32_t openStatus_ = 0;
};

// A client configuration towards 127.0.0.1.
vspd::RemoteInfoRequest ClientConfig(uint16_t port, uint8_t protocol,
                                     uint32_t maxPacketSize = 1400);
vspd::RemoteInfoRequest ServerConfig(uint16_t port, uint8_t protocol,
                                     uint32_t maxPacketSize = 1400);
