// Adding and removing ports through the view's controller against a real veltro-vspd, and the
// driver package reader.
#include "tests/vsp/VspFlowFixture.h"
#include "vsp/VspDriverPackage.h"

TEST_F(VspFlow, AddGivesTheNewPortItsFirstConfiguration) {
    Start();
    EXPECT_EQ(vsp.RowCount(), 0);
    std::optional<VspComUsage> offered;
    vsp.SetPortNumberChooser([&](const VspComUsage& used) {
        offered = used;
        return 5;
    });
    vsp.OnAdd();
    Answered();
    ASSERT_TRUE(offered);
    EXPECT_EQ(std::count(offered->begin(), offered->end(), 0), 256);
    EXPECT_EQ(vsp.Form().statusLine, "Added a virtual serial port successfully");
    EXPECT_EQ(vsp.Progress(), vsp.ProgressRange().second);
    EXPECT_FALSE(frame.clock.IsRunning(&vsp, VspController::kProgressTimer));
    ASSERT_EQ(vsp.RowCount(), 1);
    EXPECT_EQ(vsp.Rows()[0].cells,
              (std::array<QString, 8>{"0", "COM5", "Idle", "", "", "0", "0", "0"}));
    const vspd::PortEntry entry = service.EntryOf(5);
    EXPECT_EQ(entry.info.remoteIp, VspPortCommands::kNewPortAddress);
    EXPECT_EQ(entry.info.maxPacketSize, VspPortCommands::kNewPortPacketSize);
    EXPECT_EQ(entry.info.enableVcom, 0u);
    EXPECT_EQ(entry.hostIp, 0x7F000001u);
    EXPECT_EQ(frame.tree, QStringList{"COM5"});
    EXPECT_EQ(frame.terminalCalls, QStringList{"refresh"});
    EXPECT_TRUE(frame.SavedTable().startsWith(
        "1 \r\n0 COM5 3232235523l 0 0 0 Idle 1 0 1400 COM5 # # \r\n"));
    EXPECT_TRUE(Enabled(VspControl::kAdd));
    EXPECT_FALSE(Enabled(VspControl::kRemove));  // nothing is selected

    // The number in use is marked and refused.
    vsp.SetPortNumberChooser([&](const VspComUsage& used) {
        offered = used;
        return 5;
    });
    vsp.OnAdd();
    Answered();
    EXPECT_NE((*offered)[4], 0);
    EXPECT_EQ(frame.prompts.Texts(), QStringList{"The selected port number is in used."});
    EXPECT_EQ(vsp.RowCount(), 1);
}

TEST_F(VspFlow, RemoveTheMiddleOfThreeKeepsPortIdsWithPositions) {
    Start();
    Add(5);
    Add(6);
    Add(7);
    ASSERT_EQ(Column(VspRow::kPortIdColumn), (QStringList{"0", "1", "2"}));
    frame.terminalCalls.clear();
    vsp.ClickRow(1);
    vsp.OnRemove();
    Settle();
    EXPECT_TRUE(frame.prompts.Texts().isEmpty()) << frame.prompts.Texts().join("|").toStdString();
    // Nothing is selected, and the form no longer shows the port that went.
    EXPECT_EQ(vsp.SelectedRow(), std::nullopt);
    VspForm blank;
    blank.statusLine = "VSP removed successfully";
    EXPECT_EQ(vsp.Form(), blank);
    EXPECT_EQ(Column(VspRow::kPortIdColumn), (QStringList{"0", "1"}));
    EXPECT_EQ(Column(VspRow::kNameColumn), (QStringList{"COM5", "COM7"}));
    EXPECT_EQ(vsp.Form().statusLine, "VSP removed successfully");
    EXPECT_EQ(frame.tree, (QStringList{"COM5", "COM7"}));
    EXPECT_EQ(frame.terminalCalls, QStringList{"refresh"});
    std::vector<std::string> instances;
    for (const vspd::PortEntry& e : service.List()) instances.push_back(e.instanceId);
    EXPECT_EQ(instances, (std::vector<std::string>{"ROOT\\PORTS\\0000", "ROOT\\PORTS\\0002"}));
    EXPECT_TRUE(frame.SavedTable().startsWith("2 \r\n0 COM5 "));
    EXPECT_TRUE(frame.SavedTable().contains("\r\n1 COM7 "));
    // The list and the service agree: the port now at position 1 is COM7.
    vsp.ClickRow(1);
    EXPECT_EQ(vsp.SelectedName(), "COM7");
    EXPECT_TRUE(Enabled(VspControl::kConnect));
}

