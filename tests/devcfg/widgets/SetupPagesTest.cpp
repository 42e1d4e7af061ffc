#include <QCheckBox>
#include <QRadioButton>
#include <QTabWidget>

#include "devcfg/widgets/PageControls.h"
#include "tests/devcfg/widgets/SheetFixture.h"

using namespace devrec;

namespace {

QStringList Entries(const QComboBox* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    return entries;
}

}  // namespace

TEST_F(SheetTest, NumberEditsClampWhenTheEditIsFinished) {
    Open(RealisticReply());
    struct Case {
        const char* edit;
        const char* pasted;
        const char* shown;
    };
    const Case cases[] = {
        {"listenPort", "80", "1024"},
        {"listenPort", "70000", "65535"},
        {"listenPort", "8080", "8080"},
        {"destinationPort", "1023", "1024"},
        {"destinationPort", "99999999999", "65535"},
        {"transmitTimer", "9", "10"},
        {"transmitTimer", "65536", "65535"},
        {"smtpPort", "0", "0"},
        {"smtpPort", "65536", "65535"},
        {"modbusPort", "502", "502"},
        {"modbusPort", "70000", "65535"},
        {"modbusResponseTimeout", "5", "10"},
        {"modbusResponseTimeout", "65001", "65000"},
        {"modbusInterFrameDelay", "5", "10"},
        {"modbusInterFrameDelay", "600", "500"},
        {"modbusInterFrameDelay", "250", "250"},
        {"modbusInterCharDelay", "0", "10"},
        {"modbusInterCharDelay", "501", "500"},
    };
    for (const Case& c : cases) {
        // The mode that enables the edit: Client for the destination port, else Server.
        Get<QRadioButton>(QLatin1String(c.edit) == "destinationPort" ? "client" : "server")
            ->click();
        Type(c.edit, c.pasted);
        EXPECT_EQ(Edit(c.edit)->text(), c.pasted) << c.edit << " " << c.pasted;  // as typed
        QTest::keyClick(Edit(c.edit), Qt::Key_Return);
        EXPECT_EQ(Edit(c.edit)->text(), c.shown) << c.edit << " " << c.pasted;
    }
    Type("modbusInterCharDelay", "4x");  // only digits can be typed
    EXPECT_EQ(Edit("modbusInterCharDelay")->text(), "4");
}

TEST_F(SheetTest, SubmitSendsAndShowsTheClampedNumbers) {
    Open(RealisticReply());
    Get<QRadioButton>("server")->click();
    Type("listenPort", "4001");  // no partial "4" is raised to 1024 on the way
    Type("modbusInterFrameDelay", "600");
    Type("modbusInterCharDelay", "250");
    EXPECT_EQ(Edit("listenPort")->text(), "4001");
    EXPECT_EQ(Edit("modbusInterFrameDelay")->text(), "600");
    Click("submit");
    ASSERT_TRUE(Accepted());
    const DeviceConfigRecord& sent = sheet->OutgoingRecord();
    EXPECT_EQ(sent.Get(listenPort), 4001);
    EXPECT_EQ(sent.Get(modbusInterFrameDelay), 500);
    EXPECT_EQ(sent.Get(modbusInterCharDelay), 250);
    EXPECT_EQ(Edit("modbusInterFrameDelay")->text(), "500");
}

TEST_F(SheetTest, ExactlyOnePacketTypeStaysTicked) {
    DeviceConfigRecord reply = RealisticReply();
    reply.Set(netFlags, kUdp);
    Open(reply);
    auto* udp = Get<QCheckBox>("udp");
    auto* tcp = Get<QCheckBox>("tcp");
    ASSERT_TRUE(udp->isChecked());
    udp->click();
    EXPECT_FALSE(udp->isChecked());
    EXPECT_TRUE(tcp->isChecked());
    tcp->click();
    EXPECT_FALSE(tcp->isChecked());
    EXPECT_TRUE(udp->isChecked());
    tcp->click();
    EXPECT_TRUE(tcp->isChecked());
    EXPECT_FALSE(udp->isChecked());
}

