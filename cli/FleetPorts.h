#pragma once

#include <QString>

#include "cli/FleetPlan.h"
#include "vsp/VspDriver.h"
#include "vsp/VspInstallService.h"

namespace fleet {

// Adds, configures and connects a device's port through the port service as `steps` say;
// empty when the service then lists it connected (listening, for a server port).
QString MapPort(CVspDriver& driver, VspInstallService& installer, const inventory::PortSpec& spec,
                const PortSteps& steps);

}  // namespace fleet
