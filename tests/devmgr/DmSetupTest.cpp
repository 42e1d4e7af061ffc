#include "tests/devmgr/DmTestHelpers.h"

using devsim::DeviceProfile;

namespace {

const QString kConfirm =
    QStringLiteral("This operation will cause the device to reboot.\r\nDo you want to proceed ?");

// The sheet's part, scripted: what it was opened with, and the command it hands back.
struct ScriptedSheet {
    std::optional<DeviceConfigRecord> answer;
    std::vector<std::pair<DeviceConfigRecord, int>> opened;
    std::function<void()> whileOpen;  // what happens while the user edits

    DmController::SetupSheet Hook() {
        return [this](const DeviceConfigRecord& record, int row) {
            opened.emplace_back(record, row);
            if (whileOpen) whileOpen();
            return answer;
        };
    }
};

// What the sheet builds for a device after the user renamed it and switched it to client mode.
DeviceConfigRecord EditedCommand(const DeviceConfigRecord& stored, const QString& name,
                                 uint16_t destination) {
    DeviceConfigRecord edited = stored;
    edited.Set(devrec::deviceName, name);
    edited.SetFlag(devrec::netFlags, devrec::kClientMode, true);
    edited.Set(devrec::destinationPort, destination);
    return BuildSetupCommand(edited, stored.MacAddress());
}

}  // namespace

class DmSetup : public DmFlowTest {
  protected:
    void SetUp() override {
        DmFlowTest::SetUp();
        if (HasFatalFailure()) return;
        dm->SetSetupSheet(sheet.Hook());
    }
    ScriptedSheet sheet;
};

TEST_F(DmSetup, SendsAtOnceAndAtFiveTicksThenFails) {
    DeviceProfile deaf;
    deaf.faults.silent = true;
    deaf.faults.commands = {msg::kSetupCommand};
    net.Add();
    devsim::SimDevice* d = net.Add(deaf);
    ListDevices();
    Tick({1});
    sheet.answer = EditedCommand(dm->Table().Record(1), "Renamed", 5000);

    const int64_t t1 = Now();
    dm->OnDeviceSetup();
    ASSERT_EQ(sheet.opened.size(), 1u);
    EXPECT_EQ(sheet.opened[0].second, 1);
    EXPECT_EQ(sheet.opened[0].first, dm->Table().Record(1));
    ASSERT_EQ(Prompts().shown.size(), 1u);
    EXPECT_EQ(Prompts().shown[0].text, kConfirm);
    EXPECT_EQ(Prompts().shown[0].caption, "Device Setup");
    EXPECT_EQ(Prompts().shown[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(Prompts().shown[0].icon, PromptIcon::Information);
    EXPECT_EQ(dm->Status(), " Device setting ...");
    EXPECT_EQ(dm->Progress(), 100);
    EXPECT_EQ(Buttons(), AllButtons(false));

    net.Ticks(5);
    EXPECT_EQ(dm->Status(), " Device setting ...");
    net.Ticks(1);
    EXPECT_EQ(DmSimNet::Times(*d, msg::kSetupCommand, t1),
              (std::vector<int64_t>{0, 1000, 2000, 3000, 4000, 5000}));
    for (const QByteArray& sent : DmSimNet::Bytes(*d, msg::kSetupCommand))
        EXPECT_EQ(sent, sheet.answer->ToByteArray());
    EXPECT_EQ(dm->Status(), "Setup Device Fail !");
    EXPECT_EQ(dm->Progress(), 1000);
    EXPECT_EQ(Buttons(), AllButtons(true));
    EXPECT_EQ(dm->Table().Count(), 2);
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kSetupTimer));
    EXPECT_TRUE(
        DmSimNet::Times(*net.sim->FindByMac(dm->Table().Record(0).MacAddress()), msg::kSetupCommand)
            .empty());
}

