#include "protocol/OneHost.h"

#include <bit>

#include "protocol/Address.h"

namespace {

constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFFu;
constexpr uint32_t kClassMask = 0xF0000000u;
constexpr uint32_t kMulticast = 0xE0000000u;  // 224.0.0.0/4
constexpr uint32_t kClassE = 0xF0000000u;     // 240.0.0.0/4
constexpr uint32_t kThisNetworkMask = 0xFF000000u;
// In a /31 or /32 every address is a host's (point-to-point links).
constexpr int kLongestPrefixWithBroadcast = 30;

// The prefix length of a contiguous netmask; -1 for a mask with holes.
int PrefixLength(uint32_t mask) {
    const int length = std::countl_one(mask);
    return length == 32 || (mask << length) == 0 ? length : -1;
}

// Whether `address` is the network or broadcast address of the subnet of `member` and `mask`;
// the reason then, naming the subnet and `whose`.
QString SubnetEdge(uint32_t address, uint32_t member, uint32_t mask, const QString& whose) {
    const int prefix = PrefixLength(mask);
    if (prefix < 0 || prefix > kLongestPrefixWithBroadcast) return {};
    const uint32_t network = member & mask;
    const QString subnet = QStringLiteral("%1/%2").arg(FormatDotted(network)).arg(prefix);
    const bool isNetwork = address == network;
    if (!isNetwork && address != (network | ~mask)) return {};
    return QStringLiteral("%1 is the %2 address of %3, %4")
        .arg(FormatDotted(address),
             isNetwork ? QStringLiteral("network") : QStringLiteral("broadcast"), subnet, whose);
}

}  // namespace

QString WhyNotOneHost(uint32_t address, const std::vector<AdapterInfo>& subnets,
                      uint32_t deviceNetmask) {
    const QString dotted = FormatDotted(address);
    if (address == kLimitedBroadcast)
        return QStringLiteral("%1 is the broadcast address of every network").arg(dotted);
    if ((address & kThisNetworkMask) == 0)
        return QStringLiteral("%1 is in 0.0.0.0/8, which names no host").arg(dotted);
    if ((address & kClassMask) == kMulticast)
        return QStringLiteral("%1 is a multicast address").arg(dotted);
    if ((address & kClassMask) == kClassE)
        return QStringLiteral("%1 is a reserved (class E) address").arg(dotted);
    for (const AdapterInfo& subnet : subnets) {
        const std::optional<uint32_t> member = ParseInetAddress(subnet.address);
        const std::optional<uint32_t> mask = ParseInetAddress(subnet.netmask);
        if (!member || !mask) continue;
        const QString reason = SubnetEdge(
            address, *member, *mask, QStringLiteral("this host's subnet on %1").arg(subnet.name));
        if (!reason.isEmpty()) return reason;
    }
    return SubnetEdge(address, address, deviceNetmask, QStringLiteral("the device's own subnet"));
}

QString WhyNotOneHost(uint32_t address, NetInterfaces& net, uint32_t deviceNetmask) {
    return WhyNotOneHost(address, net.Subnets().value_or(std::vector<AdapterInfo>{}),
                         deviceNetmask);
}
