#include "tests/devmgr/DmTestHelpers.h"

using devsim::DeviceProfile;

namespace {

DeviceProfile Deaf(uint8_t command) {
    DeviceProfile profile;
    profile.faults.silent = true;
    profile.faults.commands = {command};
    return profile;
}

DeviceProfile AnswersTwice(uint8_t command) {
    DeviceProfile profile;
    profile.faults.twice = true;
    profile.faults.commands = {command};
    return profile;
}

// Search requests a device received at or after `since`, relative to it.
std::vector<int64_t> SearchesSince(const devsim::SimDevice& device, int64_t since) {
    std::vector<int64_t> times = DmSimNet::Times(device, msg::kSearchRequest, since);
    std::erase_if(times, [](int64_t t) { return t < 0; });
    return times;
}

}  // namespace

using DmRestore = DmFlowTest;
using DmReboot = DmFlowTest;

TEST_F(DmRestore, ASilentDeviceEndsItAndTheDevicesAfterItAreNeverSent) {
    devsim::SimDevice* a = net.Add();
    devsim::SimDevice* b = net.Add(Deaf(msg::kRestoreCommand));
    devsim::SimDevice* c = net.Add();
    ListDevices();
    Tick({0, 1, 2});
    const int64_t t1 = Now();
    dm->OnRestore();
    ASSERT_EQ(Prompts().shown.size(), 1u);
    EXPECT_EQ(Prompts().shown[0].text,
              "This operation will return the device's default setting and reboot.\r\nDo you "
              "want to proceed ?");
    EXPECT_EQ(Prompts().shown[0].caption, "Reset");
    EXPECT_EQ(Prompts().shown[0].icon, PromptIcon::Information);
    EXPECT_EQ(dm->Status(), " Resetting ...");
    EXPECT_EQ(Buttons(), AllButtons(false));

    net.Ticks(8);
    EXPECT_EQ(dm->Status(), " Resetting ...");
    net.Ticks(1);
    EXPECT_EQ(DmSimNet::Times(*a, msg::kRestoreCommand, t1), std::vector<int64_t>{1000});
    EXPECT_EQ(DmSimNet::Times(*b, msg::kRestoreCommand, t1),
              (std::vector<int64_t>{3000, 5000, 7000}));
    EXPECT_TRUE(DmSimNet::Times(*c, msg::kRestoreCommand).empty());
    EXPECT_EQ(dm->Status(), "Reset Device Fail !");
    EXPECT_EQ(dm->Progress(), 1000);
    EXPECT_EQ(Buttons(), AllButtons(true));
    EXPECT_EQ(dm->Table().Count(), 3);
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRestoreTimer));
    EXPECT_EQ(Prompts().shown.size(), 1u);

    // The command: the device's name and MAC from its stored reply, qualifier 1, zeros after.
    const QByteArray sent = DmSimNet::Bytes(*a, msg::kRestoreCommand).at(0);
    const auto stored = dm->Table().Record(0).ToByteArray();
    ASSERT_EQ(sent.size(), 756);
    EXPECT_EQ(sent.left(8), "QMDRRDMQ");
    EXPECT_EQ(sent[8], 0x08);
    EXPECT_EQ(sent[9], 1);
    EXPECT_EQ(sent.mid(10, 22), stored.mid(10, 22));
    EXPECT_EQ(sent.mid(32), QByteArray(724, '\0'));
}

