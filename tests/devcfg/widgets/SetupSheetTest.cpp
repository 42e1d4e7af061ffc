#include <QApplication>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include "tests/devcfg/widgets/SheetFixture.h"

using namespace devrec;

TEST_F(SheetTest, FiveTabsInOrderAndThreeButtonsAtTheBottomRight) {
    Open(RealisticReply());
    EXPECT_EQ(sheet->windowTitle(), "Device Setup");
    QStringList tabs;
    for (int i = 0; i < sheet->Tabs().count(); ++i) tabs << sheet->Tabs().tabText(i);
    EXPECT_EQ(tabs, QStringList({"Network Setting", "Serial Port Setting", "WiFi Setting",
                                 "DHCP Server Setting", "NTP Setting"}));
    EXPECT_EQ(sheet->Tabs().currentIndex(), 0);
    const QWidget& content = sheet->Content();
    const int w = content.width();
    const int h = content.height();
    struct Button {
        const char* name;
        const char* text;
        int fromRight;
    };
    for (const Button& b : {Button{"submit", "Submit", 230}, Button{"save", "Save", 160},
                            Button{"load", "Load", 90}}) {
        QPushButton* button = Get<QPushButton>(b.name);
        EXPECT_EQ(button->text(), b.text);
        EXPECT_EQ(button->geometry(), QRect(w - b.fromRight, h - 27, 60, 21)) << b.name;
        EXPECT_TRUE(button->isEnabled());
    }
}

TEST_F(SheetTest, UnchangedRecordIsSubmittedAsTheSameBytes) {
    const DeviceConfigRecord reply = RealisticReply();
    Open(reply);
    Click("submit");
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(prompts.Texts(), QStringList{});
    EXPECT_EQ(DifferingOffsets(sheet->OutgoingRecord(), ExpectedCommand(reply)),
              std::vector<int>{});
}

TEST_F(SheetTest, RunGivesTheCommandOnlyAfterASuccessfulSubmit) {
    const DeviceConfigRecord reply = RealisticReply();
    auto dismissWith = [](std::function<void(CDlgDmSetupMain*)> action) {
        QTimer::singleShot(0, [action] {
            auto* open = qobject_cast<CDlgDmSetupMain*>(QApplication::activeModalWidget());
            ASSERT_NE(open, nullptr);
            action(open);
        });
    };
    dismissWith([](CDlgDmSetupMain* s) { QTest::keyClick(s, Qt::Key_Escape); });
    EXPECT_EQ(CDlgDmSetupMain::Run(nullptr, prompts, reply, 0), std::nullopt);
    dismissWith([](CDlgDmSetupMain* s) { s->close(); });
    EXPECT_EQ(CDlgDmSetupMain::Run(nullptr, prompts, reply, 0), std::nullopt);

    dismissWith([](CDlgDmSetupMain* s) { s->findChild<QPushButton*>("submit")->click(); });
    const auto command = CDlgDmSetupMain::Run(nullptr, prompts, reply, 0);
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(*command, ExpectedCommand(reply));
}

TEST_F(SheetTest, NameWithASpaceIsRefusedAndTheSheetStaysOpen) {
    Open(RealisticReply());
    Type("deviceName", "Lab Unit");
    Click("submit");
    EXPECT_EQ(ErrorTexts(), QStringList{" NO SPACES between the letters."});
    EXPECT_FALSE(Accepted());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(Edit("deviceName")->text(), "Lab Unit");  // the edit is kept

    prompts.Clear();
    Type("deviceName", "LabUnit");
    Click("submit");
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(sheet->OutgoingRecord().Get(deviceName), "LabUnit");
}

TEST_F(SheetTest, OneSubmitShowsEveryFailedCheckInOrder) {
    DeviceConfigRecord reply = RealisticReply();
    reply.Set(wifiNetworkMode, 1);  // station with WEP
    reply.Set(wifiSecurity, 1);
    Open(reply);
    Choose(List("wifiNetworkMode"), 1);  // to AP: the page points it out at once
    EXPECT_EQ(prompts.Texts(), QStringList{"AP mode not support WEP security"});
    prompts.Clear();
    for (const char* name : {"dataBits", "stopBits", "parity", "flowControl", "baudRate"})
        List(name)->setCurrentIndex(-1);
    Click("submit");
    EXPECT_EQ(
        ErrorTexts(),
        QStringList({" Serial Port Data Bits Wrong.", " Serial Port Stop Bits Wrong.",
                     " Serial Port Parity Wrong.", " Serial Port Flow Control Wrong.",
                     " Serial Port Baud Rate wrong.", "AP Mode Doesn't Support WEP Security."}));
    EXPECT_EQ(prompts.shown.size(), 1u);  // one box lists them
    EXPECT_FALSE(Accepted());
}

TEST_F(SheetTest, EmptyNameOpensAsDsmAndTheListNumberAndIsSentSo) {
    DeviceConfigRecord reply = RealisticReply();
    std::fill_n(reply.bytes().begin() + deviceName.offset, deviceName.width, 0xCC);
    Open(reply, 2);
    EXPECT_EQ(Edit("deviceName")->text(), "DSM3");
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(sheet->OutgoingRecord().Get(deviceName), "DSM3");
}

