#pragma once

#include <string>
#include <vector>

// Finds the machine's serial devices for automatic COM names: every tty class entry with
// a device behind it, except 8250 ports whose UART type is 0 (no hardware present).
namespace vspd {

constexpr const char* kSysClassTty = "/sys/class/tty";

// The device nodes (/dev/ttyUSB0 ...) in name order.
std::vector<std::string> DetectSerialDevices(const std::string& sysClassTty);

// The friendly name Windows would give such a port.
std::string PhysicalFriendlyName(const std::string& device, unsigned comNumber);

}  // namespace vspd