TEST_F(SheetTest, ServerOrClientEnablesThePortTheModeUses) {
    Open(RealisticReply());  // client mode
    EXPECT_TRUE(Get<QRadioButton>("client")->isChecked());
    EXPECT_TRUE(Edit("destinationPort")->isEnabled());
    EXPECT_FALSE(Edit("listenPort")->isEnabled());
    EXPECT_TRUE(Edit("destinationHost")->isEnabled());

    Get<QRadioButton>("server")->click();
    EXPECT_TRUE(Edit("listenPort")->isEnabled());
    EXPECT_FALSE(Edit("destinationPort")->isEnabled());
    EXPECT_TRUE(Edit("destinationHost")->isEnabled());
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_FALSE(sheet->OutgoingRecord().Flag(netFlags, kClientMode));
}

TEST_F(SheetTest, DhcpShowsTheDisabledCurrentAddressInPlaceOfTheStaticOne) {
    DeviceConfigRecord reply = RealisticReply();
    reply.Set(netFlags, kDhcpClient | kTcp);
    Open(reply);
    EXPECT_FALSE(Edit("currentIp")->isHidden());
    EXPECT_FALSE(Edit("currentIp")->isEnabled());
    EXPECT_EQ(Edit("currentIp")->text(), "192.168.10.50");
    EXPECT_TRUE(Edit("staticIp")->isHidden());

    Choose(List("dhcp"), 0);
    EXPECT_TRUE(Edit("currentIp")->isHidden());
    EXPECT_FALSE(Edit("staticIp")->isHidden());
    EXPECT_EQ(Edit("staticIp")->text(), "192.168.10.51");
}

TEST_F(SheetTest, NetworkModeRebuildsTheSecurityListAndKeepsItsSelection) {
    DeviceConfigRecord reply = RealisticReply();
    reply.Set(wifiNetworkMode, 1);
    reply.Set(wifiSecurity, 1);
    Open(reply);
    sheet->Tabs().setCurrentIndex(2);
    QComboBox* security = List("wifiSecurity");
    EXPECT_EQ(Entries(security), QStringList({"OPEN", "WEP", "WPA/WPA2_AUTO"}));
    EXPECT_FALSE(List("wifiChannel")->isEnabled());

    Choose(List("wifiNetworkMode"), 1);
    EXPECT_EQ(Entries(security), QStringList({"OPEN", "WEP (Not Support)", "WPA2_AES_PSK"}));
    EXPECT_EQ(security->currentIndex(), 1);
    EXPECT_EQ(security->currentText(), "WEP (Not Support)");
    EXPECT_TRUE(List("wifiChannel")->isEnabled());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "AP mode not support WEP security");
    EXPECT_EQ(sheet->focusWidget(), security);

    prompts.Clear();
    Choose(security, 2);
    Choose(List("wifiNetworkMode"), 0);
    EXPECT_EQ(Entries(security), QStringList({"OPEN", "WEP", "WPA/WPA2_AUTO"}));
    EXPECT_EQ(security->currentIndex(), 2);
    EXPECT_FALSE(List("wifiChannel")->isEnabled());
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(SheetTest, TheKeyEditsShowTheSetOfTheSelectedLength) {
    Open(RealisticReply());  // 128-bit keys selected
    EXPECT_EQ(Edit("wepKey2")->text(), "0123456789abc");
    Type("wepKey2", "NEWKEY0123456");
    Choose(List("wepKeyLength"), 0);
    EXPECT_EQ(Edit("wepKey0")->text(), "abcde");
    EXPECT_EQ(Edit("wepKey2")->text(), "klmno");
    Choose(List("wepKeyLength"), 1);
    EXPECT_EQ(Edit("wepKey2")->text(), "NEWKEY0123456");

    Choose(List("wepKeyLength"), 0);
    Type("wepKey1", "0123456789");  // ten hex digits: the record takes five characters
    Click("submit");
    ASSERT_TRUE(Accepted());
    const DeviceConfigRecord& out = sheet->OutgoingRecord();
    EXPECT_EQ(out.WepKey(true, 2), "NEWKEY0123456");
    EXPECT_EQ(out.WepKey(false, 2), "klmno");
    EXPECT_EQ(out.WepKey(false, 1), "01234");
    EXPECT_EQ(out.Get(wepKeyLength), 0);
}

