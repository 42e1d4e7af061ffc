#include <gtest/gtest.h>

#include "platform/NetInterfaces.h"
#include "tests/support/TestNamespace.h"

// The suite runs in a namespace whose only interface is loopback, so loopback is the
// only address and must then be listed.
TEST(LinuxNetInterfaces, LoopbackIsListedWhenItIsTheOnlyInterface) {
    ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace;
    LinuxNetInterfaces net;
    auto addresses = net.HostAddresses();
    ASSERT_TRUE(addresses.has_value());
    ASSERT_FALSE(addresses->isEmpty());
    EXPECT_EQ(addresses->first(), "127.0.0.1");

    auto adapters = net.Adapters();
    ASSERT_TRUE(adapters.has_value());
    ASSERT_EQ(adapters->size(), 1u);  // first address of lo only
    EXPECT_EQ(adapters->front().name, "lo");
    EXPECT_EQ(adapters->front().address, "127.0.0.1");
    EXPECT_EQ(adapters->front().netmask, "255.0.0.0");
}
