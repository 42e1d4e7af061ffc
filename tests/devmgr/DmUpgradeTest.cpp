#include <QFile>
#include <QTemporaryDir>

#include "tests/devmgr/DmTestHelpers.h"
#include "upgrade/TftpClient.h"

// The Firmware Upgrade button: the one-device choice, the subnet warning, the image dialog,
// the transfer to the device's TFTP server and the restart wait that ends in a new search.
namespace {

class DmUpgrade : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace;
        ASSERT_TRUE(net.Start(/*tftp=*/true)) << "the simulated devices could not be started";
        dm = std::make_unique<DmController>(net.frame);
        dm->SetDevicePort(net.DevicePort());
        dm->Tftp().SetServerPort(net.sim->Options().tftpPort);
        dm->SetImageChooser([this]() -> std::optional<QString> {
            ++dialogs;
            if (duringDialog) duringDialog();
            return image;
        });
        dm->InitialUpdate();
        net.Ticks(1);
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath("fw.bin"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        content = QByteArray("QMDR") + QByteArray(1200, '\x5A');
        file.write(content);
        image = file.fileName();
    }
    void List() {
        dm->OnSearch();
        net.Ticks(1);
        net.frame.prompts.Clear();
    }
    bool Finished() const { return net.frame.log.contains("TFTP_OPERATION FINISH"); }
    bool AllButtons(bool on) const {
        for (int i = 0; i < kDmButtonCount; ++i)
            if (dm->ButtonEnabled(static_cast<DmButton>(i)) != on) return false;
        return true;
    }

    DmSimNet net;
    std::unique_ptr<DmController> dm;
    QTemporaryDir dir;
    QByteArray content;
    std::optional<QString> image;
    int dialogs = 0;
    std::function<void()> duringDialog;
};

}  // namespace

TEST_F(DmUpgrade, WritesTheImageThenWaitsForTheRestartAndSearches) {
    devsim::SimDevice* d = net.Add();
    net.Add();
    List();
    dm->SetRowChecked(0, true);
    QStringList statuses;
    QObject::connect(dm.get(), &DmController::controlsChanged, [&] {
        if (statuses.isEmpty() || statuses.last() != dm->Status()) statuses << dm->Status();
    });
    const int64_t t1 = net.frame.clock.Now();
    dm->OnFirmwareUpgrade();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(AllButtons(false));
    EXPECT_EQ(dm->Status(), " Uploading 0 B of 1 KiB");
    EXPECT_EQ(dm->Progress(), 0);
    ASSERT_TRUE(PumpUntil([this] { return Finished(); }));
    EXPECT_EQ(statuses.last(), " Upgraded, restarting ...");
    EXPECT_EQ(statuses.at(statuses.size() - 2), " Uploading 1 KiB of 1 KiB");
    EXPECT_TRUE(net.frame.log.last().startsWith("TFTP upload finished: 1204 bytes in "));
    ASSERT_EQ(d->Images().size(), 1u);
    EXPECT_EQ(d->Images()[0].data, content);
    EXPECT_EQ(d->Images()[0].fileName, "fw.bin");
    EXPECT_TRUE(AllButtons(true));
    EXPECT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));

    // One device and a reboot period of 15: 16 ticks of progress, the 17th searches.
    std::vector<int> progress;
    for (int i = 0; i < 16; ++i) {
        net.Ticks(1);
        progress.push_back(dm->Progress());
    }
    EXPECT_EQ(progress.front(), 200);
    EXPECT_EQ(progress.back(), 200 + 15 * 40);
    EXPECT_EQ(dm->Table().Count(), 2);
    net.Ticks(1);
    const std::vector<int64_t> searches = DmSimNet::Times(*d, msg::kSearchRequest, t1);
    EXPECT_EQ(std::count(searches.begin(), searches.end(), searches.back()), 3);
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
    net.Ticks(1);
    EXPECT_EQ(dm->Table().Count(), 2);
    EXPECT_EQ(dm->Status(), " Idle");
}

