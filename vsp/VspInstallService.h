#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

#include "vspd/ControlProtocol.h"

// Which COM numbers are taken: entry n-1 nonzero for COMn.
using VspComUsage = std::array<uint8_t, vspd::kComUsageSize>;
// "COMn" for COM1 to COM256, "COMn (in used)" where the usage marks the number.
QStringList VspPortNumberEntries(const VspComUsage& used);
// The position of the lowest free number, 0 when none is free.
int VspFirstFreePosition(const VspComUsage& used);

// What port installation and removal ask of the virtual serial port service in place of
// the COM port database, the Setup API and devcon. Results are Windows error codes
// (0 = success; 1062 when no service is running).
class VspInstallService {
  public:
    virtual ~VspInstallService() = default;
    // 256 entries, entry n-1 nonzero when COMn is claimed by a port, mapped to a device or
    // otherwise present in the COM directory.
    virtual uint32_t ComUsage(std::array<uint8_t, vspd::kComUsageSize>* usage) = 0;
    // Installs a virtual port with the hardware ID read from the driver package and the
    // chosen COM number; *instanceId receives ROOT\PORTS\NNNN.
    virtual uint32_t InstallPort(const QString& hardwareId, uint32_t comNumber,
                                 QString* instanceId) = 0;
    // Removes a port by its instance pattern, @root\ports\NNNN.
    virtual uint32_t RemovePort(const QString& pattern) = 0;
    // Gives the port another COM number: port name, claim of the new number and release of
    // the old one, COM link and friendly name.
    virtual uint32_t RenumberPort(const QString& pattern, uint32_t comNumber) = 0;
};

// The production implementation: requests to veltro-vspd.
class CVspInstallService final : public VspInstallService {
  public:
    explicit CVspInstallService(QString socketPath);
    uint32_t ComUsage(std::array<uint8_t, vspd::kComUsageSize>* usage) override;
    uint32_t InstallPort(const QString& hardwareId, uint32_t comNumber,
                         QString* instanceId) override;
    uint32_t RemovePort(const QString& pattern) override;
    uint32_t RenumberPort(const QString& pattern, uint32_t comNumber) override;

  private:
    QString socketPath_;
};
