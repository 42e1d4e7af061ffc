#include <gtest/gtest.h>

#include "devcfg/SetupMapping.h"
#include "tests/devcfg/SampleRecords.h"

using namespace devrec;

namespace {

DeviceSetupValues Filled(const DeviceConfigRecord& record, int listIndex = 0) {
    DeviceSetupValues values;
    EXPECT_TRUE(FillSetupValues(values, record, listIndex));
    return values;
}

const std::array<uint8_t, kMacSize> kMac{0x00, 0x0A, 0xBC, 0xDE, 0xF0, 0x12};

}  // namespace

TEST(SetupMapping, RealisticReplyComesBackAsTheSameBytesApartFromTheHeader) {
    const DeviceConfigRecord reply = RealisticReply();
    const SetupBuild build = BuildSetupRecord(Filled(reply), reply.MacAddress());
    EXPECT_TRUE(build.errors.isEmpty()) << build.errors.join('|').toStdString();
    EXPECT_EQ(DifferingOffsets(build.command, ExpectedCommand(reply)), std::vector<int>{});
}

TEST(SetupMapping, FillShowsTheRecordAsThePagesDo) {
    const DeviceSetupValues v = Filled(RealisticReply());
    EXPECT_EQ(v.deviceName, "Lab-Unit-07");
    EXPECT_EQ(v.macAddress, "00-0A-BC-DE-F0-12");
    EXPECT_TRUE(v.clientMode);
    EXPECT_EQ(v.dhcp, 0);
    EXPECT_FALSE(v.dhcpClientFlag);
    EXPECT_TRUE(v.tcp);
    EXPECT_FALSE(v.udp);
    EXPECT_EQ(v.operationMode, 1);
    EXPECT_EQ(v.staticIp, "192.168.10.51");
    EXPECT_EQ(v.listenPort, 4660u);
    EXPECT_EQ(v.transmitTimer, 258u);
    EXPECT_EQ(v.baudRate, 1);
    EXPECT_EQ(v.dataBits, 1);
    EXPECT_EQ(v.stopBits, 0);
    EXPECT_EQ(v.wifiNetworkMode, 1);
    EXPECT_EQ(v.wifiChannel, 5);
    EXPECT_EQ(v.wep128Keys[2], "0123456789abc");
    EXPECT_EQ(v.dhcpPoolStart, 0xC0A80A64u);
    EXPECT_EQ(v.timeZone, 13);
    EXPECT_EQ(v.rtcSetup, 1);
    EXPECT_EQ(v.daylightSaving, 1);
    EXPECT_EQ(v.eventColdStart, 1);
    EXPECT_EQ(v.eventWarmStart, 1);
    EXPECT_EQ(v.eventAuthFail, 0);
    EXPECT_EQ(v.eventIpChange, 1);
    EXPECT_EQ(v.modbusSlaveId, 17u);
}

TEST(SetupMapping, OnlyReplyCommandsFillThePages) {
    struct Case {
        uint8_t command;
        bool fills;
    };
    for (const Case c :
         {Case{1, true}, Case{3, true}, Case{9, true}, Case{12, true}, Case{0x21, true},
          Case{0xCC, true}, Case{0, false}, Case{2, false}, Case{0x0E, false}, Case{0x10, false}}) {
        DeviceConfigRecord record = RealisticReply();
        record.Set(command, c.command);
        DeviceSetupValues values;
        values.deviceName = "previous";
        EXPECT_EQ(FillSetupValues(values, record, 0), c.fills) << int(c.command);
        EXPECT_EQ(values.deviceName, c.fills ? "Lab-Unit-07" : "previous") << int(c.command);
    }
}

TEST(SetupMapping, EmptyNameBecomesDsmAndTheListNumber) {
    DeviceConfigRecord record = RealisticReply();
    std::fill_n(record.bytes().begin() + deviceName.offset, deviceName.width, 0xCC);
    const DeviceSetupValues values = Filled(record, 2);
    EXPECT_EQ(values.deviceName, "DSM3");
    const SetupBuild build = BuildSetupRecord(values, kMac);
    EXPECT_EQ(build.command.Get(deviceName), "DSM3");
    EXPECT_EQ(BytesAt(build.command, 14, 12), std::vector<uint8_t>(12, 0));

    std::copy_n("ABC", 3, record.bytes().begin() + deviceName.offset);
    EXPECT_EQ(Filled(record).deviceName, "ABC");  // 0xCC padding skipped
}