// The buttons are enabled during the restart wait. A reboot started then ends the wait: no
// search clears the list or enables the buttons in the middle of it, and it keeps its own count
// of sends.
TEST_F(DmUpgrade, AFlowStartedDuringTheRestartWaitEndsTheWait) {
    devsim::SimDevice* d = net.Add();
    List();
    dm->SetRowChecked(0, true);
    dm->OnFirmwareUpgrade();
    ASSERT_TRUE(PumpUntil([this] { return Finished(); }));
    ASSERT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
    net.Ticks(14);  // the wait would search at its 17th tick

    devsim::Faults deaf;
    deaf.silent = true;
    deaf.commands = {msg::kRebootCommand};
    d->SetFaults(deaf);
    dm->SetRowChecked(0, true);
    const int64_t t1 = net.frame.clock.Now();
    dm->OnReboot();
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
    for (int tick = 0; tick < 6; ++tick) {
        net.Ticks(1);
        EXPECT_TRUE(AllButtons(false)) << tick;
        EXPECT_EQ(dm->Table().Count(), 1) << tick;
    }
    net.Ticks(6);
    EXPECT_EQ(DmSimNet::Times(*d, msg::kRebootCommand, t1),
              (std::vector<int64_t>{1000, 3000, 5000}));
    const std::vector<int64_t> searches = DmSimNet::Times(*d, msg::kSearchRequest, t1);
    EXPECT_EQ(std::count_if(searches.begin(), searches.end(), [](int64_t t) { return t >= 0; }), 0);
    EXPECT_EQ(dm->Status(), "Reboot Device Fail !");
    EXPECT_TRUE(AllButtons(true));
}

TEST_F(DmUpgrade, ARefusedImageEndsInTheFailureTextWithoutARestartWait) {
    devsim::SimDevice* d = net.Add();
    d->Tftp().SetMode(devsim::TftpMode::Refuse);
    List();
    dm->SetRowChecked(0, true);
    dm->OnFirmwareUpgrade();
    ASSERT_TRUE(PumpUntil([this] { return !dm->Tftp().IsRunning(); }));
    EXPECT_EQ(dm->Status(), "Upgrade Device Fail !");
    EXPECT_EQ(dm->Progress(), DmController::kProgressMax);
    EXPECT_TRUE(AllButtons(true));
    EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
    EXPECT_TRUE(net.frame.log.last().startsWith("TFTP upload stopped: 0 of 1204 bytes in "));
}

TEST_F(DmUpgrade, NeedsExactlyOneDeviceAndWarnsAboutAnotherSubnet) {
    devsim::SimDevice* d = net.Add();
    net.Add();
    List();
    dm->OnFirmwareUpgrade();
    dm->SetRowChecked(0, true);
    dm->SetRowChecked(1, true);
    dm->OnFirmwareUpgrade();
    EXPECT_EQ(net.frame.prompts.Texts(),
              (QStringList{"Please select a device server in the list !!",
                           "Please set ONE device server each time !!"}));

    net.frame.prompts.Clear();
    dm->SetRowChecked(1, false);
    net.frame.hostAddress = "10.1.2.3";
    net.frame.hostNetmask = "255.255.255.0";
    net.frame.prompts.Answer(PromptAnswer::No);
    dm->OnFirmwareUpgrade();
    ASSERT_EQ(net.frame.prompts.shown.size(), 1u);
    const auto& warning = net.frame.prompts.shown[0];
    EXPECT_EQ(warning.caption, "Warning");
    EXPECT_EQ(warning.text,
              "The device's IP network segment isn't same as host, please confirm that the "
              "device can access through Router or Gateway.");
    EXPECT_EQ(warning.defaultAnswer, PromptAnswer::No);
    EXPECT_EQ(warning.icon, PromptIcon::Warning);
    EXPECT_FALSE(dm->Table().IsChecked(0));  // No unticks the device
    EXPECT_EQ(dialogs, 0);

    dm->SetRowChecked(0, true);
    net.frame.hostAddress = "127.0.0.1";
    net.frame.hostNetmask = "255.0.0.0";
    image.reset();  // the dialog is cancelled
    dm->OnFirmwareUpgrade();
    EXPECT_EQ(dialogs, 1);
    PumpQuiet(20);
    EXPECT_TRUE(d->Images().empty());
    EXPECT_TRUE(AllButtons(true));
}

