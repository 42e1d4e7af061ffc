#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vspd/DriverRequests.h"

// The service's persistent state: its virtual ports with their configuration and the COM
// names given to physical devices. A text file of one record per line:
//   veltro-vspd-state 1
//   port instance=3 com=5 hwid=QMDR\Vser ip=3232235523 port=4001 proto=0 atstart=0 mode=1
//        vcom=0 packet=1400 host=0 lport=0            (one line)
//   map com=3 device=/dev/ttyUSB0 auto=1
// Values are percent-escaped; unknown keys are skipped so that newer files still load.
namespace vspd {

struct PortRecord {
    uint32_t instance = 0;
    uint32_t comNumber = 0;
    std::string hardwareId;
    RemoteInfoRequest config;
    uint16_t localPort = 0;
    bool operator==(const PortRecord&) const = default;
};

struct MapRecord {
    uint32_t comNumber = 0;
    std::string device;
    bool automatic = false;
    bool operator==(const MapRecord&) const = default;
};

struct ServiceState {
    std::vector<PortRecord> ports;
    std::vector<MapRecord> maps;
    bool operator==(const ServiceState&) const = default;
};

std::string EncodeState(const ServiceState& state);
// Lines that cannot be read are skipped; so are records whose instance or COM number
// repeats an earlier one. Each skipped line adds "line N: why" to *dropped.
ServiceState DecodeState(std::string_view text, std::vector<std::string>* dropped = nullptr);

// Writes the file so that a crash leaves either the old or the new content: temporary
// file, fsync, rename over the old one, fsync of the directory.
bool WriteFileAtomically(const std::string& dir, const std::string& name,
                         const std::string& content, std::string* error);
bool ReadWholeFile(const std::string& path, std::string* content);

}  // namespace vspd
