#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "platform/NetInterfaces.h"

// Whether a unicast command or a TFTP write request may go to `address` (host order): it must
// name one host. Refused are 0.0.0.0/8, the limited broadcast, multicast and class E
// addresses, and the network and directed-broadcast addresses of every subnet in `subnets`
// (the host's own, from NetInterfaces::Subnets) and of the device's own netmask
// (`deviceNetmask`, 0 when unknown). The reason in words, or empty when the address is fine.
QString WhyNotOneHost(uint32_t address, const std::vector<AdapterInfo>& subnets,
                      uint32_t deviceNetmask);
// The same against the host's subnets as `net` reads them now (none when it cannot).
QString WhyNotOneHost(uint32_t address, NetInterfaces& net, uint32_t deviceNetmask);
