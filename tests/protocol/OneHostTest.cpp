#include <gtest/gtest.h>

#include "protocol/Address.h"
#include "protocol/OneHost.h"

namespace {

struct Case {
    const char* address;
    uint32_t deviceNetmask;
    const char* reason;  // empty: one host's address
};

TEST(OneHost, RefusesEveryAddressThatReachesMoreOrLessThanOneHost) {
    // lo as the namespace has it, an Ethernet /24, and a point-to-point /31 with no broadcast.
    const std::vector<AdapterInfo> subnets{{"lo", "127.0.0.1", "255.0.0.0"},
                                           {"eth0", "10.1.2.7", "255.255.255.0"},
                                           {"ptp", "10.9.0.0", "255.255.255.254"}};
    constexpr uint32_t k16 = 0xFFFF0000u;
    const Case cases[] = {
        {"127.1.1.10", 0, ""},
        {"10.1.2.1", k16, ""},
        {"10.9.0.0", 0, ""},
        {"10.9.0.1", 0, ""},
        {"0.0.0.0", 0, "0.0.0.0 is in 0.0.0.0/8, which names no host"},
        {"0.1.2.3", 0, "0.1.2.3 is in 0.0.0.0/8, which names no host"},
        {"255.255.255.255", 0, "255.255.255.255 is the broadcast address of every network"},
        {"224.0.0.1", 0, "224.0.0.1 is a multicast address"},
        {"239.255.255.250", 0, "239.255.255.250 is a multicast address"},
        {"240.0.0.1", 0, "240.0.0.1 is a reserved (class E) address"},
        {"127.255.255.255", 0,
         "127.255.255.255 is the broadcast address of 127.0.0.0/8, this host's subnet on lo"},
        {"127.0.0.0", 0,
         "127.0.0.0 is the network address of 127.0.0.0/8, this host's subnet on lo"},
        {"10.1.2.255", 0,
         "10.1.2.255 is the broadcast address of 10.1.2.0/24, this host's subnet on eth0"},
        {"10.1.2.0", 0,
         "10.1.2.0 is the network address of 10.1.2.0/24, this host's subnet on eth0"},
        // Outside the host's subnets only the device's own netmask tells.
        {"192.168.7.255", 0xFFFFFF00u,
         "192.168.7.255 is the broadcast address of 192.168.7.0/24, the device's own subnet"},
        {"172.16.0.0", k16,
         "172.16.0.0 is the network address of 172.16.0.0/16, the device's own subnet"},
        {"192.168.7.255", k16, ""},
        {"192.168.7.255", 0xFF00FF00u, ""},  // a mask with holes tells nothing
    };
    for (const Case& c : cases) {
        const uint32_t address = *ParseInetAddress(QString::fromLatin1(c.address));
        EXPECT_EQ(WhyNotOneHost(address, subnets, c.deviceNetmask), QString::fromLatin1(c.reason))
            << c.address;
    }
}

}  // namespace
