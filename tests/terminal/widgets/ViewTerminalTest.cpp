#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QStandardItemModel>

#include "terminal/MyUart.h"
#include "tests/support/EventPump.h"
#include "tests/terminal/widgets/ViewTerminalFixture.h"

namespace {

TEST_F(ViewTerminalTest, StartUpScansThePortsAndTakesTheSettings) {
    for (int i = 0; i < 2; ++i) {
        TerminalPanel& p = Panel(i);
        EXPECT_EQ(p.title(), QStringLiteral("COM Terminal %1").arg(i + 1));
        QComboBox* ports = p.List(TermList::kPort);
        ASSERT_EQ(ports->count(), 2);
        EXPECT_EQ(ports->itemText(0), "COM3");
        EXPECT_EQ(ports->itemText(1), "COM5");
        EXPECT_EQ(ports->currentText(), "COM3");
        EXPECT_TRUE(p.OpenButton()->isEnabled());
        for (QWidget* off :
             {static_cast<QWidget*>(p.CloseButton()), static_cast<QWidget*>(p.PurgeButton()),
              static_cast<QWidget*>(p.AutoTestBox()), static_cast<QWidget*>(p.EchoBox())})
            EXPECT_FALSE(off->isEnabled());
        // Fixed pitch as the user sees it: narrow and wide characters take the same room.
        const QFontMetrics metrics(p.Log()->font());
        for (QChar c : QStringLiteral(".:1WM@"))
            EXPECT_EQ(metrics.horizontalAdvance(c), metrics.horizontalAdvance(u'i'))
                << c.toLatin1();
        EXPECT_EQ(p.Log()->font().pointSize(), 10);
        EXPECT_EQ(p.List(TermList::kParity)->itemText(2), "None");
        EXPECT_EQ(p.List(TermList::kFlowControl)->itemText(1), "Xon/Xoff");
        EXPECT_EQ(p.OpenButton()->toolTip(), "To open the selected com port");
        EXPECT_EQ(p.LengthEdit()->toolTip(), "To specify the data length between 11 and 1472");
    }
    // The rates rise down the list; 921600 keeps its stored index 8 after the two added.
    QStringList rates;
    for (int i = 0; i < Panel(0).List(TermList::kBaudRate)->count(); ++i)
        rates << Panel(0).List(TermList::kBaudRate)->itemText(i);
    EXPECT_EQ(rates, (QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600",
                                  "115200", "230400", "460800", "921600"}));
    EXPECT_EQ(Panel(0).List(TermList::kBaudRate)->currentText(), "1200");
    EXPECT_EQ(Panel(0).List(TermList::kParity)->currentText(), "None");
    EXPECT_EQ(Panel(1).List(TermList::kBaudRate)->currentText(), "115200");
    EXPECT_EQ(Panel(1).IntervalEdit()->text(), "1000");
}