TEST_F(DmRestore, SucceedsThenWaitsForTheRestartWithProgressAndSearches) {
    devsim::SimDevice* a = net.Add();
    devsim::SimDevice* b = net.Add();
    ListDevices();
    Tick({0, 1});
    ASSERT_EQ(dm->WorkingPeriods().reboot, 15);
    const int64_t t1 = Now();
    dm->OnRestore();
    net.Ticks(4);  // sends at 1 s and 3 s, all acknowledged at the fourth tick
    EXPECT_EQ(DmSimNet::Times(*a, msg::kRestoreCommand, t1), std::vector<int64_t>{1000});
    EXPECT_EQ(DmSimNet::Times(*b, msg::kRestoreCommand, t1), std::vector<int64_t>{3000});
    EXPECT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRestoreTimer));

    std::vector<int> progress;
    for (int i = 0; i < 17; ++i) {
        net.Ticks(1);
        progress.push_back(dm->Progress());
        EXPECT_EQ(dm->Status(), " Resetting ...");
        EXPECT_EQ(Buttons(), AllButtons(false));
    }
    std::vector<int> expected;
    for (int i = 0; i < 17; ++i) expected.push_back(200 + 38 * i);
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(progress.back(), 808);
    EXPECT_EQ(dm->Table().Count(), 2);
    EXPECT_EQ(SearchesSince(*a, t1), std::vector<int64_t>{});

    net.Ticks(1);  // the 18th tick searches
    EXPECT_EQ(SearchesSince(*a, t1), (std::vector<int64_t>{22000, 22000, 22000}));
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
    net.Ticks(1);
    EXPECT_EQ(dm->Table().Count(), 2);
    EXPECT_EQ(dm->Status(), " Idle");
    EXPECT_EQ(Buttons(), AllButtons(true));
}

// A device that acknowledges twice must not make the flow skip the next device.
TEST_F(DmRestore, ADoubleAcknowledgementDoesNotSkipTheNextDevice) {
    devsim::SimDevice* a = net.Add(AnswersTwice(msg::kRestoreCommand));
    devsim::SimDevice* b = net.Add();
    devsim::SimDevice* c = net.Add();
    ListDevices();
    Tick({0, 1, 2});
    const int64_t t1 = Now();
    dm->OnRestore();
    net.Ticks(6);
    EXPECT_EQ(DmSimNet::Times(*a, msg::kRestoreCommand, t1), std::vector<int64_t>{1000});
    EXPECT_EQ(DmSimNet::Times(*b, msg::kRestoreCommand, t1), std::vector<int64_t>{3000});
    EXPECT_EQ(DmSimNet::Times(*c, msg::kRestoreCommand, t1), std::vector<int64_t>{5000});
    EXPECT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
}

// Cancelling a restore leaves the list and its stored replies in step: a reply that comes in
// afterwards is added as a new row, and a later restore reaches the device its row shows.
TEST_F(DmRestore, CancellingKeepsRowsAndStoredRepliesInStep) {
    net.Add();
    net.Add();
    DeviceProfile late;
    late.name = "Late";
    late.faults.delayMs = 1500;
    late.faults.commands = {msg::kSearchRequest};
    devsim::SimDevice* c = net.Add(late);
    ListDevices();
    ASSERT_EQ(dm->Table().Count(), 2);
    Tick({0});
    Prompts().Answer(PromptAnswer::No);
    dm->OnRestore();
    EXPECT_EQ(Buttons(), AllButtons(true));
    net.Ticks(1);
    ASSERT_EQ(dm->Table().Count(), 3);
    EXPECT_EQ(dm->Table().CellText(2, 2), "Late");
    EXPECT_EQ(DeviceOfRow(2), c);
    ExpectRowsInStep();

    dm->SetRowChecked(0, false);
    Tick({2});
    dm->OnRestore();
    net.Ticks(1);
    const std::vector<QByteArray> sent = DmSimNet::Bytes(*c, msg::kRestoreCommand);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].mid(26, 6), dm->Table().Record(2).ToByteArray().mid(26, 6));
    for (int row : {0, 1})
        EXPECT_TRUE(DmSimNet::Times(*DeviceOfRow(row), msg::kRestoreCommand).empty());
}

TEST_F(DmRestore, NothingTickedAsksForASelection) {
    net.Add();
    ListDevices();
    dm->OnRestore();
    dm->OnReboot();
    EXPECT_EQ(Prompts().Texts(), (QStringList{"Please select device(s) in the list !!",
                                              "Please select device(s) in the list !!"}));
    EXPECT_EQ(Prompts().shown[0].caption, "VELTRO");
    EXPECT_EQ(Buttons(), AllButtons(true));
}

