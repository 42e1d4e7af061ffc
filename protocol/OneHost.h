#pragma once

#include <QString>
#include <vector>

#include "platform/NetInterfaces.h"
#include "protocol/Ipv4Address.h"

// Whether a unicast command or a TFTP write request may go to `address`: it must name one
// host, and another one than this. Refused are 0.0.0.0/8, the limited broadcast, multicast
// and class E addresses, the loopback net's network and broadcast addresses, the network and
// directed-broadcast addresses of every subnet in `subnets` (the host's own, from
// NetInterfaces::Subnets) and of the device's own netmask (`deviceNetmask`, 0.0.0.0 when
// unknown), and the host's own address on each of `subnets`. The reason in words, or empty
// when the address is fine.
QString WhyNotOneHost(Ipv4Address address, const std::vector<AdapterInfo>& subnets,
                      Ipv4Address deviceNetmask);
// The same against the host's subnets as `net` reads them now (none when it cannot).
QString WhyNotOneHost(Ipv4Address address, NetInterfaces& net, Ipv4Address deviceNetmask);