TEST_F(ViewTerminalTest, SettingsGoBackAsTheListsAndBoxesStand) {
    Panel(0).List(TermList::kStopBits)->setCurrentIndex(2);
    Panel(0).List(TermList::kFlowControl)->setCurrentIndex(2);
    TypeInto(Panel(0).IntervalEdit(), "50");
    QTest::keyClick(Panel(0).IntervalEdit(), Qt::Key_Return);
    Panel(1).HexBox()->click();
    view->HandOverSettings();
    EXPECT_EQ(frame.settings[0], (TerminalSettings{0, 0, 2, 2, 2, 0, 50, 7}));  // 1200 baud caps
    EXPECT_EQ(frame.settings[1], (TerminalSettings{7, 0, 2, 0, 0, 0, 1000, 10, 1, 0}));

    // A stored index names its rate, wherever the list shows it; one outside the list is 1200.
    frame.settings[0].baudRateIndex = kBaud921600;
    frame.settings[0].lineEnding = 2;
    frame.settings[0].localEcho = 1;
    frame.settings[1].baudRateIndex = 11;
    frame.settings[1].lineEnding = 7;
    Panel(0).ApplySettings(frame.settings[0]);
    Panel(1).ApplySettings(frame.settings[1]);
    EXPECT_EQ(Panel(0).List(TermList::kBaudRate)->currentText(), "921600");
    EXPECT_EQ(Panel(0).EnterList()->currentText(), "CR LF");
    EXPECT_TRUE(Panel(0).LocalEchoBox()->isChecked());
    EXPECT_EQ(Panel(1).List(TermList::kBaudRate)->currentText(), "1200");
    EXPECT_EQ(Panel(1).EnterList()->currentText(), "CR");
    TerminalPanel::SelectStored(Panel(1).List(TermList::kBaudRate), kBaud460800);
    Panel(1).EnterList()->setCurrentIndex(1);
    view->HandOverSettings();
    EXPECT_EQ(frame.settings[0].baudRateIndex, kBaud921600);
    EXPECT_EQ(frame.settings[0].lineEnding, 2);
    EXPECT_EQ(frame.settings[0].localEcho, 1);
    EXPECT_EQ(frame.settings[1].baudRateIndex, kBaud460800);
    EXPECT_EQ(frame.settings[1].lineEnding, 1);
}

TEST_F(ViewTerminalTest, OpenAndCloseLogAndSwitchTheControls) {
    Panel(0).List(TermList::kDataBits)->setCurrentIndex(1);  // 7 bits: refused here
    Open(0, "COM3", kBaud115200);
    const QString refused = "Open COM3 failed! the port does not take these line settings.\n";
    EXPECT_EQ(LogOf(0), refused);
    EXPECT_FALSE(Panel(0).Controller().IsOpen());
    EXPECT_TRUE(Panel(0).OpenButton()->isEnabled());

    Panel(0).List(TermList::kDataBits)->setCurrentIndex(0);
    Open(0, "COM3", kBaud115200);
    EXPECT_EQ(LogOf(0), refused + "Open COM3 successfully.\n");
    TerminalPanel& p = Panel(0);
    EXPECT_FALSE(p.OpenButton()->isEnabled());
    for (int l = 0; l < kTermListCount; ++l)
        EXPECT_FALSE(p.List(static_cast<TermList>(l))->isEnabled());
    for (QWidget* on :
         std::initializer_list<QWidget*>{p.CloseButton(), p.PurgeButton(), p.AutoTestBox(),
                                         p.EchoBox(), p.IntervalEdit(), p.LengthEdit()})
        EXPECT_TRUE(on->isEnabled());

    com3.Write("hello\r\n");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("hello\n"); }));

    p.CloseButton()->click();
    EXPECT_TRUE(LogOf(0).endsWith("hello\nCOM3 closed.\n"));
    EXPECT_TRUE(p.OpenButton()->isEnabled());
    EXPECT_FALSE(p.CloseButton()->isEnabled());
    EXPECT_TRUE(PortOpens("COM3"));
    p.ClearButton()->click();
    EXPECT_EQ(LogOf(0), "");
}

// What the user sees of the port list: each entry's text, and whether it can be chosen.
QStringList Entries(QComboBox* list) {
    QStringList entries;
    const auto* model = qobject_cast<QStandardItemModel*>(list->model());
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i) + (model->item(i)->isEnabled() ? "" : " [disabled]");
    return entries;
}