TEST_F(DmReboot, SucceedsAndSearchesAtTheNextTickWithoutWaiting) {
    devsim::SimDevice* a = net.Add();
    devsim::SimDevice* b = net.Add(AnswersTwice(msg::kRebootCommand));
    ListDevices();
    Tick({0, 1});
    const int64_t t1 = Now();
    dm->OnReboot();
    ASSERT_EQ(Prompts().shown.size(), 1u);
    EXPECT_EQ(Prompts().shown[0].text, "Do you really want to REBOOT device(s) ?");
    EXPECT_EQ(Prompts().shown[0].caption, "Reboot");
    EXPECT_EQ(dm->Status(), " Rebooting ...");
    net.Ticks(4);
    EXPECT_EQ(DmSimNet::Times(*a, msg::kRebootCommand, t1), std::vector<int64_t>{1000});
    EXPECT_EQ(DmSimNet::Times(*b, msg::kRebootCommand, t1), std::vector<int64_t>{3000});
    EXPECT_EQ(SearchesSince(*a, t1), (std::vector<int64_t>{4000, 4000, 4000}));
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRebootTimer));
    EXPECT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kSearchTimer));
    EXPECT_EQ(dm->Status(), " Rebooting ...");
}

TEST_F(DmReboot, NoKeepsTheRowsTickedAndASilentDeviceFails) {
    devsim::SimDevice* a = net.Add(Deaf(msg::kRebootCommand));
    ListDevices();
    Tick({0});
    Prompts().Answer(PromptAnswer::No);
    dm->OnReboot();
    EXPECT_TRUE(dm->Table().IsChecked(0));
    EXPECT_EQ(Buttons(), AllButtons(true));
    net.Ticks(2);
    EXPECT_TRUE(DmSimNet::Times(*a, msg::kRebootCommand).empty());

    const int64_t t1 = Now();
    dm->OnReboot();
    net.Ticks(7);
    EXPECT_EQ(DmSimNet::Times(*a, msg::kRebootCommand, t1),
              (std::vector<int64_t>{1000, 3000, 5000}));
    EXPECT_EQ(dm->Status(), "Reboot Device Fail !");
    EXPECT_EQ(dm->Progress(), 1000);
    EXPECT_EQ(Buttons(), AllButtons(true));
    const QByteArray sent = DmSimNet::Bytes(*a, msg::kRebootCommand).at(0);
    EXPECT_EQ(sent.size(), 756);
    EXPECT_EQ(sent[8], 0x0B);
    EXPECT_EQ(sent[9], 0);
}

// The question is a modal box: a search may rebuild the list meanwhile (the restart wait of an
// earlier flow ends in one). The command goes to the ticked device wherever it is listed now,
// and to nobody once it is no longer listed.
TEST_F(DmReboot, TheTickedDeviceIsLookedUpAgainByItsMacAfterTheQuestion) {
    devsim::SimDevice* chosen = net.Add();
    devsim::SimDevice* other = net.Add();
    const QString gone = QString("The device %1 is no longer listed. Nothing was sent.")
                             .arg(DmDeviceTable::MacText(chosen->StoredRecord()));
    struct Flow {
        void (DmController::*start)();
        uint8_t command;
    };
    for (const Flow& flow : {Flow{&DmController::OnReboot, msg::kRebootCommand},
                             Flow{&DmController::OnRestore, msg::kRestoreCommand}}) {
        chosen->SetFaults({});
        ListDevices();
        ASSERT_EQ(DeviceOfRow(0), chosen);
        Tick({0});
        Prompts().WhileNextBoxIsOpen([&] {
            chosen->SetFaults(SearchFaults(true));
            dm->OnSearch();
            net.Ticks(1);
        });
        (dm.get()->*flow.start)();
        ASSERT_EQ(Prompts().shown.size(), 2u);
        EXPECT_EQ(Prompts().shown[1].text, gone);
        EXPECT_EQ(Buttons(), AllButtons(true));

        chosen->SetFaults({});
        ListDevices();
        Tick({0});
        Prompts().WhileNextBoxIsOpen([&] {
            chosen->SetFaults(SearchFaults(false, 500));
            dm->OnSearch();
            net.Ticks(1);
            ASSERT_EQ(DeviceOfRow(1), chosen);
        });
        const int64_t t1 = Now();
        (dm.get()->*flow.start)();
        net.Ticks(2);
        EXPECT_EQ(DmSimNet::Times(*chosen, flow.command, t1).size(), 1u);
        EXPECT_TRUE(DmSimNet::Times(*other, flow.command).empty());
        net.Ticks(60);  // the restart wait after a restore ends in a search
        Prompts().Clear();
    }
}