// The restart wait after an upgrade ends in a search while the buttons are enabled, so the list
// may be rebuilt while the dialog is open: the image goes to the device that was chosen,
// wherever it is listed now, and to nobody once it is no longer listed.
TEST_F(DmUpgrade, TheChosenDeviceIsLookedUpAgainByItsMacAfterTheDialog) {
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
         {"No devices found!", gone}},
        {"another device holds its row", SearchFaults(true), {}, 1, {gone}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        chosen->SetFaults({});
        other->SetFaults({});
        List();
        ASSERT_EQ(net.sim->FindByMac(dm->Table().Record(0).MacAddress()), chosen);
        dm->SetRowChecked(0, true);
        duringDialog = [&] {
            chosen->SetFaults(c.chosenFaults);
            other->SetFaults(c.otherFaults);
            dm->OnSearch();
            net.Ticks(c.searchTicks);
        };
        dm->OnFirmwareUpgrade();
        EXPECT_EQ(net.frame.prompts.Texts(), c.texts);
        EXPECT_EQ(net.frame.prompts.shown.back().caption, "VELTRO");
        EXPECT_FALSE(dm->Tftp().IsRunning());
        EXPECT_FALSE(net.frame.log.join("\n").contains("Send WRQ"));
        EXPECT_TRUE(dm->ButtonEnabled(DmButton::kFirmwareUpgrade));
    }
    PumpQuiet(20);
    EXPECT_TRUE(chosen->Images().empty());
    EXPECT_TRUE(other->Images().empty());

    // Still listed, now in the second row: the image goes there.
    chosen->SetFaults({});
    other->SetFaults({});
    List();
    dm->SetRowChecked(0, true);
    duringDialog = [&] {
        chosen->SetFaults(SearchFaults(false, 500));
        dm->OnSearch();
        net.Ticks(1);
        ASSERT_EQ(net.sim->FindByMac(dm->Table().Record(1).MacAddress()), chosen);
    };
    dm->OnFirmwareUpgrade();
    ASSERT_TRUE(PumpUntil([this] { return Finished(); }));
    EXPECT_EQ(chosen->Images().size(), 1u);
    EXPECT_TRUE(other->Images().empty());
}

// The restart wait after an upgrade runs out while the box of the next flow is open; the
// devices answer its search 1.3 s late and the user confirms 1.6 s into it. The flow waits for
// the search, then runs alone: the buttons stay disabled and the status is its own until it
// ends, and no other flow starts meanwhile (a Reboot once sent a reboot command to a device
// ticked later for a Restore).
class DmUpgradeThenFlow : public DmUpgrade {
  protected:
    // Upgrades the device and lets every device answer searches 1.3 s late.
    void Upgrade(devsim::SimDevice* device) {
        for (int i = 0; i < net.sim->Count(); ++i) net.sim->Device(i).SetFaults({});
        List();
        TickDevices({device});
        const qsizetype before = net.frame.log.count("TFTP_OPERATION FINISH");
        dm->OnFirmwareUpgrade();
        ASSERT_TRUE(
            PumpUntil([&] { return net.frame.log.count("TFTP_OPERATION FINISH") > before; }));
        ASSERT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
        for (int i = 0; i < net.sim->Count(); ++i)
            net.sim->Device(i).SetFaults(SearchFaults(false, 1300));
        dm->SetRowChecked(dm->Table().CheckedRows().at(0), false);
    }
    void TickDevices(std::initializer_list<devsim::SimDevice*> devices) {
        for (devsim::SimDevice* d : devices)
            dm->SetRowChecked(dm->Table().FindRowByMac(d->StoredRecord().MacAddress()), true);
    }
    // While the box is open: the wait's 17th tick searches, and 1.6 s pass.
    void WaitRunsOutAndItsSearchRuns() {
        net.Ticks(17);
        ASSERT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kSearchTimer));
        net.frame.clock.Advance(1600);
        ASSERT_EQ(dm->Table().Count(), 3);
    }
};