TEST_F(ViewTerminalTest, APortInUseIsShownHeldAndNotOpened) {
    Open(0, "COM3", kBaud115200);
    ASSERT_TRUE(Panel(0).Controller().IsOpen());
    QComboBox* ports = Panel(1).List(TermList::kPort);
    ports->showPopup();
    ports->hidePopup();
    EXPECT_EQ(Entries(ports), (QStringList{"COM3 (in use) [disabled]", "COM5"}));
    EXPECT_EQ(ports->currentText(), "COM5");
    Open(1, "COM3", kBaud115200);
    EXPECT_TRUE(LogOf(1).startsWith("Open COM3 failed! ")) << LogOf(1).toStdString();
    EXPECT_GT(LogOf(1).size(), QString("Open COM3 failed! .\n").size()) << "with a reason";

    // The virtual serial port view's two requests.
    ports->clear();
    view->RefreshIdlePortLists();
    EXPECT_EQ(ports->count(), 2);
    EXPECT_EQ(Panel(0).List(TermList::kPort)->currentText(), "COM3");
    EXPECT_FALSE(view->ClosePortByName("COM9"));
    EXPECT_TRUE(view->ClosePortByName("COM3"));
    EXPECT_FALSE(Panel(0).Controller().IsOpen());
    view->RefreshIdlePortLists();
    EXPECT_EQ(Entries(ports), (QStringList{"COM3", "COM5"}));

    // A port that the service lists as held by another program; the scan opens none, so the
    // holder's session is left alone.
    frame.heldPorts = {"COM3", "COM5"};
    view->RefreshIdlePortLists();
    EXPECT_EQ(Entries(ports),
              (QStringList{"COM3 (in use) [disabled]", "COM5 (in use) [disabled]"}));
    EXPECT_FALSE(Panel(1).OpenButton()->isEnabled());
}

// The list shows at once; the service's answer marks what it holds when it comes, keeping the
// user's choice, and an answer for a view that is gone is dropped.
TEST_F(ViewTerminalTest, TheServicesWordOnHeldPortsFollowsTheList) {
    frame.answerHeldLater = true;
    QComboBox* ports = Panel(1).List(TermList::kPort);
    ports->setCurrentIndex(1);
    view->RefreshIdlePortLists();
    EXPECT_EQ(Entries(ports), (QStringList{"COM3", "COM5"}));
    EXPECT_EQ(Panel(1).SelectedPort(), "COM5");
    ASSERT_EQ(frame.pendingHeld.size(), 2u);
    frame.pendingHeld[1]({"COM3"});
    EXPECT_EQ(Entries(ports), (QStringList{"COM3 (in use) [disabled]", "COM5"}));
    EXPECT_EQ(Panel(1).SelectedPort(), "COM5");
    frame.pendingHeld[0]({"COM5"});
    EXPECT_EQ(Panel(0).SelectedPort(), "COM3");

    view->RefreshIdlePortLists();
    view.reset();
    for (const auto& answer : frame.pendingHeld) answer({"COM3"});
}

TEST_F(ViewTerminalTest, CloseByNameStopsAutoTestFirst) {
    Open(1, "COM5", kBaud115200);
    Panel(1).AutoTestBox()->click();
    ASSERT_TRUE(frame.clock.IsRunning(&Panel(1).Controller(), 2));
    EXPECT_TRUE(view->ClosePortByName("COM5"));
    EXPECT_FALSE(frame.clock.IsRunning(&Panel(1).Controller(), 2));
    EXPECT_FALSE(Panel(1).AutoTestBox()->isChecked());
    EXPECT_TRUE(Panel(1).IntervalEdit()->isEnabled());
    EXPECT_TRUE(LogOf(1).endsWith("COM5 closed.\n"));
}

TEST_F(ViewTerminalTest, AutoTestSendsTheCycleOnTheTimer) {
    Open(1, "COM5", kBaud115200);
    TypeInto(Panel(1).LengthEdit(), "5");
    Panel(1).AutoTestBox()->click();  // commits the edit first
    EXPECT_EQ(frame.log, QStringList{"COM5 Auto Test function starts."});
    for (QWidget* off :
         std::initializer_list<QWidget*>{Panel(1).PurgeButton(), Panel(1).EchoBox(),
                                         Panel(1).IntervalEdit(), Panel(1).LengthEdit()})
        EXPECT_FALSE(off->isEnabled());
    EXPECT_TRUE(Panel(1).CloseButton()->isEnabled());
    EXPECT_EQ(com5.Read(7), "00000\r\n");
    EXPECT_EQ(frame.clock.PeriodOf(&Panel(1).Controller(), 2), 1000);
    frame.clock.Advance(63 * 1000);
    const QByteArray cycle = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QByteArray expected;
    for (int i = 1; i < 64; ++i) expected += QByteArray(5, cycle[i % cycle.size()]) + "\r\n";
    EXPECT_EQ(com5.Read(expected.size()), expected);

    Panel(1).AutoTestBox()->click();
    EXPECT_EQ(frame.log.last(), "COM5 Auto Test function stoped.");
    frame.clock.Advance(5000);
    EXPECT_TRUE(com5.ReadQuiet().isEmpty());
    EXPECT_TRUE(Panel(1).CloseButton()->isEnabled());
}

