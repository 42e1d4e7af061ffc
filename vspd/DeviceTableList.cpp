// Enumeration, COM number usage and the COM names of physical devices.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "vspd/DeviceTable.h"
#include "vspd/WinErrors.h"

namespace vspd {
namespace {

constexpr const char* kInterfaceGuid = "{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
constexpr const char* kPhysicalHardwareId = "LINUX\\SerialPort";

bool Present(const std::string& device) {
    struct stat st {};
    return stat(device.c_str(), &st) == 0;
}

// /dev/ttyUSB0 -> ttyUSB0, /dev/serial/by-id/x -> serial_by-id_x
std::string PhysicalKey(const std::string& device) {
    std::string key = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device.substr(1);
    std::replace(key.begin(), key.end(), '/', '_');
    std::replace(key.begin(), key.end(), '#', '_');
    return key;
}

}  // namespace

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::vector<PortEntry> DeviceTable::List() {
    AutoMap();
    std::vector<PortEntry> list;
    std::vector<MapRecord> present;
    for (const MapRecord& m : maps_) {
        if (Present(m.device)) present.push_back(m);
    }
    std::sort(present.begin(), present.end(),
              [](const MapRecord& a, const MapRecord& b) { return a.device < b.device; });
    for (const MapRecord& m : present) {
        PortEntry e;
        std::string key = PhysicalKey(m.device);
        e.devicePath = "\\\\?\\linux#serial#" + key + "#" + kInterfaceGuid;
        e.instanceId = "LINUX\\SERIAL\\" + key;
        e.hardwareId = kPhysicalHardwareId;
        e.portName = ComName(m.comNumber);
        e.friendlyName = PhysicalFriendlyName(m.device, m.comNumber);
        e.ttyPath = m.device;
        list.push_back(e);
    }
    for (const auto& [instance, entry] : ports_) {
        PortEntry e;
        e.devicePath = DevicePathOf(instance);
        e.instanceId = InstanceIdOf(instance);
        e.hardwareId = entry.hardwareId;
        e.portName = ComName(entry.comNumber);
        e.friendlyName = "QMDR Virtual Serial Port (" + e.portName + ")";
        entry.port->Describe(e);
        list.push_back(e);
    }
    return list;
}

std::optional<DeviceRef> DeviceTable::Find(const std::string& devicePath) {
    std::string wanted = Lower(devicePath);
    for (const auto& [instance, entry] : ports_) {
        if (Lower(DevicePathOf(instance)) == wanted) return DeviceRef{true, instance, {}};
    }
    for (const PortEntry& e : List()) {
        if (!e.isVirtual && Lower(e.devicePath) == wanted) return DeviceRef{false, 0, e.ttyPath};
    }
    return std::nullopt;
}

std::vector<unsigned> DeviceTable::ForeignNumbers() const {
    std::vector<unsigned> numbers;
    DIR* dir = opendir(options_.comDir.c_str());
    if (!dir) return numbers;
    while (dirent* entry = readdir(dir)) {
        unsigned n = ComNumberOfName(entry->d_name);
        if (n == 0) continue;
        bool ours = std::any_of(ports_.begin(), ports_.end(),
                                [n](const auto& p) { return p.second.comNumber == n; }) ||
                    std::any_of(maps_.begin(), maps_.end(),
                                [n](const MapRecord& m) { return m.comNumber == n; });
        if (!ours) numbers.push_back(n);
    }
    closedir(dir);
    return numbers;
}

std::array<uint8_t, kComUsageSize> DeviceTable::Usage() const {
    std::array<uint8_t, kComUsageSize> usage{};
    for (const auto& [instance, entry] : ports_) usage[entry.comNumber - 1] = 1;
    for (const MapRecord& m : maps_) usage[m.comNumber - 1] = 1;
    for (unsigned n : ForeignNumbers()) usage[n - 1] = 1;
    return usage;
}

std::array<uint8_t, kComUsageSize> DeviceTable::ComUsage() {
    AutoMap();
    return Usage();
}

bool DeviceTable::NumberTaken(uint32_t comNumber, uint32_t ownNumber) const {
    if (comNumber == ownNumber || comNumber == 0 || comNumber > kComNumberMax) return false;
    return Usage()[comNumber - 1] != 0;
}

void DeviceTable::Link(uint32_t comNumber, const std::string& target) {
    std::string error;
    if (!PlaceLink(options_.comDir, ComName(comNumber), target, &error)) {
        std::fprintf(stderr, "veltro-vspd: %s\n", error.c_str());
    }
}

void DeviceTable::RemoveStaleLinks(const ServiceState& state) {
    // The COM folder may be shared with another running service: its links stay.
    DIR* dir = opendir(options_.comDir.c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (dirent* entry = readdir(dir)) {
        unsigned n = ComNumberOfName(entry->d_name);
        if (n == 0) continue;
        bool ours = std::any_of(state.ports.begin(), state.ports.end(),
                                [n](const PortRecord& p) { return p.comNumber == n; });
        struct stat target {};
        std::string path = options_.comDir + "/" + entry->d_name;
        if (ours || stat(path.c_str(), &target) != 0) stale.push_back(entry->d_name);
    }
    closedir(dir);
    for (const std::string& name : stale) RemoveLink(options_.comDir, name);
}

void DeviceTable::AutoMap() {
    if (!options_.autoMap) return;
    bool changed = false;
    std::optional<std::array<uint8_t, kComUsageSize>> usage;  // read once a device is new
    for (const std::string& device : DetectSerialDevices(options_.sysClassTty)) {
        bool known = std::any_of(maps_.begin(), maps_.end(),
                                 [&](const MapRecord& m) { return m.device == device; });
        if (known) continue;
        if (!usage) usage = Usage();
        auto free = std::find(usage->begin(), usage->end(), 0);
        if (free == usage->end()) break;
        *free = 1;
        uint32_t n = uint32_t(free - usage->begin()) + 1;
        maps_.push_back({n, device, true});
        Link(n, device);
        changed = true;
    }
    if (changed) Persist();
}

uint32_t DeviceTable::Map(const std::string& device, uint32_t comNumber) {
    auto it = std::find_if(maps_.begin(), maps_.end(),
                           [&](const MapRecord& m) { return m.device == device; });
    if (comNumber > kComNumberMax || device.size() > kMaxPathLength) {
        return winerr::kInvalidParameter;
    }
    if (comNumber == 0) {
        if (it == maps_.end()) return winerr::kFileNotFound;
        MapRecord old = *it;
        maps_.erase(it);
        if (!Persist()) {
            maps_.push_back(old);
            return winerr::kWriteFault;
        }
        RemoveLink(options_.comDir, ComName(old.comNumber));
        return winerr::kSuccess;
    }
    if (device.empty() || device[0] != '/' || !Present(device)) return winerr::kFileNotFound;
    uint32_t own = it == maps_.end() ? 0 : it->comNumber;
    if (NumberTaken(comNumber, own)) return winerr::kSharingViolation;
    std::vector<MapRecord> before = maps_;
    if (it == maps_.end()) {
        maps_.push_back({comNumber, device, false});
    } else {
        it->comNumber = comNumber;
        it->automatic = false;
    }
    if (!Persist()) {
        maps_ = before;
        return winerr::kWriteFault;
    }
    Link(comNumber, device);
    if (own != 0 && own != comNumber) RemoveLink(options_.comDir, ComName(own));
    return winerr::kSuccess;
}

}  // namespace vspd
