#include "vspd/DeviceTable.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "vspd/Log.h"
#include "vspd/WinErrors.h"

namespace vspd {
namespace {

constexpr size_t kMaxHardwareId = 200;

bool ValidHardwareId(const std::string& id) {
    return !id.empty() && id.size() <= kMaxHardwareId &&
           std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

RemoteInfoRequest DefaultConfig() {
    RemoteInfoRequest c;
    c.mode = 1;
    c.maxPacketSize = 1400;
    return c;
}

}  // namespace

DeviceTable::DeviceTable(EventLoop& loop, TableOptions options)
    : loop_(loop),
      options_(std::move(options)),
      watcher_(
          loop, [this](int wd, SlaveWatcher::Event event) { OnSlaveEvent(wd, event); },
          [this] {
              for (auto& [instance, entry] : ports_) entry.port->AfterSlaveEvents();
          }) {}

DeviceTable::~DeviceTable() = default;

bool DeviceTable::Start(std::string* error) {
    std::string text;
    ServiceState state;
    std::string path = options_.stateDir + "/" + kStateFileName;
    std::vector<std::string> dropped;
    if (ReadWholeFile(path, &text)) state = DecodeState(text, &dropped);
    unlink((path + ".tmp").c_str());  // a write that a crash cut short
    if (!dropped.empty()) KeepDamaged(text, dropped);
    RemoveStaleLinks(state);
    maps_ = state.maps;
    for (const MapRecord& m : maps_) Link(m.comNumber, m.device);
    for (const PortRecord& record : state.ports) {
        Virtual entry;
        entry.comNumber = record.comNumber;
        entry.hardwareId = record.hardwareId;
        if (!CreatePort(record.instance, entry, error)) return false;
        entry.port->SetConfig(record.config);
        entry.port->SetLocalPort(record.localPort);
        ports_.emplace(record.instance, std::move(entry));
    }
    AutoMap();
    for (auto& [instance, entry] : ports_) {
        if (entry.port->Config().connectAtStart) entry.port->StartAtBoot();
    }
    return true;
}

void DeviceTable::KeepDamaged(const std::string& text, const std::vector<std::string>& dropped) {
    for (const std::string& why : dropped) Log("%s: dropped %s", kStateFileName, why.c_str());
    // The next change rewrites the file without those lines; the user may want them back.
    std::string name = std::string(kStateFileName) + kDamagedSuffix;
    std::string error;
    if (WriteFileAtomically(options_.stateDir, name, text, &error)) {
        Log("the damaged file is kept as %s/%s", options_.stateDir.c_str(), name.c_str());
    } else {
        Log("%s", error.c_str());
    }
}

void DeviceTable::Shutdown() {
    // Links that still lead where this service put them; one that another has taken stays.
    for (auto& [instance, entry] : ports_) {
        RemoveLinkTo(options_.comDir, ComName(entry.comNumber), entry.port->LinkTarget());
    }
    for (const MapRecord& m : maps_) RemoveLinkTo(options_.comDir, ComName(m.comNumber), m.device);
}

bool DeviceTable::CreatePort(uint32_t instance, Virtual& entry, std::string* error) {
    entry.port = std::make_unique<VirtualPort>(loop_, watcher_, options_.timing, instance);
    if (!entry.port->Create(error)) return false;
    entry.port->onLocalPortChanged = [this] { Persist(); };
    entry.port->lookAtTty = [this] { watcher_.Drain(); };
    return PlaceLink(options_.comDir, ComName(entry.comNumber), entry.port->LinkTarget(), error);
}

void DeviceTable::DropPort(Virtual& entry) {
    RemoveLink(options_.comDir, ComName(entry.comNumber));
    entry.port.reset();
}

void DeviceTable::OnSlaveEvent(int wd, SlaveWatcher::Event event) {
    for (auto& [instance, entry] : ports_) entry.port->OnSlaveEvent(wd, event);
}

ServiceState DeviceTable::Snapshot() const {
    ServiceState state;
    for (const auto& [instance, entry] : ports_) {
        state.ports.push_back({instance, entry.comNumber, entry.hardwareId, entry.port->Config(),
                               entry.port->LocalPort()});
    }
    state.maps = maps_;
    return state;
}

bool DeviceTable::Persist() {
    std::string error;
    if (WriteFileAtomically(options_.stateDir, kStateFileName, EncodeState(Snapshot()), &error)) {
        return true;
    }
    std::fprintf(stderr, "veltro-vspd: %s\n", error.c_str());
    return false;
}

VirtualPort* DeviceTable::Port(uint32_t instance) {
    auto it = ports_.find(instance);
    return it == ports_.end() ? nullptr : it->second.port.get();
}

std::string DeviceTable::DosName(uint32_t instance) {
    auto it = ports_.find(instance);
    return it == ports_.end() ? std::string() : ComName(it->second.comNumber);
}

uint32_t DeviceTable::Install(const InstallRequest& request, std::string* instanceId) {
    if (!ValidHardwareId(request.hardwareId) || request.comNumber == 0 ||
        request.comNumber > kComNumberMax ||
        (request.instance != kAnyInstance && request.instance > kMaxInstance)) {
        return winerr::kInvalidParameter;
    }
    if (NumberTaken(request.comNumber, 0)) return winerr::kSharingViolation;
    uint32_t instance = request.instance;
    if (instance == kAnyInstance) {
        instance = 0;
        while (ports_.count(instance)) ++instance;
        if (instance > kMaxInstance) return winerr::kNoMoreItems;
    } else if (ports_.count(instance)) {
        return winerr::kAlreadyExists;
    }
    Virtual entry;
    entry.comNumber = request.comNumber;
    entry.hardwareId = request.hardwareId;
    std::string error;
    if (!CreatePort(instance, entry, &error)) {
        std::fprintf(stderr, "veltro-vspd: %s\n", error.c_str());
        DropPort(entry);
        return winerr::kGenFailure;
    }
    entry.port->SetConfig(DefaultConfig());
    auto& placed = ports_[instance] = std::move(entry);
    if (!Persist()) {
        DropPort(placed);
        ports_.erase(instance);
        return winerr::kWriteFault;
    }
    *instanceId = InstanceIdOf(instance);
    return winerr::kSuccess;
}

uint32_t DeviceTable::Remove(const std::string& pattern) {
    auto instance = ParseInstancePattern(pattern);
    auto it = instance ? ports_.find(*instance) : ports_.end();
    if (it == ports_.end()) return winerr::kNoSuchDevinst;
    auto node = ports_.extract(it);
    if (!Persist()) {
        ports_.insert(std::move(node));
        return winerr::kWriteFault;
    }
    DropPort(node.mapped());
    return winerr::kSuccess;
}

uint32_t DeviceTable::Renumber(const std::string& pattern, uint32_t comNumber) {
    auto instance = ParseInstancePattern(pattern);
    if (!instance || !ports_.count(*instance)) return winerr::kNoSuchDevinst;
    return SetComNumber(*instance, comNumber);
}

uint32_t DeviceTable::SetComNumber(uint32_t instance, uint32_t comNumber) {
    auto it = ports_.find(instance);
    if (it == ports_.end()) return winerr::kFileNotFound;
    if (comNumber == 0 || comNumber > kComNumberMax) return winerr::kInvalidParameter;
    Virtual& entry = it->second;
    uint32_t old = entry.comNumber;
    if (comNumber == old) return winerr::kSuccess;
    if (NumberTaken(comNumber, old)) return winerr::kSharingViolation;
    entry.comNumber = comNumber;
    if (!Persist()) {
        entry.comNumber = old;
        return winerr::kWriteFault;
    }
    Link(comNumber, entry.port->LinkTarget());
    RemoveLink(options_.comDir, ComName(old));
    return winerr::kSuccess;
}

uint32_t DeviceTable::Configure(uint32_t instance, const RemoteInfoRequest& config) {
    VirtualPort* port = Port(instance);
    if (!port) return winerr::kFileNotFound;
    RemoteInfoRequest old = port->Config();
    if (old == config) return winerr::kSuccess;
    port->SetConfig(config);
    if (!Persist()) {
        port->SetConfig(old);
        return winerr::kWriteFault;
    }
    return winerr::kSuccess;
}

std::string DeviceTable::DevicePathOf(uint32_t instance) {
    char path[80];
    std::snprintf(path, sizeof(path),
                  "\\\\?\\root#ports#%04u#{86e0d1e0-8089-11d0-9ce4-08003e301f73}", instance);
    return path;
}

std::string DeviceTable::InstanceIdOf(uint32_t instance) {
    char id[32];
    std::snprintf(id, sizeof(id), "ROOT\\PORTS\\%04u", instance);
    return id;
}

std::optional<uint32_t> DeviceTable::ParseInstancePattern(const std::string& pattern) {
    std::string p = pattern;
    if (!p.empty() && p[0] == '@') p.erase(0, 1);
    std::transform(p.begin(), p.end(), p.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string prefix = "root\\ports\\";
    if (p.size() != prefix.size() + 4 || p.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    uint32_t n = 0;
    for (size_t i = prefix.size(); i < p.size(); ++i) {
        if (p[i] < '0' || p[i] > '9') return std::nullopt;
        n = n * 10 + uint32_t(p[i] - '0');
    }
    return n;
}

}  // namespace vspd
