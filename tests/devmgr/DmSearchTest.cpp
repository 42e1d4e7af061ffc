#include "tests/devmgr/DmTestHelpers.h"

using devsim::DeviceProfile;

namespace {

DeviceProfile Silent() {
    DeviceProfile profile;
    profile.faults.silent = true;
    return profile;
}

}  // namespace

using DmSearch = DmFlowTest;

TEST_F(DmSearch, WithoutAnswerSendsThreeThenOneEachSecondAndGivesUpAtThree) {
    devsim::SimDevice* deaf = net.Add(Silent());
    const int64_t t0 = Now();
    dm->OnSearch();
    EXPECT_EQ(dm->Status(), " Searching ...");
    EXPECT_EQ(dm->Progress(), 0);
    EXPECT_EQ(Buttons(), AllButtons(false));

    net.Ticks(1);
    EXPECT_EQ(dm->Progress(), 850);
    net.Ticks(1);
    EXPECT_TRUE(Prompts().shown.empty());
    EXPECT_EQ(dm->Status(), " Searching ...");
    net.Ticks(1);
    EXPECT_EQ(DmSimNet::Times(*deaf, msg::kSearchRequest, t0),
              (std::vector<int64_t>{0, 0, 0, 1000, 2000}));
    ASSERT_EQ(Prompts().shown.size(), 1u);
    EXPECT_EQ(Prompts().shown[0].text, "No devices found!");
    EXPECT_EQ(Prompts().shown[0].caption, "Searching Result");
    EXPECT_EQ(Prompts().shown[0].icon, PromptIcon::Information);
    EXPECT_EQ(dm->Status(), " Idle");
    EXPECT_EQ(dm->Progress(), 1000);
    EXPECT_EQ(Buttons(), SearchButtonsOnly());
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kSearchTimer));
    net.Ticks(2);
    EXPECT_EQ(DmSimNet::Times(*deaf, msg::kSearchRequest, t0).size(), 5u);
}

TEST_F(DmSearch, ListsEachDeviceOnceLateRepliesTooAndWarnsOfLowPorts) {
    DeviceProfile twice;
    twice.name = "Alpha";
    twice.faults.twice = true;
    twice.linkStatus = 1;
    twice.dhcp = true;
    DeviceProfile lowPort;
    lowPort.name = "Bravo";
    lowPort.clientMode = true;
    lowPort.destinationPort = 1023;
    DeviceProfile late;
    late.name = "";
    late.faults.delayMs = 1500;
    devsim::SimDevice* a = net.Add(twice);
    devsim::SimDevice* b = net.Add(lowPort);
    devsim::SimDevice* c = net.Add(late);

    dm->OnSearch();
    net.Ticks(1);  // ends here: two devices listed
    ASSERT_EQ(dm->Table().Count(), 2);
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kSearchTimer));
    EXPECT_EQ(dm->Status(), " Idle");
    EXPECT_EQ(dm->Progress(), 1000);
    EXPECT_EQ(Buttons(), AllButtons(true));

    net.Ticks(1);  // the late reply still comes in
    const DmDeviceTable& t = dm->Table();
    ASSERT_EQ(t.Count(), 3);
    EXPECT_EQ(DeviceOfRow(0), a);
    EXPECT_EQ(DeviceOfRow(1), b);
    EXPECT_EQ(DeviceOfRow(2), c);
    EXPECT_EQ(t.CellText(0, 2), "Alpha");
    EXPECT_EQ(t.CellText(0, 4), "Enable");
    EXPECT_EQ(t.CellText(0, 8), "Connected");
    EXPECT_EQ(t.At(0).back, (Rgb{220, 220, 220}));
    EXPECT_EQ(t.CellText(1, 5), b->AddressText());
    EXPECT_EQ(t.CellText(1, 6), "1023");
    EXPECT_EQ(t.CellText(1, 7), "Client");
    EXPECT_EQ(t.At(1).back, (Rgb{232, 192, 192}));
    EXPECT_EQ(t.CellText(2, 1), "3");
    EXPECT_EQ(t.CellText(2, 2), "DSM3");
    EXPECT_EQ(t.CellText(2, 3), DmDeviceTable::MacText(t.Record(2)));
    ExpectRowsInStep();

    QStringList portMessages;
    for (const auto& shown : Prompts().shown) {
        EXPECT_EQ(shown.caption, "Searching Result");
        EXPECT_EQ(shown.icon, PromptIcon::Information);
        portMessages << shown.text;
    }
    EXPECT_EQ(portMessages, QStringList{"Port number should greater than 1024."});
}

