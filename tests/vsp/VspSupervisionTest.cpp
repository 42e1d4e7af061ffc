// Supervision of a connected client port against a simulated device and a real veltro-vspd:
// probes on the wire, "Disconnecting", the disconnection after 61 silent evaluations, the
// device closing its side, and the failure box.
#include <QRegularExpression>

#include "tests/vsp/VspSupervisionFixture.h"

TEST_F(Supervision, AnsweringDeviceStaysConnectedAndIsProbedEveryPass) {
    StartConnected();
    frame.clock.Advance(kFirstProbeAt - 1 - frame.clock.Now());
    EXPECT_TRUE(ProbeTimes().empty());
    EXPECT_FALSE(Watch().ProbeSocketOpen());
    FirstEvaluation();
    EXPECT_TRUE(Watch().ProbeSocketOpen());
    EXPECT_EQ(ProbeTimes(), std::vector<int64_t>{kFirstProbeAt});
    EXPECT_EQ(Word("COM5"), vsppoll::kAnsweredOpen | vsppoll::kNoAnswerBit);

    Passes(20);
    EXPECT_EQ(ProbeTimes(), ProbeTimesOfPasses(0, 21));
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(vsp.Rows()[0].back, kVspConnectedBack);
    EXPECT_EQ(service.EntryOf(5).info.connected, 1u);
    EXPECT_TRUE(frame.prompts.Texts().isEmpty());
}

TEST_F(Supervision, WithoutTheCheckSettingNothingIsProbed) {
    frame.settings.connectionCheck = false;
    Start();
    AddClientPort();
    ConnectRow(0);
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    frame.clock.Advance(kFirstEvaluationAt + 10 * kPassMs);
    EXPECT_TRUE(ProbeTimes().empty());
    EXPECT_FALSE(frame.clock.IsRunning(&Watch(), VspSupervision::kProbeTimer));
    EXPECT_FALSE(frame.clock.IsRunning(&Watch(), VspSupervision::kEvaluationTimer));
}

TEST_F(Supervision, SilentDeviceTurnsDisconnectingThenIsDisconnectedAtTheSixtyFirstEvaluation) {
    StartConnected();
    FirstEvaluation();
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    vsp.ClickRow(0);
    ASSERT_TRUE(Enabled(VspControl::kClose));
    Silence(true);

    Passes(1);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");
    EXPECT_EQ(vsp.Rows()[0].back, kVspDisconnectingBack);
    EXPECT_FALSE(Enabled(VspControl::kClose));
    EXPECT_EQ(frame.dmRows[0].status, "Connected");

    Passes(59);  // 60 silent evaluations
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");
    EXPECT_EQ(service.EntryOf(5).info.connected, 1u);
    // Silent rows are still probed at every pass.
    EXPECT_EQ(ProbeTimes(), ProbeTimesOfPasses(0, 61));

    Passes(1);
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_EQ(vsp.Rows()[0].back, kVspIdleBack);
    EXPECT_EQ(Cell(0, VspRow::kRemoteIpColumn), "");
    EXPECT_EQ(Cell(0, VspRow::kRemotePortColumn), "");
    EXPECT_EQ(frame.tree, QStringList{"COM5"});
    EXPECT_TRUE(frame.prompts.Texts().isEmpty());

    // An idle row is neither probed nor evaluated any more.
    Passes(3);
    EXPECT_EQ(ProbeTimes().size(), 62u);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
}

TEST_F(Supervision, AnAnswerInBetweenRestoresConnectedAndRestartsTheCount) {
    StartConnected();
    FirstEvaluation();
    Silence(true);
    Passes(30);
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");
    Silence(false);
    Passes(1);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(vsp.Rows()[0].back, kVspConnectedBack);
    EXPECT_EQ(Word("COM5"), vsppoll::kAnsweredOpen | vsppoll::kNoAnswerBit);

    Silence(true);
    Passes(60);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");
    EXPECT_EQ(service.EntryOf(5).info.connected, 1u);
    Passes(1);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
}