TEST_F(SheetTest, AStaticAddressThatIsNoAddressIsRefusedAndShortFormsAreSent) {
    Open(RealisticReply());
    EXPECT_FALSE(Edit("staticIp")->isHidden());
    Type("staticIp", "none");
    Click("submit");
    EXPECT_EQ(ErrorTexts(), QStringList{" Static IP wrong."});
    EXPECT_FALSE(Accepted());

    Type("staticIp", "192.168.1");
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(BytesAt(sheet->OutgoingRecord(), 38, 4), (std::vector<uint8_t>{192, 168, 0, 1}));
}

TEST_F(SheetTest, AHiddenStaticAddressIsCheckedAndTheMessageSaysWhatShowsIt) {
    Open(RealisticReply());
    Type("staticIp", "none");
    Choose(List("dhcp"), 1);  // DHCP Enable: the static address is hidden now
    ASSERT_TRUE(Edit("staticIp")->isHidden());
    sheet->Tabs().setCurrentIndex(2);
    Click("submit");
    EXPECT_EQ(ErrorTexts(),
              QStringList{" Static IP wrong. Set DHCP to Disable to see and edit it."});
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(sheet->Tabs().currentIndex(), 0);

    prompts.Clear();
    Choose(List("dhcp"), 0);
    Click("submit");
    EXPECT_EQ(ErrorTexts(), QStringList{" Static IP wrong."});
    EXPECT_EQ(sheet->focusWidget(), Edit("staticIp"));  // shown: the user is taken there
}

TEST_F(SheetTest, EveryAddressEditOfTheNetworkPageIsChecked) {
    Open(RealisticReply());
    Type("subnetMask", "255.255.255.300");
    Type("gateway", "gw");
    Type("dnsServer", "");
    Click("submit");
    EXPECT_EQ(ErrorTexts(),
              QStringList({" Subnet Mask wrong.", " Gateway wrong.", " DNS Server wrong."}));
    prompts.Clear();
    Type("subnetMask", "255.255.255.255");
    Type("gateway", "10.1");
    Type("dnsServer", "8.8.8.8");
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(sheet->OutgoingRecord().Get(gateway), 0x0A000001u);
    EXPECT_EQ(sheet->OutgoingRecord().Get(subnetMask), 0xFFFFFFFFu);
}

TEST_F(SheetTest, BaudRateOutsideTheListShowsNoSelectionAndIsRefused) {
    DeviceConfigRecord reply = RealisticReply();
    reply.Set(baudRate, 300);
    Open(reply);
    EXPECT_EQ(List("baudRate")->currentIndex(), -1);
    EXPECT_EQ(List("baudRate")->currentText(), "");
    Click("submit");
    EXPECT_EQ(ErrorTexts(), QStringList{" Serial Port Baud Rate wrong."});
    prompts.Clear();
    Choose(List("baudRate"), 5);
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(sheet->OutgoingRecord().Get(baudRate), 9600u);
}

TEST_F(SheetTest, ARecordOfAnotherCommandLeavesThePagesAsTheyAre) {
    DeviceConfigRecord reply = RealisticReply();
    reply.Set(command, 2);
    EXPECT_FALSE(sheet->FillFromRecord(reply, 0));
    EXPECT_EQ(Edit("deviceName")->text(), "");
    EXPECT_EQ(List("baudRate")->currentIndex(), -1);
    Click("submit");  // nothing was filled: the lists refuse it
    EXPECT_FALSE(Accepted());
    EXPECT_TRUE(ErrorTexts().contains(" Serial Port Baud Rate wrong."));
}

TEST_F(SheetTest, EditsSurviveSwitchingTabs) {
    Open(RealisticReply());
    Type("smtpUser", "operator");
    sheet->Tabs().setCurrentIndex(1);
    Choose(List("parity"), 1);
    sheet->Tabs().setCurrentIndex(4);
    sheet->Tabs().setCurrentIndex(0);
    EXPECT_EQ(Edit("smtpUser")->text(), "operator");
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(sheet->OutgoingRecord().Get(smtpUser), "operator");
    EXPECT_EQ(sheet->OutgoingRecord().Get(parity), 1);
}

TEST_F(SheetTest, ScrollingMovesTheContentInFivePixelUnitsOverHalfTheHeight) {
    Open(RealisticReply());
    QScrollBar& bar = sheet->VerticalScrollBar();
    const int m = sheet->height() / 10;
    ASSERT_GT(m, 1);
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), m);
    EXPECT_EQ(bar.pageStep(), m);
    EXPECT_EQ(sheet->Content().y(), 0);

    bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(sheet->Content().y(), -5);
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(sheet->Content().y(), -5 * m);
    EXPECT_EQ(bar.value(), m);
    bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);  // already at the end
    EXPECT_EQ(sheet->Content().y(), -5 * m);
    bar.triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(sheet->Content().y(), -5 * (m - 1));
    bar.triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(sheet->Content().y(), 0);
    EXPECT_EQ(bar.value(), 0);
}
