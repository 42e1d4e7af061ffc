#include <gtest/gtest.h>

#include <vector>

#include "devcfg/DeviceConfigRecord.h"
#include "devcfg/ValueLists.h"
#include "tests/devcfg/SampleRecords.h"

using namespace devrec;

TEST(DeviceConfigRecord, TextFieldsFillTheirWidthWithoutTerminatorAndSkipAChosenByte) {
    DeviceConfigRecord r;
    r.Set(deviceName, "ABCDEFGHIJKLMNOPQRS");  // 19 characters: cut at 16
    EXPECT_EQ(r.Get(deviceName), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(r.bytes()[26], 0);  // the MAC address that follows is untouched

    r.bytes().fill(0xFF);
    r.Set(deviceName, "ABC");
    EXPECT_EQ(BytesAt(r, 10, 5), (std::vector<uint8_t>{'A', 'B', 'C', 0, 0}));

    std::fill_n(r.bytes().begin() + 10, 16, 0xFF);
    std::copy_n("ABC", 3, r.bytes().begin() + 10);
    EXPECT_EQ(r.Get(deviceName), "ABC");  // 0xFF skipped, no zero before the end

    std::fill_n(r.bytes().begin() + 10, 16, 0xCC);
    std::copy_n("ABC", 3, r.bytes().begin() + 10);
    EXPECT_EQ(r.Get(deviceName, kSkipCC), "ABC");
    r.bytes()[11] = 0;
    EXPECT_EQ(r.Get(deviceName, kSkipCC), "A");  // stops at the first zero
}

TEST(DeviceConfigRecord, NumbersAndAddressesUseTheirFieldsByteOrder) {
    DeviceConfigRecord r;
    r.Set(listenPort, 4660);
    r.Set(modbusPort, 4660);
    r.Set(transmitTimer, 0x0102);
    r.Set(baudRate, 115200);
    r.Set(staticIp, 0xC0A80064);       // 192.168.0.100
    r.Set(dhcpPoolStart, 0xC0A80064);  // same address, host-word form
    r.Set(smtpEvents, 0x0113);

    EXPECT_EQ(BytesAt(r, 42, 2), (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_EQ(BytesAt(r, 744, 2), (std::vector<uint8_t>{0x34, 0x12}));
    EXPECT_EQ(BytesAt(r, 106, 2), (std::vector<uint8_t>{0x01, 0x02}));
    EXPECT_EQ(BytesAt(r, 100, 4), (std::vector<uint8_t>{0x00, 0xC2, 0x01, 0x00}));
    EXPECT_EQ(BytesAt(r, 38, 4), (std::vector<uint8_t>{192, 168, 0, 100}));
    EXPECT_EQ(BytesAt(r, 612, 4), (std::vector<uint8_t>{100, 0, 168, 192}));
    EXPECT_EQ(BytesAt(r, 360, 2), (std::vector<uint8_t>{0x13, 0x01}));

    EXPECT_EQ(r.Get(listenPort), 4660);
    EXPECT_EQ(r.Get(modbusPort), 4660);
    EXPECT_EQ(r.Get(baudRate), 115200u);
    EXPECT_EQ(r.Get(staticIp), 0xC0A80064u);
    EXPECT_EQ(r.Get(dhcpPoolStart), 0xC0A80064u);
}

TEST(DeviceConfigRecord, FlagsModeMacAndWepKeys) {
    DeviceConfigRecord r;
    r.SetFlag(netFlags, kClientMode | kTcp, true);
    r.SetOperationMode(3);
    r.SetFlag(modeFlags, kRtcFromNtp, true);
    EXPECT_EQ(r.Get(netFlags), 0x84);
    EXPECT_EQ(r.Get(modeFlags), 0x23);
    r.SetOperationMode(1);
    EXPECT_EQ(r.Get(modeFlags), 0x21);

    r.SetMacAddress({0x00, 0x0A, 0xBC, 0xDE, 0xF0, 0x12});
    EXPECT_EQ(r.MacAddressText(), "00-0A-BC-DE-F0-12");

    r.SetWepKey(false, 2, "12345678");  // cut at 5
    r.SetWepKey(true, 3, "abcdefghijklm");
    EXPECT_EQ(BytesAt(r, 482, 5), (std::vector<uint8_t>{'1', '2', '3', '4', '5'}));
    EXPECT_EQ(r.bytes()[487], 0);  // key 3 of the 64-bit set untouched
    EXPECT_EQ(r.WepKey(true, 3), "abcdefghijklm");
    EXPECT_EQ(r.bytes()[531], 'a');
}

TEST(DeviceConfigRecord, EveryTruncatedPrefixIsRefused) {
    std::vector<uint8_t> data(kSize, 0x5A);
    for (size_t n = 0; n < data.size(); ++n)
        EXPECT_FALSE(DeviceConfigRecord::FromBytes({data.data(), n}).has_value()) << n;
    data.resize(2000, 0x11);  // a whole ring slot: the first 756 bytes are taken
    auto r = DeviceConfigRecord::FromBytes(data);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->bytes()[755], 0x5A);
}

TEST(DeviceConfigRecord, SetupCommandFixesItsFieldsAndClearsUnnamedBytes) {
    DeviceConfigRecord edited;
    edited.bytes().fill(0xAB);
    const std::array<uint8_t, 6> mac{1, 2, 3, 4, 5, 6};
    const DeviceConfigRecord c = BuildSetupCommand(edited, mac);
    const auto& b = c.bytes();

    EXPECT_EQ(BytesAt(c, 0, 8), (std::vector<uint8_t>{'Q', 'M', 'D', 'R', 'R', 'D', 'M', 'Q'}));
    EXPECT_EQ(b[8], 2);
    EXPECT_EQ(b[9], 1);
    EXPECT_EQ(BytesAt(c, 44, 2), (std::vector<uint8_t>{0x62, 0x22}));
    EXPECT_EQ(b[104], 0);
    EXPECT_EQ(BytesAt(c, 26, 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    for (auto [offset, width] : kReservedRanges)
        for (int i = 0; i < width; ++i) EXPECT_EQ(b[offset + i], 0) << offset + i;
    // Everything else passes through.
    EXPECT_EQ(b[10], 0xAB);
    EXPECT_EQ(b[106], 0xAB);
    EXPECT_EQ(b[753], 0xAB);
}

TEST(ValueLists, PositionsAndValuesWithNoSelectionOutsideTheList) {
    struct Case {
        const ValueList& list;
        int64_t value;
        std::optional<int> position;
    };
    const Case cases[] = {
        {lists::baudRate, 921600, 0},
        {lists::baudRate, 9600, 5},
        {lists::baudRate, 1200, 8},
        {lists::baudRate, 300, std::nullopt},
        {lists::dataBits, 7, 0},
        {lists::dataBits, 9, std::nullopt},
        {lists::stopBits, 2, 1},
        {lists::wifiNetworkMode, 2, 1},
        {lists::wifiNetworkMode, 0, std::nullopt},
        {lists::wifiChannel, 14, 13},
        {lists::wifiChannel, 15, std::nullopt},
        {lists::parity, 2, 2},
        {lists::parity, 3, std::nullopt},
        {lists::timeZone, 24, 24},
        {lists::timeZone, 25, std::nullopt},
        {lists::timeZone, -1, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.list.PositionOf(c.value), c.position) << c.value;
        if (c.position) EXPECT_EQ(c.list.ValueAt(*c.position), c.value);
    }
    EXPECT_EQ(lists::baudRate.ValueAt(9), std::nullopt);
    EXPECT_EQ(lists::wifiChannel.ValueAt(0), 1);
}
