#include <gtest/gtest.h>

#include "protocol/OneHost.h"

namespace {

struct Case {
    const char* address;
    const char* deviceNetmask;
    const char* reason;  // empty: one host's address
};

TEST(OneHost, RefusesEveryAddressThatReachesMoreOrLessThanOneOtherHost) {
    // lo as the namespace has it, an Ethernet /24, and a point-to-point /31 with no broadcast.
    const std::vector<AdapterInfo> subnets{{"lo", "127.0.0.1", "255.0.0.0"},
                                           {"eth0", "10.1.2.7", "255.255.255.0"},
                                           {"ptp", "10.9.0.0", "255.255.255.254"}};
    const Case cases[] = {
        {"127.1.1.10", "0.0.0.0", ""},
        {"10.1.2.1", "255.255.0.0", ""},
        {"10.9.0.1", "0.0.0.0", ""},
        {"0.0.0.0", "0.0.0.0", "0.0.0.0 is in 0.0.0.0/8, which names no host"},
        {"0.1.2.3", "0.0.0.0", "0.1.2.3 is in 0.0.0.0/8, which names no host"},
        {"255.255.255.255", "0.0.0.0", "255.255.255.255 is the broadcast address of every network"},
        {"224.0.0.1", "0.0.0.0", "224.0.0.1 is a multicast address"},
        {"239.255.255.250", "0.0.0.0", "239.255.255.250 is a multicast address"},
        {"240.0.0.1", "0.0.0.0", "240.0.0.1 is a reserved (class E) address"},
        {"127.255.255.255", "0.0.0.0",
         "127.255.255.255 is the broadcast address of 127.0.0.0/8, this host's subnet on lo"},
        {"127.0.0.0", "255.0.0.0",
         "127.0.0.0 is the network address of 127.0.0.0/8, this host's subnet on lo"},
        {"10.1.2.255", "0.0.0.0",
         "10.1.2.255 is the broadcast address of 10.1.2.0/24, this host's subnet on eth0"},
        {"10.1.2.0", "0.0.0.0",
         "10.1.2.0 is the network address of 10.1.2.0/24, this host's subnet on eth0"},
        // The host's own addresses: a device claiming one would have the host write to itself.
        {"127.0.0.1", "255.0.0.0", "127.0.0.1 is this host's own address on lo"},
        {"10.1.2.7", "255.255.255.0", "10.1.2.7 is this host's own address on eth0"},
        {"10.9.0.0", "0.0.0.0", "10.9.0.0 is this host's own address on ptp"},
        // Outside the host's subnets only the device's own netmask tells.
        {"192.168.1.255", "255.255.255.0",
         "192.168.1.255 is the broadcast address of 192.168.1.0/24, the device's own subnet"},
        {"172.16.0.0", "255.255.0.0",
         "172.16.0.0 is the network address of 172.16.0.0/16, the device's own subnet"},
        {"192.168.7.255", "255.255.0.0", ""},
        {"192.168.7.255", "255.0.255.0", ""},  // a mask with holes tells nothing
    };
    for (const Case& c : cases) {
        const std::optional<Ipv4Address> address = Ipv4Address::Parse(c.address);
        const std::optional<Ipv4Address> mask = Ipv4Address::Parse(c.deviceNetmask);
        ASSERT_TRUE(address && mask) << c.address;
        EXPECT_EQ(WhyNotOneHost(*address, subnets, *mask), QString::fromLatin1(c.reason))
            << c.address;
    }
}

TEST(OneHost, WithoutTheHostsSubnetsTheFixedRulesStillHold) {
    // The TFTP client checks alone, before any subnet is known.
    EXPECT_EQ(WhyNotOneHost(*Ipv4Address::Parse("127.255.255.255"), {}, Ipv4Address()),
              "127.255.255.255 is the broadcast address of 127.0.0.0/8, the loopback net");
    for (const char* refused : {"127.0.0.0", "0.0.0.0", "255.255.255.255"})
        EXPECT_FALSE(WhyNotOneHost(*Ipv4Address::Parse(refused), {}, Ipv4Address()).isEmpty())
            << refused;
    EXPECT_TRUE(WhyNotOneHost(*Ipv4Address::Parse("127.0.0.1"), {}, Ipv4Address()).isEmpty());
}

}  // namespace