TEST_F(ViewTerminalTest, TxValuesApplyWhenTheEditIsFinished) {
    TerminalPanel& p = Panel(0);  // 1200 baud from the settings
    TypeInto(p.IntervalEdit(), "50");
    EXPECT_EQ(p.IntervalEdit()->text(), "50");
    QTest::keyClick(p.IntervalEdit(), Qt::Key_Return);
    EXPECT_EQ(p.IntervalEdit()->text(), "50");
    EXPECT_EQ(p.LengthEdit()->text(), "7");  // 1200 * 50 / 8000

    TypeInto(p.IntervalEdit(), "10");
    p.LengthEdit()->setFocus();  // focus leaving finishes the edit
    EXPECT_EQ(p.LengthEdit()->text(), "1");
    TypeInto(p.IntervalEdit(), "5");
    QTest::keyClick(p.IntervalEdit(), Qt::Key_Enter);
    EXPECT_EQ(p.IntervalEdit()->text(), "10");

    // Open applies the limits of the chosen baud rate.
    TypeInto(p.LengthEdit(), "3000");
    Open(0, "COM3", kBaud115200);
    EXPECT_EQ(p.LengthEdit()->text(), "144");  // 115200 * 10 / 8000
}

TEST_F(ViewTerminalTest, EchoSendsBackAtALineEndOrAfterASecond) {
    Open(0, "COM3", kBaud115200);
    Panel(0).EchoBox()->click();
    EXPECT_TRUE(Panel(0).CloseButton()->isEnabled()) << "Close Port always closes";
    EXPECT_FALSE(Panel(0).AutoTestBox()->isEnabled());
    com3.Write("abc");
    EXPECT_TRUE(com3.ReadQuiet().isEmpty());
    com3.Write("\r");
    EXPECT_EQ(com3.Read(4), "abc\r");

    com3.Write("de");
    EXPECT_TRUE(com3.ReadQuiet().isEmpty());
    frame.clock.Advance(1000);
    EXPECT_EQ(com3.Read(2), "de");

    // Every received byte goes back, zero bytes too; the log stops at the zero.
    const QByteArray withZero("x\0y\n", 4);
    Panel(0).Log()->clear();
    com3.Write(withZero);
    EXPECT_EQ(com3.Read(4), withZero);
    EXPECT_EQ(LogOf(0), "x");
}

TEST_F(ViewTerminalTest, EchoOfALongFloodLosesNothingAndReportsWhatDidNotFit) {
    Open(0, "COM3", kBaud115200);
    Panel(0).EchoBox()->click();
    // Writing never discards what has arrived: lines keep Echo writing while bytes come in.
    QByteArray lines;
    for (int i = 0; lines.size() < 256 * 1024; ++i)
        lines += QByteArray::number(i).rightJustified(15, '.') + "\n";
    com3.Write(lines);
    EXPECT_EQ(com3.Read(lines.size(), 20000), lines);
    EXPECT_FALSE(LogOf(0).contains("not sent"));

    // 12000 bytes without a line end, then one: the queue takes 11792 of the 12001.
    const QByteArray block(12000, 'z');
    com3.Write(block);
    EXPECT_TRUE(com3.ReadQuiet().isEmpty());
    com3.Write("\n");
    EXPECT_EQ(com3.Read(CMyUart::kTxCapacity), block.first(CMyUart::kTxCapacity));
    EXPECT_TRUE(com3.ReadQuiet().isEmpty());
    EXPECT_TRUE(LogOf(0).contains("209 bytes not sent: transmit buffer full\n"));
}