TEST_F(Supervision, AnswerWithZeroStateClosesThePortAtTheNextEvaluation) {
    StartConnected();
    FirstEvaluation();
    device->SetProbeByte(0);
    // The probe of the next pass is answered with 0; the evaluation after it closes.
    frame.clock.Advance(kPassMs - 1);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    frame.clock.Advance(1);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
    EXPECT_EQ(vsp.SelectedRow(), 0);
    EXPECT_EQ(vsp.Form().statusLine, "Connection closed successfully");
    EXPECT_EQ(Cell(0, VspRow::kRemoteIpColumn), "");
    EXPECT_EQ(frame.tree, QStringList{"COM5"});
    EXPECT_TRUE(frame.SavedTable().contains(" Idle 1 0 1400 COM5 # # \r\n"));
}

TEST_F(Supervision, OnlyAnAnswerCarryingTheRowsAddressCounts) {
    StartConnected();
    FirstEvaluation();
    Silence(true);
    // After the silent device's probe: an answer naming another device, and one cut short.
    frame.clock.Advance(VspSupervision::kNextProbeMs);
    SendAnswer({0x7F000063, 1});
    SendAnswer({device->Address(), 1}, VspProbeAnswer::kSize - 1);
    frame.clock.Advance(VspSupervision::kEvaluationMs);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");

    // The address at offset 34 decides, whoever sends it.
    frame.clock.Advance(VspSupervision::kNextProbeMs);
    SendAnswer({device->Address(), 1});
    frame.clock.Advance(VspSupervision::kEvaluationMs);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
}

TEST_F(Supervision, FailedDisconnectionShowsTheDatedBoxAndNothingRunsWhileItIsOpen) {
    StartConnected();
    FirstEvaluation();
    Silence(true);
    Passes(60);
    ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");
    // A terminal holds the port: the service cannot be asked to disconnect it.
    Fd tty = OpenTty(service.ComLink(5));
    ASSERT_TRUE(tty.valid());

    // While the box is open its event loop runs timers and sockets: neither the probe pass
    // nor the evaluation may be armed then, so no second box can pile up behind it.
    int boxes = 0;
    bool passArmedWhileOpen = true;
    frame.whileBoxOpen = [&] {
        ++boxes;
        PumpQuiet(kPumpMs);
        passArmedWhileOpen = frame.clock.IsRunning(&Watch(), VspSupervision::kProbeTimer) ||
                             frame.clock.IsRunning(&Watch(), VspSupervision::kEvaluationTimer);
    };
    Passes(1);
    ASSERT_EQ(boxes, 1);
    EXPECT_FALSE(passArmedWhileOpen);
    // One box: the day, hour and minute, then the port's row and the service's refusal.
    ASSERT_EQ(frame.prompts.Texts().size(), 1);
    const QRegularExpression dated(
        "^date: \\d+ hour: \\d+ min: \\d+ \r\nPortID 0 fail to do IOCTL_DISCONNECTION "
        "\\(0x5\\)\n$");
    EXPECT_TRUE(dated.match(frame.prompts.Texts()[0]).hasMatch())
        << frame.prompts.Texts()[0].toStdString();
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Disconnecting");
    EXPECT_EQ(service.EntryOf(5).info.connected, 1u);
    // Once the box is closed the next pass follows, and the disconnection is tried again.
    EXPECT_EQ(frame.clock.DueIn(&Watch(), VspSupervision::kProbeTimer),
              VspSupervision::kNextProbeMs);
    Passes(1);
    EXPECT_EQ(boxes, 2);
    EXPECT_FALSE(passArmedWhileOpen);

    tty.reset();
    Passes(1);
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Idle");
    EXPECT_EQ(boxes, 2);
}

TEST_F(Supervision, APortThatCouldNotBeProbedIsNeverAgedAndTheLogSaysWhyOnce) {
    // Another program (a second copy of this one) holds the probe port.
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress(frame.hostAddress), msg::kProbeSocketPort));
    StartConnected();
    frame.log.clear();
    FirstEvaluation();
    EXPECT_FALSE(Watch().ProbeSocketOpen());
    EXPECT_TRUE(ProbeTimes().empty());
    // Nothing was sent, so nothing is missing: the row stays connected pass after pass.
    Passes(70);
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
    EXPECT_EQ(service.EntryOf(5).info.connected, 1u);
    EXPECT_EQ(frame.log,
              QStringList{"Virtual port links are not checked: UDP port 25126 for the status "
                          "probes is taken (is another copy of the program running?)."});

    holder.close();
    Passes(1);
    EXPECT_TRUE(Watch().ProbeSocketOpen());
    EXPECT_EQ(ProbeTimes(), std::vector<int64_t>{ProbeTime(71)});
    EXPECT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
}