TEST_F(DmSetup, AReplyBeforeTheFifthTickEndsItThereWithANewSearch) {
    DeviceProfile slow;
    slow.name = "Before";
    slow.faults.delayMs = 4500;
    slow.faults.commands = {msg::kSetupCommand};
    slow.restartMs = 300;
    devsim::SimDevice* d = net.Add(slow);
    ListDevices();
    Tick({0});
    sheet.answer = EditedCommand(dm->Table().Record(0), "After", 1023);

    const int64_t t1 = Now();
    dm->OnDeviceSetup();
    net.frame.clock.Advance(4600);  // the reply is in, the fifth tick not yet
    const DmDeviceTable& t = dm->Table();
    ASSERT_EQ(t.Count(), 1);
    EXPECT_EQ(t.CellText(0, 2), "After");
    EXPECT_EQ(t.CellText(0, 6), "1023");
    EXPECT_EQ(t.CellText(0, 7), "Client");
    EXPECT_EQ(t.CellText(0, 8), "Device Setup Success");
    EXPECT_EQ(t.At(0).back, (Rgb{232, 192, 192}));
    EXPECT_EQ(t.At(0).text, (Rgb{0, 176, 0}));
    EXPECT_FALSE(t.IsChecked(0));
    EXPECT_EQ(Prompts().Texts().last(), "Port number should greater than 1024.");
    EXPECT_EQ(Prompts().shown.back().caption, "Searching Result");

    net.frame.clock.Advance(400);  // the fifth tick: the list is searched anew
    EXPECT_EQ(DmSimNet::Times(*d, msg::kSetupCommand, t1),
              (std::vector<int64_t>{0, 1000, 2000, 3000, 4000}));
    const std::vector<int64_t> searches = DmSimNet::Times(*d, msg::kSearchRequest, t1);
    EXPECT_EQ(std::count(searches.begin(), searches.end(), 5000), 3);
    EXPECT_EQ(dm->Progress(), 200);
    EXPECT_EQ(Buttons(), AllButtons(false));
    ASSERT_EQ(dm->Table().Count(), 1);  // listed afresh with the settings the device took
    EXPECT_EQ(dm->Table().CellText(0, 2), "After");
    EXPECT_EQ(dm->Table().CellText(0, 8), "Idle");
    EXPECT_FALSE(dm->Table().At(0).text.has_value());

    net.Ticks(1);
    EXPECT_EQ(dm->Status(), " Idle");
    EXPECT_EQ(dm->Progress(), 1000);
    EXPECT_EQ(Buttons(), AllButtons(true));
    EXPECT_EQ(dm->Table().CellText(0, 8), "Idle");  // later replies find no row set up
}

TEST_F(DmSetup, CancellingTheSheetUnticksAndNoKeepsTheTick) {
    devsim::SimDevice* d = net.Add();
    ListDevices();
    Tick({0});
    sheet.answer.reset();
    dm->OnDeviceSetup();
    EXPECT_FALSE(dm->Table().IsChecked(0));
    EXPECT_EQ(dm->Status(), " Idle");
    EXPECT_EQ(dm->Progress(), 0);
    EXPECT_TRUE(Prompts().shown.empty());

    Tick({0});
    sheet.answer = EditedCommand(dm->Table().Record(0), "x", 4000);
    Prompts().Answer(PromptAnswer::No);
    dm->OnDeviceSetup();
    EXPECT_TRUE(dm->Table().IsChecked(0));
    EXPECT_EQ(Buttons(), AllButtons(true));
    net.Ticks(2);
    EXPECT_TRUE(DmSimNet::Times(*d, msg::kSetupCommand).empty());
}

// The sheet closed without a command while a search runs: the search keeps its status and
// progress, and the buttons stay disabled until it ends.
TEST_F(DmSetup, CancellingDuringASearchLeavesTheSearchShowing) {
    devsim::SimDevice* d = net.Add();
    ListDevices();
    Tick({0});
    sheet.whileOpen = [&] {
        d->SetFaults(SearchFaults(true));
        dm->OnSearch();
        net.Ticks(1);
    };
    dm->OnDeviceSetup();
    EXPECT_EQ(dm->Status(), " Searching ...");
    EXPECT_EQ(dm->Progress(), 850);
    EXPECT_EQ(Buttons(), AllButtons(false));
}

TEST_F(DmSetup, ChoosesOneDeviceAndChecksItsSubnet) {
    net.Add();
    net.Add();
    ListDevices();
    dm->OnDeviceSetup();
    Tick({0, 1});
    dm->OnDeviceSetup();
    EXPECT_EQ(Prompts().Texts(), (QStringList{"Please select a device server in the list !!",
                                              "Please set ONE device server each time !!"}));
    for (const auto& shown : Prompts().shown) {
        EXPECT_EQ(shown.caption, "VELTRO");
        EXPECT_EQ(shown.buttons, PromptButtons::Ok);
    }
    EXPECT_EQ(dm->SelectedRow(), 1);  // the last ticked row
    EXPECT_TRUE(sheet.opened.empty());

    Prompts().Clear();
    dm->SetRowChecked(1, false);
    net.frame.hostAddress = "10.1.2.3";
    net.frame.hostNetmask = "255.255.255.0";
    Prompts().Answer(PromptAnswer::No);
    dm->OnDeviceSetup();
    ASSERT_EQ(Prompts().shown.size(), 1u);
    const auto& warning = Prompts().shown[0];
    EXPECT_EQ(warning.caption, "Warning");
    EXPECT_EQ(warning.text,
              "The device's  ip network segment isn't same as host, Please confirm that the "
              "device can access through Router&Gateway.");
    EXPECT_EQ(warning.buttons, PromptButtons::YesNo);
    EXPECT_EQ(warning.defaultAnswer, PromptAnswer::No);
    EXPECT_EQ(warning.icon, PromptIcon::Information);
    EXPECT_EQ(dm->Status(), " Idle");
    EXPECT_TRUE(sheet.opened.empty());
    EXPECT_TRUE(dm->Table().IsChecked(0));

    Prompts().Answer(PromptAnswer::Yes);
    dm->OnDeviceSetup();
    EXPECT_EQ(sheet.opened.size(), 1u);
}