// Boxes are modal, so a second flow can be confirmed while one waits only through nested
// boxes; it is refused rather than queued behind the first.
TEST_F(DmReboot, AFlowConfirmedWhileAnotherWaitsIsRefused) {
    devsim::SimDevice* a = net.Add();
    ListDevices();
    Tick({0});
    Prompts().WhileNextBoxIsOpen([&] {
        Prompts().WhileNextBoxIsOpen([&] {
            a->SetFaults(SearchFaults(false, 1500));
            dm->OnSearch();
            net.Ticks(1);
        });
        dm->OnRestore();
    });
    const int64_t t1 = Now();
    dm->OnReboot();
    ASSERT_EQ(Prompts().shown.size(), 3u);
    EXPECT_EQ(Prompts().shown[2].text, "Another operation is waiting to start. Nothing was sent.");
    EXPECT_EQ(dm->Status(), " Searching ...");

    net.Ticks(2);  // the search ends at its second tick; the restore sends at its first
    EXPECT_EQ(dm->Status(), " Resetting ...");
    EXPECT_EQ(DmSimNet::Times(*a, msg::kRestoreCommand, t1), std::vector<int64_t>{3000});
    net.Ticks(30);
    EXPECT_TRUE(DmSimNet::Times(*a, msg::kRebootCommand).empty());
}

// A device whose record claims no single host's address (an edge of one of the host's subnets
// or of the device's own netmask) or the host's own is sent nothing, and the box says why.
TEST_F(DmReboot, ADeviceThatClaimsNoSingleHostsAddressIsSentNothing) {
    DeviceProfile broadcast;
    broadcast.claimedAddress = 0x7FFFFFFF;
    DeviceProfile network;
    network.claimedAddress = 0x7F000000;
    DeviceProfile own;
    own.claimedAddress = 0x7F000001;
    devsim::SimDevice* devices[] = {net.Add(broadcast), net.Add(network), net.Add(own)};
    const std::vector<AdapterInfo> lo = *net.frame.net.subnets;
    const std::vector<AdapterInfo> ethernet{{"eth0", "10.1.2.7", "255.255.255.0"}};
    struct Case {
        std::vector<AdapterInfo> subnets;
        int device;
        const char* reason;
    };
    const Case cases[] = {
        {lo, 0,
         "127.255.255.255 is the broadcast address of 127.0.0.0/8, this host's subnet on lo"},
        {ethernet, 0,
         "127.255.255.255 is the broadcast address of 127.0.0.0/8, the loopback net"},
        {lo, 1, "127.0.0.0 is the network address of 127.0.0.0/8, this host's subnet on lo"},
        {lo, 2, "127.0.0.1 is this host's own address on lo"},
    };
    for (const Case& c : cases) {
        net.frame.net.subnets = c.subnets;
        ListDevices();
        const DeviceConfigRecord& record = devices[c.device]->StoredRecord();
        dm->SetRowChecked(dm->Table().FindRowByMac(record.MacAddress()), true);
        dm->OnReboot();
        EXPECT_EQ(Prompts().Texts().value(1),
                  QString("The device %1 has no address to send to (%2). Nothing was sent.")
                      .arg(DmDeviceTable::MacText(record), c.reason));
        EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRebootTimer));
    }
    net.Ticks(6);
    for (devsim::SimDevice* device : devices)
        EXPECT_EQ(device->CountReceived(msg::kRebootCommand), 0);
}
