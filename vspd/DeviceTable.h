#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vspd/ControlProtocol.h"
#include "vspd/PhysicalPorts.h"
#include "vspd/SlaveWatcher.h"
#include "vspd/StateFile.h"
#include "vspd/VirtualPort.h"

// The service's device registry: its virtual ports (ROOT\PORTS\NNNN), the COM names of
// physical devices, their links in the COM directory, the COM number usage and the state
// file. Every change that is acknowledged has been written to the state file first; a
// change that cannot be written is undone and fails with kWriteFault.
namespace vspd {

constexpr const char* kStateFileName = "vspd.state";
// A state file with lines that could not be read is kept under this suffix.
constexpr const char* kDamagedSuffix = ".damaged";

// Device paths name their ports whatever the case of their letters.
std::string Lower(std::string s);

struct TableOptions {
    std::string comDir;
    std::string stateDir;
    PortTiming timing;
    bool autoMap = true;
    std::string sysClassTty = kSysClassTty;
};

// What a device path names.
struct DeviceRef {
    bool isVirtual = false;
    uint32_t instance = 0;  // virtual ports
    std::string device;     // physical ports
};

class DeviceTable {
  public:
    DeviceTable(EventLoop& loop, TableOptions options);
    ~DeviceTable();

    // Loads the state file, creates the ports and links, maps new physical devices and
    // starts the connect-at-start ports.
    bool Start(std::string* error);
    // Removes the links of the virtual ports, which would dangle once the service is gone.
    void Shutdown();

    std::vector<PortEntry> List();
    std::optional<DeviceRef> Find(const std::string& devicePath);
    VirtualPort* Port(uint32_t instance);
    std::array<uint8_t, kComUsageSize> ComUsage();

    uint32_t Install(const InstallRequest& request, std::string* instanceId);
    uint32_t Remove(const std::string& pattern);
    uint32_t Renumber(const std::string& pattern, uint32_t comNumber);
    uint32_t SetComNumber(uint32_t instance, uint32_t comNumber);
    uint32_t Map(const std::string& device, uint32_t comNumber);
    uint32_t Configure(uint32_t instance, const RemoteInfoRequest& config);
    std::string DosName(uint32_t instance);

    static std::string DevicePathOf(uint32_t instance);
    static std::string InstanceIdOf(uint32_t instance);
    // @root\ports\0003 or ROOT\PORTS\0003, any case; nullopt for anything else.
    static std::optional<uint32_t> ParseInstancePattern(const std::string& pattern);

  private:
    struct Virtual {
        std::unique_ptr<VirtualPort> port;
        uint32_t comNumber = 0;
        std::string hardwareId;
    };

    bool CreatePort(uint32_t instance, Virtual& entry, std::string* error);
    void DropPort(Virtual& entry);
    void OnSlaveEvent(int wd, SlaveWatcher::Event event);
    bool Persist();
    ServiceState Snapshot() const;
    // Entry n-1 is nonzero when a virtual port, mapping or foreign COM entry has COMn.
    std::array<uint8_t, kComUsageSize> Usage() const;
    // Whether another virtual port, mapping or foreign COM entry has the number.
    bool NumberTaken(uint32_t comNumber, uint32_t ownNumber) const;
    std::vector<unsigned> ForeignNumbers() const;
    void KeepDamaged(const std::string& text, const std::vector<std::string>& dropped);
    // Links of this service's ports from an earlier run, and links that point nowhere.
    void RemoveStaleLinks(const ServiceState& state);
    void AutoMap();
    void Link(uint32_t comNumber, const std::string& target);

    EventLoop& loop_;
    TableOptions options_;
    SlaveWatcher watcher_;
    std::map<uint32_t, Virtual> ports_;
    std::vector<MapRecord> maps_;
};

}  // namespace vspd