// A search may rebuild the list while the sheet is open: the command goes to the device it was
// opened for, found again by its MAC address, and to nobody once that device is no longer
// listed.
TEST_F(DmSetup, TheDeviceIsLookedUpAgainByItsMacAfterTheSheet) {
    devsim::SimDevice* chosen = net.Add();
    devsim::SimDevice* other = net.Add();
    const QString gone = QString("The device %1 is no longer listed. Nothing was sent.")
                             .arg(DmDeviceTable::MacText(chosen->StoredRecord()));
    struct Case {
        const char* what;
        devsim::Faults chosenFaults;
        devsim::Faults otherFaults;
        int searchTicks;
        QStringList texts;
    };
    const Case cases[] = {
        {"the list is empty",
         SearchFaults(true),
         SearchFaults(true),
         3,
         {"No devices found!", kConfirm, gone}},
        {"another device holds its row", SearchFaults(true), {}, 1, {kConfirm, gone}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        chosen->SetFaults({});
        other->SetFaults({});
        ListDevices();
        ASSERT_EQ(DeviceOfRow(0), chosen);
        Tick({0});
        sheet.answer = EditedCommand(dm->Table().Record(0), "Renamed", 5000);
        sheet.whileOpen = [&] {
            chosen->SetFaults(c.chosenFaults);
            other->SetFaults(c.otherFaults);
            dm->OnSearch();
            net.Ticks(c.searchTicks);
        };
        dm->OnDeviceSetup();
        EXPECT_EQ(Prompts().Texts(), c.texts);
        EXPECT_EQ(Prompts().shown.back().caption, "VELTRO");
        EXPECT_EQ(dm->Status(), " Idle");
        EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kSetupTimer));
        net.Ticks(2);
        Prompts().Clear();
    }
    EXPECT_TRUE(DmSimNet::Times(*chosen, msg::kSetupCommand).empty());
    EXPECT_TRUE(DmSimNet::Times(*other, msg::kSetupCommand).empty());

    // Still listed, now in the second row: the command goes there, and its reply marks that row.
    chosen->SetFaults({});
    ListDevices();
    Tick({0});
    sheet.answer = EditedCommand(dm->Table().Record(0), "Renamed", 5000);
    sheet.whileOpen = [&] {
        chosen->SetFaults(SearchFaults(false, 500));
        dm->OnSearch();
        net.Ticks(1);
        ASSERT_EQ(DeviceOfRow(1), chosen);
    };
    dm->OnDeviceSetup();
    net.frame.clock.Advance(100);
    EXPECT_EQ(DmSimNet::Bytes(*chosen, msg::kSetupCommand),
              std::vector<QByteArray>{sheet.answer->ToByteArray()});
    EXPECT_TRUE(DmSimNet::Times(*other, msg::kSetupCommand).empty());
    EXPECT_EQ(dm->Table().CellText(1, 2), "Renamed");
    EXPECT_EQ(dm->Table().CellText(1, 8), "Device Setup Success");
    EXPECT_EQ(dm->Table().CellText(0, 8), "Idle");
}

// A setup reply is applied to the device being set up, never to whichever row is selected.
TEST_F(DmSetup, ASetupReplyOfAnotherDeviceChangesNoRow) {
    net.Add();
    net.Add();
    ListDevices();
    dm->ClickRow(0, 1);
    DeviceConfigRecord other = dm->Table().Record(1);
    other.Set(devrec::command, msg::kSetupReply);
    other.Set(devrec::deviceName, "Intruder");
    const QByteArray bytes = other.ToByteArray();
    net.frame.socket.OnDatagram(
        {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())},
        QHostAddress(dm->Table().IpText(1)), net.DevicePort());
    EXPECT_NE(dm->Table().CellText(0, 2), "Intruder");
    EXPECT_NE(dm->Table().CellText(1, 2), "Intruder");
    ExpectRowsInStep();
}

TEST_F(DmSetup, ADoubleClickTicksTheRowAndOpensTheSheet) {
    net.Add();
    net.Add();
    ListDevices();
    sheet.answer = EditedCommand(dm->Table().Record(1), "x", 4000);
    Prompts().Answer(PromptAnswer::No);
    dm->DoubleClickRow(1);
    EXPECT_EQ(dm->SelectedRow(), 1);
    EXPECT_TRUE(dm->Table().IsChecked(1));
    ASSERT_EQ(sheet.opened.size(), 1u);
    EXPECT_EQ(sheet.opened[0].second, 1);

    // While another flow runs, a double-click ticks the row but starts no second flow.
    dm->OnReboot();
    ASSERT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kRebootTimer));
    dm->DoubleClickRow(0);
    EXPECT_TRUE(dm->Table().IsChecked(0));
    EXPECT_EQ(sheet.opened.size(), 1u);
}