TEST_F(VspFlow, APortHeldByAnotherProgramIsListedAsTheServiceKeepsIt) {
    service.Install(5);
    service.Install(6);
    {
        PortSession session(service, service.PathOf(5));
        ASSERT_EQ(session.Configure(ClientConfig(4001, vspd::kProtocolTcp, 9000)), 0u);
    }
    Fd held = OpenTty(service.ComLink(5));
    ASSERT_TRUE(held.valid());
    Start();
    // The service lists a held port with its configuration: nothing to tell at start, and the
    // row says that the port is in use.
    EXPECT_TRUE(frame.prompts.Texts().isEmpty());
    ASSERT_EQ(vsp.RowCount(), 2);
    EXPECT_EQ(vsp.Rows()[0].cells,
              (std::array<QString, 8>{"0", "COM5", "In use", "", "", "0", "0", "0"}));
    EXPECT_EQ(Cell(1, VspRow::kNameColumn), "COM6");
    EXPECT_EQ(service.EntryOf(5).info.maxPacketSize, 9000u);  // left as the service has it

    // A click tells once and shows the clicked port.
    vsp.ClickRow(1);
    vsp.ClickRow(0);
    EXPECT_EQ(frame.prompts.Texts(), QStringList{VspPortCommands::kStopTerminal});
    EXPECT_EQ(vsp.Form().remotePortText, "4001");
    EXPECT_EQ(vsp.Form().remoteIp, 0x7F000001u);
    // Nothing that needs the port is offered; no link was opened to find that out.
    for (VspControl c : {VspControl::kRemove, VspControl::kConnect, VspControl::kSetting})
        EXPECT_FALSE(Enabled(c)) << int(c);
    EXPECT_TRUE(Enabled(VspControl::kAdd));
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
    vsp.SaveTable();
    EXPECT_TRUE(frame.SavedTable().startsWith(
        "2 \r\n0 COM5 2130706433l 4001 0 0 Idle 1 0 9000 COM5 # # \r\n"));

    frame.prompts.Clear();
    Add(7);
    EXPECT_EQ(frame.prompts.Texts(),
              QStringList{"You need to close all opened VSP ports before adding a new one!"});
    EXPECT_EQ(service.List().size(), 2u);
}

TEST_F(VspFlow, PacketSizeNeverExceedsTheSmallestMtuLimit) {
    struct Case {
        std::vector<uint32_t> mtus;
        int32_t protocol;
        uint32_t typed;
        uint32_t kept;
    };
    const Case cases[] = {
        {{}, 0, 5000, 1460},           {{}, 1, 5000, 1472},     {{9000, 1400}, 0, 1400, 1360},
        {{9000, 1400}, 1, 1372, 1372}, {{1500}, 0, 1000, 1000},
    };
    for (const Case& c : cases) {
        frame.net.mtus = c.mtus;
        vsp.Commands().ScanMtu();
        VspForm form = vsp.Form();
        form.protocol = c.protocol;
        form.maxPacketSize = c.typed;
        vsp.EditForm(form);
        vsp.OnPacketSizeChanged();
        EXPECT_EQ(vsp.Form().maxPacketSize, c.kept) << c.typed;
    }
}

TEST(VspDriverPackage, FindsTheFirstHardwareIdOfTheFirstModel) {
    struct Case {
        const char* text;
        std::optional<QString> id;
        uint32_t error;
    };
    const Case cases[] = {
        {"[Manufacturer]\r\n%M%=Models,NTamd64\r\n[Models.NTamd64]\r\n%D%=Inst,QMDR\\Vser,X\r\n",
         QString("QMDR\\Vser"), 0},
        {"[Manufacturer]\n; vendor\n%M%=Models\n[Models]\n%D%=Inst,Other\\Id\n",
         QString("Other\\Id"), 0},
        {"[Manufacturer]\n%M%=Models\n[Models]\n%D%=Inst\n", QString(""), 0},
        {"[Version]\nClass=Ports\n", std::nullopt, vspinf::kSectionNotFound},
        {"[Manufacturer]\n%M%=Models,NTamd64\n[Models]\n%D%=Inst,Id\n", std::nullopt,
         vspinf::kSectionNotFound},
        {"[Manufacturer]\n[Models]\n", std::nullopt, vspinf::kLineNotFound},
    };
    for (const Case& c : cases) {
        uint32_t error = 0;
        EXPECT_EQ(vspinf::FirstHardwareId(QByteArray(c.text), &error), c.id) << c.text;
        if (!c.id) {
            EXPECT_EQ(error, c.error) << c.text;
        }
    }
}
