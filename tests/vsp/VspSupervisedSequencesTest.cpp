// Supervision in sequences that once cut a healthy link, probed the wrong address or moved the
// user's selection, against a simulated device and a real veltro-vspd.
#include "tests/vsp/VspSupervisionFixture.h"

TEST_F(Supervision, ClosingAnotherPortLeavesTheEditAndTheSelectionWithTheirPort) {
    StartConnected();
    Add(6);
    vsp.ClickRow(1);
    vsp.OnSetting();
    Answered();
    ASSERT_EQ(vsp.EditedPort(), "COM6");
    VspForm form = vsp.Form();
    form.remotePortText = "4444";
    vsp.EditForm(form);

    device->SetProbeByte(0);  // the device closes its side: COM5 is closed at an evaluation
    FirstEvaluation();
    Passes(1);
    ASSERT_EQ(service.EntryOf(5).state, vspd::PortState::Idle);
    EXPECT_EQ(vsp.SelectedName(), "COM6");
    EXPECT_TRUE(vsp.SettingMode());

    vsp.OnSetting();
    Answered();
    EXPECT_EQ(service.EntryOf(6).info.remotePort, 4444);
    EXPECT_EQ(service.EntryOf(5).info.remotePort, peer->port);
}

TEST_F(Supervision, ADropAfterASilentDisconnectionIsWatchedFromScratch) {
    StartConnected();
    FirstEvaluation();
    Silence(true);
    Passes(61);
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    ASSERT_EQ(frame.dmRows[0].status, "Idle");

    Silence(false);
    ASSERT_TRUE(vsp.ConnectByDrop("COM5", DeviceIp(), QString::number(peer->port), false));
    Settle();
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(Word("COM5"), vsppoll::kAnsweredOpen);
    Passes(3);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Connected);
    EXPECT_EQ(frame.dmRows[0].status, "Connected");
}

TEST_F(Supervision, APortTheServiceReconnectedIsWatchedAtItsOwnPeer) {
    frame.settings.connectionCheck = true;
    Start();
    AddClientPort(1);
    ConnectRow(0);
    service.Stop();
    ASSERT_TRUE(service.Start());  // connects its connect-at-start port by itself
    ASSERT_TRUE(
        PumpUntil([&] { return service.EntryOf(5).state == vspd::PortState::Connected; }, kIo));
    FirstEvaluation();
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(Cell(0, VspRow::kRemoteIpColumn), DeviceIp());
    EXPECT_EQ(frame.tree, QStringList{"COM5 (" + DeviceIp() + ")"});
    Passes(3);
    EXPECT_FALSE(ProbeTimes().empty());
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(service.EntryOf(5).state, vspd::PortState::Connected);
}

TEST_F(Supervision, TheButtonsFollowTheSelectedPortNotAnotherPortTurningSilent) {
    StartConnected();
    Add(6);
    const uint16_t listen = FreePort();
    Configure(1, [&](VspForm& f) {
        f.clientMode = 0;
        f.listenPortText = QString::number(listen);
    });
    ConnectRow(1);
    frame.clock.Advance(VspPortCommands::kServerWaitMs);
    ASSERT_EQ(Cell(1, VspRow::kStatusColumn), "Server");
    ASSERT_TRUE(Enabled(VspControl::kClose));

    FirstEvaluation();
    Silence(true);
    Passes(1);
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");
    EXPECT_TRUE(Enabled(VspControl::kClose));
    EXPECT_FALSE(Enabled(VspControl::kRemove));
    EXPECT_FALSE(Enabled(VspControl::kSetting));

    // Closed from the tree, the selected server port gives its buttons back.
    EXPECT_TRUE(vsp.CloseByName("COM6"));
    Settle();
    EXPECT_FALSE(Enabled(VspControl::kClose));
    EXPECT_TRUE(Enabled(VspControl::kRemove));
    EXPECT_TRUE(Enabled(VspControl::kConnect));
}