TEST(SetupMapping, ValuesOutsideTheListsLeaveNoSelection) {
    DeviceConfigRecord r = RealisticReply();
    r.Set(baudRate, 300);
    r.Set(dataBits, 6);
    r.Set(stopBits, 3);
    r.Set(parity, 3);
    r.Set(wifiNetworkMode, 0);
    r.Set(wifiChannel, 15);
    r.Set(wifiSecurity, 7);  // above the list: its last entry
    r.Set(ntpTimeZone, 25);
    r.Set(dhcpServerEnabled, 2);
    const DeviceSetupValues v = Filled(r);
    EXPECT_EQ(v.baudRate, kNoSelection);
    EXPECT_EQ(v.dataBits, kNoSelection);
    EXPECT_EQ(v.stopBits, kNoSelection);
    EXPECT_EQ(v.parity, kNoSelection);
    EXPECT_EQ(v.wifiNetworkMode, kNoSelection);
    EXPECT_EQ(v.wifiChannel, kNoSelection);
    EXPECT_EQ(v.wifiSecurity, 2);
    EXPECT_EQ(v.timeZone, kNoSelection);
    EXPECT_EQ(v.dhcpServerStatus, kNoSelection);
}

TEST(SetupMapping, EveryFailedCheckIsReportedInOrderAndLeavesItsFieldZero) {
    DeviceSetupValues v = Filled(RealisticReply());
    v.deviceName = "Lab Unit";
    for (int* list :
         {&v.dataBits, &v.stopBits, &v.parity, &v.flowControl, &v.baudRate, &v.smtpSecurity,
          &v.modbusTransferMode, &v.wifiRf, &v.wifiNetworkMode, &v.wifiChannel, &v.wifiSecurity,
          &v.wepKeyIndex, &v.wepKeyLength, &v.dhcpServerStatus, &v.timeZone}) {
        *list = kNoSelection;
    }
    v.staticIp = "none";
    v.subnetMask = "255.255.255.256";
    v.gateway = "";
    v.dnsServer = "dns";
    const SetupBuild build = BuildSetupRecord(v, kMac);
    EXPECT_EQ(build.errors, QStringList({" NO SPACES between the letters.",
                                         " Serial Port Data Bits Wrong.",
                                         " Serial Port Stop Bits Wrong.",
                                         " Serial Port Parity Wrong.",
                                         " Serial Port Flow Control Wrong.",
                                         " Serial Port Baud Rate wrong.",
                                         " SMTP Security select wrong.",
                                         " MODBUS Transfer Mode select wrong.",
                                         " Wifi RF select wrong.",
                                         " Wifi Network Mode select wrong.",
                                         " Wifi Channel select wrong.",
                                         " Wifi Encrypt Mode select wrong.",
                                         " Wifi Wep Key Index wrong.",
                                         " Wifi Wep Key Len wrong.",
                                         " Dhcp Status select wrong.",
                                         " NTP Time Zone select wrong.",
                                         " Static IP wrong.",
                                         " Subnet Mask wrong.",
                                         " Gateway wrong.",
                                         " DNS Server wrong."}));
    const DeviceConfigRecord& r = build.command;
    EXPECT_EQ(BytesAt(r, deviceName.offset, deviceName.width), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(BytesAt(r, 96, 4), std::vector<uint8_t>(4, 0));   // serial bytes
    EXPECT_EQ(BytesAt(r, 100, 4), std::vector<uint8_t>(4, 0));  // baud rate
    EXPECT_EQ(BytesAt(r, 432, 3), std::vector<uint8_t>(3, 0));  // RF, mode, channel
    EXPECT_EQ(BytesAt(r, 469, 3), std::vector<uint8_t>(3, 0));  // security, key index, length
    EXPECT_EQ(r.Get(dhcpServerEnabled), 0);
    EXPECT_EQ(r.Get(ntpTimeZone), 0);
    EXPECT_EQ(r.Get(smtpSecurity), 0);
    EXPECT_EQ(r.Get(modbusTransferMode), 0);
    EXPECT_EQ(r.MacAddress(), kMac);  // the rest of the record is still built
    EXPECT_EQ(r.Get(smtpUser), "alerts");
}

TEST(SetupMapping, WepInAccessPointModeIsRefusedOnlyWhenTheSecurityIsValid) {
    DeviceSetupValues v = Filled(RealisticReply());
    v.wifiNetworkMode = kAccessPointMode;
    v.wifiSecurity = kWepSecurity;
    EXPECT_EQ(BuildSetupRecord(v, kMac).errors,
              QStringList{"AP Mode Doesn't Support WEP Security."});
    v.wifiNetworkMode = kStationMode;
    const SetupBuild station = BuildSetupRecord(v, kMac);
    EXPECT_TRUE(station.Ok());
    EXPECT_EQ(station.command.Get(wifiSecurity), 1);
    EXPECT_EQ(station.command.Get(wifiNetworkMode), 1);
}

TEST(SetupMapping, AddressTextsUseTheStandardConversionAndWrongOnesAreNamed) {
    struct Case {
        const char* text;
        uint32_t sent;  // when accepted
        bool accepted;
    };
    const Case cases[] = {
        {"192.168.1", 0xC0A80001, true},  {"10.1", 0x0A000001, true},
        {"3232235777", 0xC0A80101, true}, {"255.255.255.255", 0xFFFFFFFF, true},
        {"0x0a.0.0.1", 0x0A000001, true}, {"none", 0, false},
        {"192.168.1.300", 0, false},      {"", 0, false},
        {"1.2.3.4.5", 0, false},
    };
    const std::pair<QString DeviceSetupValues::*, const char*> fields[] = {
        {&DeviceSetupValues::staticIp, " Static IP wrong."},
        {&DeviceSetupValues::subnetMask, " Subnet Mask wrong."},
        {&DeviceSetupValues::gateway, " Gateway wrong."},
        {&DeviceSetupValues::dnsServer, " DNS Server wrong."},
    };
    const NetAddressField records[] = {staticIp, subnetMask, gateway, dnsServer};
    for (size_t f = 0; f < std::size(fields); ++f) {
        for (const Case& c : cases) {
            DeviceSetupValues v = Filled(RealisticReply());
            v.*fields[f].first = c.text;
            const SetupBuild build = BuildSetupRecord(v, kMac);
            if (c.accepted) {
                EXPECT_TRUE(build.Ok()) << fields[f].second << c.text;
                EXPECT_EQ(build.command.Get(records[f]), c.sent) << fields[f].second << c.text;
            } else {
                EXPECT_EQ(build.errors, QStringList{fields[f].second}) << c.text;
            }
        }
    }
}

TEST(SetupMapping, BothAddressesAreCheckedAndAHiddenOneIsNamedWithTheSettingThatShowsIt) {
    struct Case {
        int dhcp;
        const char* currentText;
        const char* staticText;
        QStringList errors;
        const char* firstField;
    };
    const Case cases[] = {
        // DHCP Enable: the static address is hidden; it still goes into the command.
        {1, "10.0.0.9", "none", {setupmsg::kHiddenStaticIp}, "staticIp"},
        {1, "pending", "10.0.0.8", {setupmsg::kCurrentIp}, "currentIp"},
        // DHCP Disable: the current address is hidden.
        {0, "pending", "10.0.0.8", {setupmsg::kHiddenCurrentIp}, "currentIp"},
        {0, "10.0.0.9", "none", {setupmsg::kStaticIp}, "staticIp"},
        {0, "", "", {setupmsg::kHiddenCurrentIp, setupmsg::kStaticIp}, "currentIp"},
        {1, "10.0.0.9", "10.0.0.8", {}, ""},
    };
    for (const Case& c : cases) {
        DeviceSetupValues v = Filled(RealisticReply());
        v.dhcp = c.dhcp;
        v.currentIp = c.currentText;
        v.staticIp = c.staticText;
        const SetupBuild build = BuildSetupRecord(v, kMac);
        EXPECT_EQ(build.errors, c.errors) << c.currentText << " " << c.staticText;
        EXPECT_EQ(build.firstField, c.firstField);
    }
    // The note on where the current address shows only while it shows there.
    EXPECT_FALSE(QString(setupmsg::kHiddenCurrentIp).contains("DHCP"));
    EXPECT_EQ(QString(setupmsg::kHiddenStaticIp),
              " Static IP wrong. Set DHCP to Disable to see and edit it.");
}

TEST(SetupMapping, TextsLongerThanTheirFieldAreRefusedAndNamedNotCut) {
    struct Case {
        QString DeviceSetupValues::*text;
        OverLongText named;
    };
    const Case cases[] = {
        {&DeviceSetupValues::deviceName, {"Device Name", 16, "deviceName"}},
        {&DeviceSetupValues::smtpPassword, {"Password", 36, "smtpPassword"}},
        {&DeviceSetupValues::destinationHost, {"Destination Hostname/IP", 36, "destinationHost"}},
        {&DeviceSetupValues::firmwareFile, {"Firmware File", 64, "firmwareFile"}},
        {&DeviceSetupValues::ntpServer3, {"NTP Server 3", 36, "ntpServer3"}},
    };
    for (const Case& c : cases) {
        DeviceSetupValues v = Filled(RealisticReply());
        v.*c.text = QString("x").repeated(c.named.limit);
        EXPECT_TRUE(BuildSetupRecord(v, kMac).Ok()) << c.named.control.toStdString();
        v.*c.text = QString("x").repeated(c.named.limit + 1);
        const SetupBuild build = BuildSetupRecord(v, kMac);
        EXPECT_FALSE(build.Ok());
        EXPECT_TRUE(build.errors.isEmpty());
        EXPECT_EQ(build.overLong, QList<OverLongText>{c.named});
        EXPECT_EQ(build.firstField, c.named.control);
    }
}

TEST(SetupMapping, KeysPassphraseSsidAndNumbersAreCutToTheirFields) {
    DeviceSetupValues v = Filled(RealisticReply());
    v.ssid = QString("s").repeated(40);
    v.psk = QString("p").repeated(70);
    v.wep64Keys[1] = "0123456789";
    v.wep128Keys[3] = "0123456789ABCDEF0123456789";
    v.dhcpLeaseMinutes = 0x12345;
    v.listenPort = 0x10050;
    const SetupBuild build = BuildSetupRecord(v, kMac);
    ASSERT_TRUE(build.Ok());
    const DeviceConfigRecord& r = build.command;
    EXPECT_EQ(r.Get(ssid), QString("s").repeated(33));
    EXPECT_EQ(r.Get(ssidLength), 33);  // what the field holds, never more
    EXPECT_EQ(r.Get(psk), QString("p").repeated(65));
    EXPECT_EQ(r.Get(pskLength), 65);
    EXPECT_EQ(r.WepKey(false, 1), "01234");
    EXPECT_EQ(r.WepKey(true, 3), "0123456789ABC");
    EXPECT_EQ(BytesAt(r, 628, 2), (std::vector<uint8_t>{0x45, 0x23}));
    EXPECT_EQ(BytesAt(r, 42, 2), (std::vector<uint8_t>{0x00, 0x50}));
}

TEST(SetupMapping, ListsWithoutSelectionSetTheirBitsAndTheOperationModeKeepsTwoBits) {
    DeviceSetupValues v = Filled(RealisticReply());
    v.eventAuthFail = kNoSelection;
    v.eventWarmStart = 0;
    v.rtcSetup = kNoSelection;
    v.daylightSaving = 0;
    v.dhcp = kNoSelection;
    v.operationMode = 2;
    const DeviceConfigRecord r = BuildSetupRecord(v, kMac).command;
    EXPECT_EQ(r.Get(smtpEvents), kEventColdStart | kEventAuthFailure | kEventIpChange);
    EXPECT_EQ(r.Get(modeFlags), 0x02 | kRtcFromNtp);
    EXPECT_TRUE(r.Flag(netFlags, kDhcpClient));
}
