#include <gtest/gtest.h>

#include <QStringList>

#include "devmgr/DmDeviceTable.h"
#include "protocol/Message.h"

using namespace devrec;

namespace {

DeviceConfigRecord Reply(uint8_t lastMacByte, const QByteArray& name = "dev") {
    DeviceConfigRecord r;
    std::copy(msg::kMagic.begin(), msg::kMagic.end(), r.bytes().begin());
    r.Set(command, msg::kSearchReply);
    r.SetRaw(deviceName, name);
    r.SetMacAddress({0x00, 0x1A, 0xAB, 0xCD, 0xEF, lastMacByte});
    r.Set(currentIp, 0xC0A8000Au);
    r.Set(listenPort, 4001);
    r.Set(destinationPort, 5002);
    return r;
}

}  // namespace

TEST(DmDeviceTable, FillsTheNineColumnsAsTheListShowsThem) {
    struct Case {
        const char* what;
        uint8_t flags;
        uint8_t link;
        QStringList cells;  // columns 4 to 8
        Rgb back;
    };
    const Case cases[] = {
        {"server, static, idle",
         0,
         0,
         {"Disable", "192.168.0.10", "4001", "Server", "Idle"},
         kDmNewRowBack},
        {"client, dhcp, connected",
         kClientMode | kDhcpClient,
         1,
         {"Enable", "192.168.0.10", "5002", "Client", "Connected"},
         kDmConnectedBack},
        {"unknown link status",
         0,
         7,
         {"Disable", "192.168.0.10", "4001", "Server", "Unknown"},
         kDmNewRowBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DmDeviceTable table;
        DeviceConfigRecord r = Reply(0x01, "Boiler_7");
        r.Set(netFlags, c.flags);
        r.Set(linkStatus, c.link);
        ASSERT_EQ(table.AddSearchReply(r), 0);
        EXPECT_EQ(table.CellText(0, 0), "");
        EXPECT_EQ(table.CellText(0, 1), "1");
        EXPECT_EQ(table.CellText(0, 2), "Boiler_7");
        EXPECT_EQ(table.CellText(0, 3), "00-1A-AB-cd-ef-01");
        QStringList rest;
        for (int col = 4; col < 9; ++col) rest << table.CellText(0, col);
        EXPECT_EQ(rest, c.cells);
        EXPECT_EQ(table.At(0).back, c.back);
        EXPECT_FALSE(table.At(0).text.has_value());
        EXPECT_FALSE(table.IsChecked(0));
    }
}

TEST(DmDeviceTable, NamesSkipFFAndEmptyNamesBecomeDsmWithTheRowNumber) {
    DmDeviceTable table;
    ASSERT_TRUE(table.AddSearchReply(Reply(1, QByteArray("AB\xFF"
                                                         "C\xFF\xFF",
                                                         6))));
    ASSERT_TRUE(table.AddSearchReply(Reply(2, "x")));
    ASSERT_TRUE(table.AddSearchReply(Reply(3, QByteArray(16, '\0'))));
    ASSERT_TRUE(table.AddSearchReply(Reply(4, QByteArray(16, '\xFF'))));
    EXPECT_EQ(table.CellText(0, 2), "ABC");
    EXPECT_EQ(table.CellText(2, 2), "DSM3");
    EXPECT_EQ(table.CellText(3, 2), "DSM4");
    EXPECT_EQ(table.CellText(3, 1), "4");
}

TEST(DmDeviceTable, AKnownMacIsNotListedTwice) {
    DmDeviceTable table;
    EXPECT_EQ(table.AddSearchReply(Reply(9, "first")), 0);
    EXPECT_EQ(table.AddSearchReply(Reply(9, "again")), std::nullopt);
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.CellText(0, 2), "first");
}

// More devices than the table holds: the rest are not listed, and every row keeps the reply
// of the device it shows.
TEST(DmDeviceTable, StopsAtItsCapacityWithRowsAndRepliesInStep) {
    DmDeviceTable table;
    for (int i = 0; i < DmDeviceTable::kCapacity + 5; ++i) {
        DeviceConfigRecord r = Reply(static_cast<uint8_t>(i));
        r.bytes()[30] = static_cast<uint8_t>(i >> 8);  // fifth MAC byte
        const auto row = table.AddSearchReply(r);
        EXPECT_EQ(row.has_value(), i < DmDeviceTable::kCapacity) << i;
    }
    ASSERT_EQ(table.Count(), 256);
    for (int i = 0; i < table.Count(); ++i) {
        EXPECT_EQ(table.CellText(i, 3), DmDeviceTable::MacText(table.Record(i)));
        EXPECT_EQ(table.Record(i).MacAddress()[5], static_cast<uint8_t>(i));
    }
}

TEST(DmDeviceTable, ASetupReplyRewritesTheRowAndMarksItDone) {
    DmDeviceTable table;
    ASSERT_TRUE(table.AddSearchReply(Reply(1, "old")));
    table.SetChecked(0, true);
    DeviceConfigRecord done = Reply(1, QByteArray("NE\xFFW", 4));
    done.Set(command, msg::kSetupReply);
    done.Set(netFlags, kClientMode);
    done.Set(destinationPort, 1023);
    table.ApplySetupReply(0, done);
    EXPECT_EQ(table.Record(0), done);
    EXPECT_EQ(table.CellText(0, 2), QString::fromLatin1("NE\xFFW"));  // 0xFF kept here
    EXPECT_EQ(table.CellText(0, 6), "1023");
    EXPECT_EQ(table.CellText(0, 7), "Client");
    EXPECT_EQ(table.CellText(0, 8), "Device Setup Success");
    EXPECT_EQ(table.At(0).back, (Rgb{232, 192, 192}));
    EXPECT_EQ(table.At(0).text, (Rgb{0, 176, 0}));
    EXPECT_FALSE(table.IsChecked(0));
    EXPECT_EQ(table.Count(), 1);
}

TEST(DmDeviceTable, StatusWordsOfTheVirtualPortViewColourTheRow) {
    DmDeviceTable table;
    ASSERT_TRUE(table.AddSearchReply(Reply(1)));
    ASSERT_TRUE(table.AddSearchReply(Reply(2)));
    EXPECT_EQ(table.FindRowByIp("192.168.0.10"), 0);
    table.SetStatusText(1, "Connected");
    EXPECT_EQ(table.CellText(1, 8), "Connected");
    EXPECT_EQ(table.At(1).back, (Rgb{220, 220, 220}));
    table.SetStatusText(1, "Idle");
    EXPECT_EQ(table.At(1).back, (Rgb{232, 192, 192}));
    table.SetStatusText(1, "Other");
    EXPECT_EQ(table.CellText(1, 8), "Other");
    EXPECT_EQ(table.At(1).back, (Rgb{232, 192, 192}));
    table.SetChecked(1, true);
    EXPECT_EQ(table.CheckedRows(), std::vector<int>{1});
}
