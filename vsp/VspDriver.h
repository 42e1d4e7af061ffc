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
#include "vspd/DriverRequests.h"

namespace vspd {
class ControlClient;
}

// An opened port: a session with veltro-vspd that holds the port until it is closed or
// destroyed. Callers close it after each operation.
class VspHandle {
  public:
    VspHandle();
    explicit VspHandle(std::unique_ptr<vspd::ControlClient> session);
    ~VspHandle();
    VspHandle(VspHandle&&) noexcept;
    VspHandle& operator=(VspHandle&&) noexcept;

    bool IsValid() const { return session_ != nullptr; }
    void Close();
    // One driver request; on failure *error holds the Windows error code.
    bool Ioctl(uint32_t code, std::span<const uint8_t> input, uint32_t outputSize,
               std::vector<uint8_t>* output, uint32_t* error);

  private:
    std::unique_ptr<vspd::ControlClient> session_;
};

// One present COM-port interface, in enumeration order.
struct VspInterface {
    QString devicePath;  // \\?\root#ports#0003#{86e0d1e0-8089-11d0-9ce4-08003e301f73}
    QString instanceId;  // ROOT\PORTS\0003
    QString hardwareId;
    QString portName;
    QString friendlyName;
    QString ttyPath;
    bool busy = false;  // another program holds the port, or a control handle is open
};

// The program's side of the virtual serial port driver: finds the virtual ports among
// the COM-port interfaces, opens one exclusively, issues one request and closes it again.
// No handle stays open between operations. Without a running service the system has no
// virtual ports.
class CVspDriver final : public VspDriverQueries {
  public:
    // hostAddressText gives the main frame's current host interface address text.
    CVspDriver(UserPrompts& prompts, std::function<QString()> hostAddressText,
               QString socketPath = DefaultSocketPath());

    static QString DefaultSocketPath();

    // The present COM-port interfaces; nullopt (with *error) when they cannot be listed.
    std::optional<std::vector<VspInterface>> Enumerate(uint32_t* error) const;
    // The device path of interface portId, or empty (with the diagnostics of OpenPort).
    QString DevicePath(int portId);
    // "root#ports#00" in the path, and the hardware ID of that instance is "QMDR\Vser"
    // in any letter case.
    static bool IsOurPort(const QString& devicePath, const std::vector<VspInterface>& devices);

    VspHandle OpenPort(int portId);
    bool GetDosName(int portId, QString* name);
    bool SetDosName(int portId, uint32_t comNumber);
    // Sends the settings with the current host address at offset 28.
    void SetRemoteInfo(int portId, const vspd::RemoteInfoRequest& settings);
    bool GetRemoteInfo(int portId, vspd::RemoteInfoReply* reply);
    bool ConnectPort(VspHandle& handle);
    bool DisconnectPort(VspHandle& handle);
    bool StartServer(VspHandle& handle);
    // The error code of the last failed open or request (GetLastError).
    uint32_t LastError() const { return lastError_; }

    void CheckBusy() override;
    bool PortBusy() const override { return portBusy_; }
    bool IsAnyPortConnected() override;

  private:
    bool Request(VspHandle& handle, uint32_t code, std::span<const uint8_t> input = {},
                 uint32_t outputSize = 0, std::vector<uint8_t>* output = nullptr);
    void Show(const QString& text);

    UserPrompts& prompts_;
    std::function<QString()> hostAddressText_;
    QString socketPath_;
    uint32_t lastError_ = 0;
    bool portBusy_ = false;
};
