#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

#include "cli/CliSession.h"
#include "cli/Inventory.h"
#include "cli/InventorySettings.h"
#include "vsp/VspDriver.h"
#include "vspd/DriverRequests.h"

// What an apply would do to each device of an inventory, from what the search, the status
// queries and the port service said: a pure comparison, no traffic.
namespace fleet {

// What is done to a device's virtual port, in this order.
struct PortSteps {
    bool add = false;
    bool configure = false;
    bool connect = false;
    vspd::RemoteInfoRequest config;  // without the host address, which the driver fills in
    QString before;                  // the port as the service lists it; empty: no such port
    bool Any() const { return add || configure || connect; }
};

struct DevicePlan {
    const inventory::DeviceEntry* entry = nullptr;
    std::optional<CliDevice> device;  // nullopt: not found by the search
    int row = 0;                      // its row when planned; fills in a name the device lacks
    DeviceConfigRecord intended;      // the setup command the inventory makes
    bool setup = false;
    std::vector<inventory::SettingChange> settingChanges;
    QString reportedVersion;  // empty when the device did not answer the status query
    bool upgrade = false;
    uint32_t address = 0;  // where the device answers once applied (host order)
    PortSteps port;
    bool Changes() const { return !device || setup || upgrade || port.Any(); }
};

struct Plan {
    std::vector<DevicePlan> devices;  // in the inventory's order
    std::vector<CliDevice> others;    // found, not in the inventory: left alone
    std::vector<inventory::Problem> problems;
    bool Changes() const;
};

// What the planner is told. Versions and ports may be missing: a device that did not answer
// the status query is upgraded, a port the service did not list is added.
struct Observed {
    std::vector<CliDevice> devices;                  // in the search's order
    std::map<QString, QString> versions;             // by IP address
    std::optional<std::vector<VspInterface>> ports;  // nullopt: the service did not answer
    std::vector<AdapterInfo> subnets;                // the host's
};

Plan MakePlan(const std::vector<inventory::DeviceEntry>& entries, const Observed& observed);

// Keeps only the devices that `limits` name, each a MAC address, a device's name (the file's,
// or the one it reports when the file gives none) or a group; the others of the inventory
// are left out, not listed as strangers. The first limit that names no device, or empty.
QString Limit(Plan& plan, const QStringList& limits);

// The port's state in the service's list: added, set up as wanted, connected (or listening).
PortSteps PortStepsFor(const inventory::PortSpec& spec, uint32_t address,
                       const DeviceSetupValues& values, const std::vector<VspInterface>* ports);

}  // namespace fleet
