#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/UserPrompts.h"
#include "vsp/VspDriverQueries.h"
#include "vspd/ControlProtocol.h"
#include "vspd/DriverRequests.h"

namespace vspd {
class ControlClient;
}

// An opened port: a session with veltro-vspd that holds the port until it is closed or
// destroyed. A handle may be moved to a worker thread for a request that blocks.
class VspHandle {
  public:
    VspHandle();
    explicit VspHandle(std::unique_ptr<vspd::ControlClient> session);
    ~VspHandle();
    VspHandle(VspHandle&&) noexcept;
    VspHandle& operator=(VspHandle&&) noexcept;

    bool IsValid() const { return session_ != nullptr; }
    void Close();
    // The session's socket, -1 when closed.
    int SessionSocket() const;
    // One driver request; the Windows error code, 0 on success.
    uint32_t Ioctl(uint32_t code, std::span<const uint8_t> input = {}, uint32_t outputSize = 0,
                   std::vector<uint8_t>* output = nullptr);

  private:
    std::unique_ptr<vspd::ControlClient> session_;
};

// One present COM-port interface, in enumeration order, as the service lists it.
struct VspInterface {
    QString devicePath;  // \\?\root#ports#0003#{86e0d1e0-8089-11d0-9ce4-08003e301f73}
    QString instanceId;  // ROOT\PORTS\0003
    QString hardwareId;
    QString portName;
    bool busy = false;  // another program has the port's tty open
    vspd::PortState state = vspd::PortState::Idle;
    vspd::RemoteInfoReply info;  // the port's configuration, as IOCTL_GET_REMOTE_INFO gives it
    uint32_t peerIp = 0;         // the current network peer, host order; 0 when none
    uint16_t peerPort = 0;
    uint64_t bytesToNet = 0;
    uint64_t bytesFromNet = 0;
    uint64_t droppedToNet = 0;
    uint64_t droppedFromNet = 0;
};

// The program's side of the virtual serial port driver. A port is named by its COM name in
// every call; the interface behind the name is looked up in a list taken for that call, so a
// port that another one's arrival moved in the enumeration is still the one meant. Each call
// opens the port exclusively, issues one request and closes it again, and answers with the
// Windows error code (kServiceNotActive when no service answers at the socket).
class CVspDriver final : public VspDriverQueries {
  public:
    // hostAddressText gives the main frame's current host interface address text.
    CVspDriver(UserPrompts& prompts, std::function<QString()> hostAddressText,
               QString socketPath = DefaultSocketPath());

    static QString DefaultSocketPath();
    const QString& SocketPath() const { return socketPath_; }

    // The present COM-port interfaces; nullopt with *error when they cannot be listed.
    std::optional<std::vector<VspInterface>> Enumerate(uint32_t* error) const;
    // "root#ports#00" in the path, and the hardware ID of that instance is "QMDR\Vser"
    // in any letter case.
    static bool IsOurPort(const QString& devicePath, const std::vector<VspInterface>& devices);
    // The virtual port of that exact name in a list taken now.
    std::optional<VspInterface> FindPort(const QString& name, uint32_t* error) const;
    // The port's instance pattern for removal and renumbering: @root\ports\NNNN.
    QString InstancePattern(const QString& name, uint32_t* error) const;

    VspHandle OpenPort(const QString& name, uint32_t* error);
    uint32_t GetRemoteInfo(const QString& name, vspd::RemoteInfoReply* reply);
    // Sends the settings with the current host address at offset 28.
    uint32_t SetRemoteInfo(const QString& name, const vspd::RemoteInfoRequest& settings);
    // The same for a port whose device path a list just gave, without listing again.
    uint32_t SetRemoteInfoAt(const QString& devicePath, const vspd::RemoteInfoRequest& settings);
    uint32_t Disconnect(const QString& name);
    uint32_t StartServer(const QString& name);

    void CheckBusy() override;
    bool PortBusy() const override { return portBusy_; }
    bool IsAnyPortConnected() override;

  private:
    VspHandle OpenDevice(const QString& devicePath, uint32_t* error);
    uint32_t OneRequest(const QString& name, uint32_t code, std::span<const uint8_t> input = {},
                        uint32_t outputSize = 0, std::vector<uint8_t>* output = nullptr);
    vspd::RemoteInfoRequest WithHostAddress(const vspd::RemoteInfoRequest& settings) const;

    UserPrompts& prompts_;
    std::function<QString()> hostAddressText_;
    QString socketPath_;
    bool portBusy_ = false;
};
