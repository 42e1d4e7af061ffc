#include <gtest/gtest.h>

#include "protocol/Ipv4Address.h"

namespace {

TEST(Ipv4Address, ParseTakesOnlyFourPlainDecimalParts) {
    EXPECT_EQ(Ipv4Address::Parse("192.168.2.1"), Ipv4Address(0xC0A80201u));
    EXPECT_EQ(Ipv4Address::Parse("0.0.0.0"), Ipv4Address());
    EXPECT_EQ(Ipv4Address::Parse("255.255.255.255"), Ipv4Address::LimitedBroadcast());
    for (const char* refused :
         {"", "10.1", "10.1.2", "1.2.3.4.5", "010.0.0.1", "10.0.0.01", "0x10.0.0.1", "256.0.0.1",
          " 10.0.0.1", "10.0.0.1 ", "10.0.0.1x", "1..2.3", "-1.0.0.0", "10.0.0.1\n"})
        EXPECT_EQ(Ipv4Address::Parse(refused), std::nullopt) << refused;
    EXPECT_EQ(Ipv4Address::Parse(QStringLiteral("10.0.0.1") + QChar(0) + "9"), std::nullopt);
    EXPECT_EQ(Ipv4Address::Parse(QStringLiteral("10.0.0.\u0661")), std::nullopt);  // Arabic 1
}

TEST(Ipv4Address, ParseStandardAlsoTakesTheShortForms) {
    EXPECT_EQ(Ipv4Address::ParseStandard("192.168.1"), Ipv4Address(0xC0A80001u));
    EXPECT_EQ(Ipv4Address::ParseStandard("10.1"), Ipv4Address(0x0A000001u));
    EXPECT_EQ(Ipv4Address::ParseStandard("0x0a.0.0.010"), Ipv4Address(0x0A000008u));
    for (const char* refused : {"", "none", "192.168.1.300", "10.0.0.1x"})
        EXPECT_EQ(Ipv4Address::ParseStandard(refused), std::nullopt) << refused;
}

TEST(Ipv4Address, FormsConvertBothWays) {
    const Ipv4Address address(0xC0A80064u);
    EXPECT_EQ(address.ToString(), "192.168.0.100");
    EXPECT_EQ(address.Bytes(), (std::array<uint8_t, 4>{192, 168, 0, 100}));
    EXPECT_EQ(Ipv4Address::FromBytes({192, 168, 0, 100}), address);
    EXPECT_EQ(Ipv4Address::Parse(address.ToString()), address);
}

TEST(Ipv4Address, NetmasksAndSubnets) {
    const struct {
        const char* mask;
        int prefix;
    } masks[] = {{"0.0.0.0", 0},          {"255.0.0.0", 8},    {"255.255.255.0", 24},
                 {"255.255.255.255", 32}, {"255.0.255.0", -1}, {"0.255.255.255", -1}};
    for (const auto& m : masks)
        EXPECT_EQ(Ipv4Address::Parse(m.mask)->PrefixLength(), m.prefix) << m.mask;
    const Ipv4Address mask = *Ipv4Address::Parse("255.255.255.0");
    EXPECT_TRUE(
        Ipv4Address::Parse("10.1.2.3")->SameSubnet(*Ipv4Address::Parse("10.1.2.200"), mask));
    EXPECT_FALSE(Ipv4Address::Parse("10.1.2.3")->SameSubnet(*Ipv4Address::Parse("10.1.3.3"), mask));
}

}  // namespace
