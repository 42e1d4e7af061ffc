#pragma once

#include <vector>

#include "cli/Inventory.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

// A [[range]] table: many devices that differ only in consecutive values, written once.
namespace inventory {

struct RangeDevice {
    Mac mac{};
    toml::table table;  // the device's table, as a [device."MAC"] table would be
};

// The devices of one range: `first` is the first device's MAC address and `count` how many
// there are, each next device having the next MAC address; `name` may hold {n}, the device's
// number (from `start`, 1 unless given); `network.address` and `port.com` are the first
// device's, each next device taking the next address and COM number. Every other key is a
// device's key and the same for all. Faults go to `problems`, and then no device comes back.
std::vector<RangeDevice> ExpandRange(const toml::table& range, std::vector<Problem>& problems);

}  // namespace inventory