TEST_F(ViewTerminalTest, NineThousandSixHundredOnARealPortIsAConsole) {
    frame.virtualPorts = {"COM3"};
    Open(0, "COM3", kBaud9600);
    EXPECT_TRUE(Panel(0).Controller().RawDisplay());
    com3.Write("a\r");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("a\n"); }));

    Open(1, "COM5", kBaud9600);
    EXPECT_FALSE(Panel(1).Controller().RawDisplay());
    Panel(1).Log()->clear();
    Type(1, "ab");
    EXPECT_EQ(com5.Read(2), "ab");
    for (const QByteArray& chunk :
         {QByteArray("ab"), QByteArray("\b"), QByteArray(" "), QByteArray("\r")}) {
        com5.Write(chunk);
        PumpQuiet(30);
    }
    EXPECT_EQ(LogOf(1), "ab");
    Panel(1).CloseButton()->click();
    Open(1, "COM5", kBaud115200);
    EXPECT_FALSE(Panel(1).Controller().RawDisplay()) << "console mode stays for the run";
}

TEST_F(ViewTerminalTest, CloseAlwaysClosesAndStopsAutoTestAndEcho) {
    Open(0, "COM3", kBaud115200);
    Panel(0).AutoTestBox()->click();
    Panel(0).CloseButton()->click();
    EXPECT_FALSE(Panel(0).Controller().IsOpen());
    EXPECT_FALSE(Panel(0).AutoTestBox()->isChecked());
    EXPECT_FALSE(frame.clock.IsRunning(&Panel(0).Controller(), 1));
    EXPECT_EQ(frame.log.last(), "COM3 Auto Test function stoped.");

    Open(0, "COM3", kBaud115200);
    Panel(0).EchoBox()->click();
    Panel(0).CloseButton()->click();
    EXPECT_FALSE(Panel(0).Controller().IsOpen());
    EXPECT_FALSE(Panel(0).EchoBox()->isChecked());
    EXPECT_TRUE(LogOf(0).endsWith("COM3 closed.\n"));
}

TEST_F(ViewTerminalTest, APortWhoseDeviceGoesAwayClosesAndSaysWhy) {
    Open(0, "COM3", kBaud115200);
    Panel(0).AutoTestBox()->click();
    com3.End();
    ASSERT_TRUE(PumpUntil([&] { return !Panel(0).Controller().IsOpen(); }));
    EXPECT_TRUE(LogOf(0).endsWith("\nCOM3 closed: the device was disconnected.\n"))
        << LogOf(0).toStdString();
    EXPECT_TRUE(Panel(0).OpenButton()->isEnabled());
    EXPECT_FALSE(Panel(0).CloseButton()->isEnabled());
    EXPECT_FALSE(Panel(0).AutoTestBox()->isChecked());
    EXPECT_FALSE(frame.clock.IsRunning(&Panel(0).Controller(), 1));
}

TEST_F(ViewTerminalTest, TheDataLogEmptiesBeyondAThousandLines) {
    Open(0, "COM3", kBaud115200);
    // The limit is looked at before each insertion: 1500 lines stay, the next chunk empties.
    com3.Write(QByteArray("line\n").repeated(1500));
    PumpQuiet(200);
    EXPECT_EQ(Panel(0).Log()->blockCount(), 1502);
    com3.Write("next\n");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("next\n"); }));
    EXPECT_EQ(LogOf(0), "next\n");
}

TEST_F(ViewTerminalTest, DestroyingTheViewClosesItsPorts) {
    Open(0, "COM3", kBaud115200);
    Open(1, "COM5", kBaud115200);
    view.reset();
    EXPECT_TRUE(PortOpens("COM3"));
    EXPECT_TRUE(PortOpens("COM5"));
}

}  // namespace
