#include "protocol/OneHost.h"

namespace {

constexpr uint32_t kClassMask = 0xF0000000u;
constexpr uint32_t kMulticast = 0xE0000000u;  // 224.0.0.0/4
constexpr uint32_t kClassE = 0xF0000000u;     // 240.0.0.0/4
constexpr Ipv4Address kThisNetworkMask(0xFF000000u);
constexpr Ipv4Address kLoopbackNet(0x7F000000u);  // 127.0.0.0/8
constexpr Ipv4Address kLoopbackMask(0xFF000000u);
// In a /31 or /32 every address is a host's (point-to-point links).
constexpr int kLongestPrefixWithBroadcast = 30;

// Whether `address` is the network or broadcast address of the subnet of `member` and `mask`;
// the reason then, naming the subnet and `whose`.
QString SubnetEdge(Ipv4Address address, Ipv4Address member, Ipv4Address mask,
                   const QString& whose) {
    const int prefix = mask.PrefixLength();
    if (prefix < 0 || prefix > kLongestPrefixWithBroadcast) return {};
    const Ipv4Address network(member.HostOrder() & mask.HostOrder());
    const QString subnet = QStringLiteral("%1/%2").arg(network.ToString()).arg(prefix);
    const bool isNetwork = address == network;
    if (!isNetwork && address != Ipv4Address(network.HostOrder() | ~mask.HostOrder())) return {};
    return QStringLiteral("%1 is the %2 address of %3, %4")
        .arg(address.ToString(),
             isNetwork ? QStringLiteral("network") : QStringLiteral("broadcast"), subnet, whose);
}

// The reasons that hold whatever networks the host is on.
QString FixedReason(Ipv4Address address) {
    const QString dotted = address.ToString();
    const uint32_t value = address.HostOrder();
    if (address == Ipv4Address::LimitedBroadcast())
        return QStringLiteral("%1 is the broadcast address of every network").arg(dotted);
    if (address.SameSubnet(Ipv4Address(), kThisNetworkMask))
        return QStringLiteral("%1 is in 0.0.0.0/8, which names no host").arg(dotted);
    if ((value & kClassMask) == kMulticast)
        return QStringLiteral("%1 is a multicast address").arg(dotted);
    if ((value & kClassMask) == kClassE)
        return QStringLiteral("%1 is a reserved (class E) address").arg(dotted);
    return {};
}

}  // namespace

QString WhyNotOneHost(Ipv4Address address, const std::vector<AdapterInfo>& subnets,
                      Ipv4Address deviceNetmask) {
    if (QString reason = FixedReason(address); !reason.isEmpty()) return reason;
    for (const AdapterInfo& subnet : subnets) {
        const std::optional<Ipv4Address> member = Ipv4Address::Parse(subnet.address);
        const std::optional<Ipv4Address> mask = Ipv4Address::Parse(subnet.netmask);
        if (!member || !mask) continue;
        if (address == *member)
            return QStringLiteral("%1 is this host's own address on %2")
                .arg(address.ToString(), subnet.name);
        const QString reason = SubnetEdge(
            address, *member, *mask, QStringLiteral("this host's subnet on %1").arg(subnet.name));
        if (!reason.isEmpty()) return reason;
    }
    // Also where the host's subnets are not known.
    if (QString reason =
            SubnetEdge(address, kLoopbackNet, kLoopbackMask, QStringLiteral("the loopback net"));
        !reason.isEmpty())
        return reason;
    return SubnetEdge(address, address, deviceNetmask, QStringLiteral("the device's own subnet"));
}

QString WhyNotOneHost(Ipv4Address address, NetInterfaces& net, Ipv4Address deviceNetmask) {
    return WhyNotOneHost(address, net.Subnets().value_or(std::vector<AdapterInfo>{}),
                         deviceNetmask);
}