TEST_F(DmUpgradeThenFlow, AFlowConfirmedDuringTheWaitsSearchStartsWhenTheSearchEnds) {
    devsim::SimDevice* farm1 = net.Add();
    devsim::SimDevice* farm2 = net.Add();
    devsim::SimDevice* farm3 = net.Add();
    dm->SetSetupSheet([](const DeviceConfigRecord& record, int) {
        return std::optional(BuildSetupCommand(record, record.MacAddress()));
    });
    struct Case {
        void (DmController::*start)();
        uint8_t command;
        std::vector<devsim::SimDevice*> ticked;
        QString status;
        int firstSendTick;  // after the search's end
    };
    const Case cases[] = {
        {&DmController::OnReboot, msg::kRebootCommand, {farm2, farm3}, " Rebooting ...", 1},
        {&DmController::OnRestore, msg::kRestoreCommand, {farm2, farm3}, " Resetting ...", 1},
        {&DmController::OnDeviceSetup, msg::kSetupCommand, {farm2}, " Device setting ...", 0},
    };
    const std::vector<uint8_t> commands{msg::kRebootCommand, msg::kRestoreCommand,
                                        msg::kSetupCommand};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        Upgrade(farm1);
        for (devsim::SimDevice* d : c.ticked) TickDevices({d});
        const int64_t t1 = net.frame.clock.Now();
        net.frame.prompts.WhileNextBoxIsOpen([this] { WaitRunsOutAndItsSearchRuns(); });
        (dm.get()->*c.start)();
        EXPECT_TRUE(AllButtons(false));
        EXPECT_TRUE(DmSimNet::Times(*farm2, c.command, t1).empty());

        net.frame.clock.Advance(400);  // the search ends and the flow starts
        EXPECT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kSearchTimer));
        net.Ticks(c.firstSendTick);
        EXPECT_EQ(dm->Status(), c.status);
        EXPECT_TRUE(AllButtons(false));
        EXPECT_EQ(DmSimNet::Times(*farm2, c.command, t1).size(), 1u);

        // Another flow for the upgraded device, as a click that reached the controller.
        const size_t boxes = net.frame.prompts.shown.size();
        TickDevices({farm1});
        dm->OnRestore();
        dm->OnReboot();
        EXPECT_EQ(net.frame.prompts.shown.size(), boxes);
        net.Ticks(30);
        for (uint8_t command : commands)
            EXPECT_TRUE(DmSimNet::Times(*farm1, command, t1).empty()) << int{command};
        EXPECT_EQ(dm->Status(), " Idle");
        EXPECT_TRUE(AllButtons(true));
        net.frame.prompts.Clear();
    }
}

TEST_F(DmUpgradeThenFlow, AnUpgradeConfirmedDuringTheWaitsSearchRunsWithTheButtonsDisabled) {
    devsim::SimDevice* farm1 = net.Add();
    devsim::SimDevice* farm2 = net.Add();
    net.Add();
    Upgrade(farm1);
    TickDevices({farm2});
    duringDialog = [this] { WaitRunsOutAndItsSearchRuns(); };
    dm->OnFirmwareUpgrade();
    EXPECT_FALSE(dm->Tftp().IsRunning());
    EXPECT_TRUE(AllButtons(false));

    farm2->Tftp().SetMode(devsim::TftpMode::Silent);  // the request is sent again and again
    net.frame.clock.Advance(400);
    EXPECT_TRUE(dm->Tftp().IsRunning());
    EXPECT_TRUE(AllButtons(false));
    EXPECT_EQ(dm->Status(), " Uploading 0 B of 1 KiB");
    net.Ticks(1);
    EXPECT_TRUE(AllButtons(false));
    farm2->Tftp().SetMode(devsim::TftpMode::OptionAck);
    ASSERT_TRUE(PumpUntil([&] { return !dm->Tftp().IsRunning(); }));
    ASSERT_FALSE(farm2->Images().empty());
    EXPECT_EQ(farm2->Images().back().data, content);
    EXPECT_TRUE(AllButtons(true));
    EXPECT_TRUE(net.frame.clock.IsRunning(dm.get(), DmController::kRestartWaitTimer));
}