TEST_F(SheetTest, TypingStopsAtEachTextLimit) {
    Open(RealisticReply());
    struct Case {
        const char* edit;
        int limit;
    };
    for (const Case c :
         {Case{"deviceName", 16}, Case{"staticIp", 15}, Case{"smtpUser", 36},
          Case{"destinationHost", 36}, Case{"ssid", 32}, Case{"wepKey0", 26}, Case{"psk", 63}}) {
        Type(c.edit, QString("k").repeated(70));
        EXPECT_EQ(Edit(c.edit)->text().size(), c.limit) << c.edit;
    }
    Type("staticIp", "10.0.0.1");
    Type("ntpServer1", QString("n").repeated(70));  // no limit on the page
    EXPECT_EQ(Edit("ntpServer1")->text().size(), 70);
    Type("deviceName", "Lab Unit");
    // as a setting file gives it
    sheet->findChild<LimitedLineEdit*>("smtpUser")->SetWholeText(QString("u").repeated(40));
    Click("submit");  // but the command holds 36: refused rather than sent cut
    EXPECT_FALSE(Accepted());
    // Every text that does not fit in one box, as the edits' own limits name them; the failed
    // checks in the other.
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].text,
              "User Name: Please enter no more than 36 characters.\n"
              "NTP Server 1: Please enter no more than 36 characters.");
    EXPECT_EQ(prompts.shown[0].caption, "VELTRO");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Warning);
    EXPECT_EQ(ErrorTexts(), QStringList{" NO SPACES between the letters."});
    EXPECT_EQ(sheet->Tabs().currentIndex(), 0);
    Type("deviceName", "LabUnit");
    Type("smtpUser", "user");
    prompts.Clear();
    Click("submit");
    EXPECT_EQ(prompts.Texts(),
              QStringList{"NTP Server 1: Please enter no more than 36 characters."});
    EXPECT_EQ(sheet->Tabs().currentIndex(), 4);
    Type("ntpServer1", QString("n").repeated(36));
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(sheet->OutgoingRecord().Get(ntpServer1), QString("n").repeated(36));
}

TEST_F(SheetTest, HiddenAndReadOnlyControlsCarryTheirValues) {
    Open(RealisticReply());
    EXPECT_TRUE(List("eventWarmStart")->isHidden());
    EXPECT_TRUE(List("wifiRf")->isHidden());
    EXPECT_FALSE(Edit("macAddress")->isEnabled());
    EXPECT_EQ(Edit("macAddress")->text(), "00-0A-BC-DE-F0-12");
    EXPECT_FALSE(Edit("firmwareFile")->isEnabled());
    QLineEdit* lease = Edit("dhcpLeaseMinutes");
    EXPECT_TRUE(lease->isReadOnly());
    EXPECT_EQ(lease->text(), "1440");
    QTest::keyClicks(lease, "9");
    EXPECT_EQ(lease->text(), "1440");
}

TEST_F(SheetTest, ListsHoldTheirEntries) {
    Open(RealisticReply());
    EXPECT_EQ(Entries(List("operationMode")),
              QStringList({"Socket", "VCOM", "RFC2217", "MODBUS GateWay"}));
    EXPECT_EQ(Entries(List("smtpSecurity")), QStringList({"No Security", "SSL", "TLS"}));
    EXPECT_EQ(Entries(List("modbusTransferMode")), QStringList({"MODBUS TCP", "Transparent TCP"}));
    EXPECT_EQ(Entries(List("baudRate")), QStringList({"921600", "115200", "57600", "38400", "19200",
                                                      "9600", "4800", "2400", "1200"}));
    EXPECT_EQ(Entries(List("flowControl")), QStringList({"None", "RTS + CTS"}));
    EXPECT_EQ(Entries(List("wepKeyIndex")),
              QStringList({"Key Index 0", "Key Index 1", "Key Index 2", "Key Index 3"}));
    EXPECT_EQ(Entries(List("wifiChannel")).size(), 14);
    const QStringList zones = Entries(List("timeZone"));
    ASSERT_EQ(zones.size(), 25);
    EXPECT_EQ(zones[0], "GMT-12.0  (Eniwetok, Kwajalein)");
    EXPECT_EQ(zones[10], "GMT-02.0  (Fernabdo de Noronha)");
    EXPECT_EQ(zones[12], "GMT+00.0 (Lisbon, London)");
    EXPECT_EQ(zones[24], "GMT+12.0 (Fiji, Wellington)");
    EXPECT_EQ(List("timeZone")->currentIndex(), 13);
    EXPECT_EQ(Entries(List("rtcSetup")), QStringList({"Manual", "NTP Server"}));
}