TEST_F(DmSearch, EndsAtTheFirstTickThatFindsADevice) {
    DeviceProfile slow;
    slow.faults.delayMs = 1500;
    devsim::SimDevice* d = net.Add(slow);
    const int64_t t0 = Now();
    dm->OnSearch();
    net.Ticks(1);
    EXPECT_EQ(dm->Table().Count(), 0);
    EXPECT_EQ(dm->Progress(), 850);
    net.Ticks(1);
    EXPECT_EQ(dm->Table().Count(), 1);
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kSearchTimer));
    EXPECT_EQ(DmSimNet::Times(*d, msg::kSearchRequest, t0), (std::vector<int64_t>{0, 0, 0, 1000}));
    EXPECT_TRUE(Prompts().shown.empty());
    EXPECT_EQ(Buttons(), AllButtons(true));
}

TEST_F(DmSearch, ANewSearchEmptiesTheList) {
    net.Add();
    ListDevices();
    dm->SetRowChecked(0, true);
    dm->ClickRow(0, 3);
    dm->OnSearch();
    EXPECT_EQ(dm->Table().Count(), 0);
    EXPECT_EQ(dm->SelectedRow(), std::nullopt);
    net.Ticks(1);
    ASSERT_EQ(dm->Table().Count(), 1);
    EXPECT_FALSE(dm->Table().IsChecked(0));
}

// More devices than the list holds: no crash, the first 256 replies listed, and every row
// still shows the device whose reply it stores.
TEST_F(DmSearch, MoreThan256DevicesKeepRowsAndRepliesInStep) {
    ASSERT_TRUE(net.sim->AddDevices(DmDeviceTable::kCapacity + 4));
    dm->OnSearch();
    net.Ticks(1);
    EXPECT_EQ(dm->Table().Count(), DmDeviceTable::kCapacity);
    ExpectRowsInStep();
    for (int row = 0; row < dm->Table().Count(); ++row) {
        const devsim::SimDevice* d = DeviceOfRow(row);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(dm->Table().IpText(row), d->AddressText());
    }
}

TEST(DmStartup, RunsTheRepairAndTheSearchThatTheSettingsAskForOneSecondAfterStart) {
    DmSimNet net;
    DM_START_NET(net);
    devsim::SimDevice* d = net.Add();
    net.frame.settings.searchAtStart = true;
    int searchesAtRepair = -1;
    net.frame.onVspRepair = [&] { searchesAtRepair = net.sim->SearchesReceived(); };
    DmController dm(net.frame);
    dm.SetDevicePort(net.DevicePort());
    dm.InitialUpdate();
    EXPECT_TRUE(dm.SearchAtStartBox());
    EXPECT_EQ(dm.Status(), " Idle");
    EXPECT_EQ(dm.Progress(), 0);
    EXPECT_EQ(dm.SelectedRow(), std::nullopt);
    for (DmButton b :
         {DmButton::kDeviceSetup, DmButton::kWebBrowser, DmButton::kRestore, DmButton::kReboot})
        EXPECT_FALSE(dm.ButtonEnabled(b));
    EXPECT_TRUE(dm.ButtonEnabled(DmButton::kSearch));

    net.frame.clock.Advance(999);
    EXPECT_EQ(net.frame.vspRepairs, 0);
    net.frame.clock.Advance(1);
    EXPECT_EQ(net.frame.vspRepairs, 1);
    EXPECT_EQ(searchesAtRepair, 0);  // the repair comes first
    EXPECT_FALSE(net.frame.clock.IsRunning(&dm, DmController::kStartupTimer));
    EXPECT_EQ(DmSimNet::Times(*d, msg::kSearchRequest), (std::vector<int64_t>{1000, 1000, 1000}));
    EXPECT_EQ(dm.Status(), " Idle");  // the start-up search shows no status text of its own
    net.Ticks(1);
    EXPECT_EQ(dm.Table().Count(), 1);
    EXPECT_EQ(net.frame.vspRepairs, 1);
}

TEST(DmStartup, TheBoxIsHandedBackAtCloseAndDecidesTheNextStart) {
    DmSimNet net;
    DM_START_NET(net);
    devsim::SimDevice* d = net.Add();
    {
        DmController first(net.frame);
        first.SetDevicePort(net.DevicePort());
        first.InitialUpdate();
        EXPECT_FALSE(first.SearchAtStartBox());
        net.Ticks(1);
        first.SetSearchAtStartBox(true);
        EXPECT_FALSE(net.frame.settings.searchAtStart);  // only at close
        first.HandOverSettings();
        EXPECT_TRUE(net.frame.settings.searchAtStart);
    }
    EXPECT_TRUE(DmSimNet::Times(*d, msg::kSearchRequest).empty());
    const int64_t t0 = net.frame.clock.Now();
    DmController next(net.frame);
    next.SetDevicePort(net.DevicePort());
    next.InitialUpdate();
    net.Ticks(1);
    EXPECT_EQ(DmSimNet::Times(*d, msg::kSearchRequest, t0),
              (std::vector<int64_t>{1000, 1000, 1000}));
}
