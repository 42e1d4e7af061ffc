#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QScrollBar>
#include <QTextBlock>

#include "tests/support/EventPump.h"
#include "tests/terminal/widgets/ViewTerminalFixture.h"

// What the keyboard and a paste send, what Enter sends, what the log shows of control bytes and
// where it stands as lines come: against a pseudo-terminal that records every byte.
namespace {

void Press(QWidget* log, int key, const QString& text, Qt::KeyboardModifiers modifiers = {}) {
    QTest::sendKeyEvent(QTest::Click, log, static_cast<Qt::Key>(key), text, modifiers);
}

TEST_F(ViewTerminalTest, EachKeySendsWhatATerminalSends) {
    Open(0, "COM3", kBaud115200);
    TerminalLog* log = Panel(0).Log();
    log->setFocus();
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    struct Case {
        int key;
        const char* text;
        Qt::KeyboardModifiers modifiers;
        QByteArray sent;
    };
    const Case cases[] = {
        {Qt::Key_A, "a", {}, "a"},
        {Qt::Key_Space, " ", {}, " "},
        {Qt::Key_Eacute, "\u00e9", {}, "\xC3\xA9"},
        {Qt::Key_unknown, "\u20ac", {}, "\xE2\x82\xAC"},
        {Qt::Key_Return, "\r", {}, "\r"},
        {Qt::Key_Enter, "\r", Qt::KeypadModifier, "\r"},
        {Qt::Key_Backspace, "\b", {}, "\b"},
        {Qt::Key_Tab, "\t", {}, "\t"},
        {Qt::Key_Backtab, "", Qt::ShiftModifier, "\x1b[Z"},
        {Qt::Key_Escape, "\x1b", {}, "\x1b"},
        {Qt::Key_Up, "", {}, "\x1b[A"},
        {Qt::Key_Down, "", {}, "\x1b[B"},
        {Qt::Key_Right, "", {}, "\x1b[C"},
        {Qt::Key_Left, "", {}, "\x1b[D"},
        {Qt::Key_Home, "", {}, "\x1b[H"},
        {Qt::Key_End, "", {}, "\x1b[F"},
        {Qt::Key_Insert, "", {}, "\x1b[2~"},
        {Qt::Key_Delete, "", {}, "\x1b[3~"},
        {Qt::Key_PageUp, "", {}, "\x1b[5~"},
        {Qt::Key_PageDown, "", {}, "\x1b[6~"},
        // Without a selection Ctrl+C and Ctrl+A are the device's, as every Ctrl+letter.
        {Qt::Key_C, "\x03", ctrl, "\x03"},
        {Qt::Key_A, "\x01", ctrl, "\x01"},
        {Qt::Key_Z, "\x1a", ctrl, "\x1a"},
        {Qt::Key_BracketLeft, "\x1b", ctrl, "\x1b"},
        {Qt::Key_Space, "", ctrl, QByteArray(1, '\0')},
        {Qt::Key_X, "x", Qt::AltModifier, "\x1bx"},
        {Qt::Key_Up, "", Qt::AltModifier, "\x1b\x1b[A"},
    };
    for (const Case& c : cases) {
        Press(log, c.key, QString::fromUtf8(c.text), c.modifiers);
        EXPECT_EQ(com3.Read(c.sent.size()).toHex(' '), c.sent.toHex(' ')) << c.key;
    }
    // Tab went to the device, not to the next control.
    EXPECT_TRUE(log->hasFocus());
    Press(log, Qt::Key_F1, "");
    Press(log, Qt::Key_Shift, "", Qt::ShiftModifier);
    EXPECT_TRUE(com3.ReadQuiet().isEmpty());
    EXPECT_EQ(LogOf(0), "Open COM3 successfully.\n") << "typing inserts nothing";
}

TEST_F(ViewTerminalTest, CopyAndSelectAllNeedASelectionOrShiftAndPasteSendsTheText) {
    Open(0, "COM3", kBaud115200);
    TerminalLog* log = Panel(0).Log();
    log->setFocus();
    QApplication::clipboard()->clear();
    Press(log, Qt::Key_A, "\x01", Qt::ControlModifier | Qt::ShiftModifier);
    Press(log, Qt::Key_C, "\x03", Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Open COM3 successfully.\n");
    Press(log, Qt::Key_A, "\x01", Qt::ControlModifier);  // with the selection: selects all
    Press(log, Qt::Key_C, "\x03", Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(com3.ReadQuiet().isEmpty());

    // One line goes at once, its line break as Enter sends it; more lines are asked first.
    Panel(0).EnterList()->setCurrentText("CR LF");
    QApplication::clipboard()->setText("AT+GMR\n");
    Press(log, Qt::Key_V, "\x16", Qt::ControlModifier);
    EXPECT_EQ(com3.Read(8), "AT+GMR\r\n");
    Press(log, Qt::Key_Insert, "", Qt::ShiftModifier);
    EXPECT_EQ(com3.Read(8), "AT+GMR\r\n");
    QApplication::clipboard()->setText("a\nb\r\n\u00e9");
    frame.prompts.Answer(PromptAnswer::No);
    Press(log, Qt::Key_V, "\x16", Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(com3.ReadQuiet().isEmpty());
    ASSERT_EQ(frame.prompts.shown.size(), 1u);
    EXPECT_EQ(frame.prompts.shown[0].text, "Send 8 bytes (3 lines) to COM3?");
    frame.prompts.Answer(PromptAnswer::Yes);
    Press(log, Qt::Key_V, "\x16", Qt::ControlModifier);
    EXPECT_EQ(com3.Read(8), "a\r\nb\r\n\xC3\xA9");

    if (QApplication::clipboard()->supportsSelection()) {
        QApplication::clipboard()->setText("sel", QClipboard::Selection);
        QTest::mouseClick(log->viewport(), Qt::MiddleButton);
        EXPECT_EQ(com3.Read(3), "sel");
    }
}

TEST_F(ViewTerminalTest, EnterSendsTheChosenLineEndingAndLocalEchoShowsWhatWent) {
    Open(0, "COM3", kBaud115200);
    TerminalLog* log = Panel(0).Log();
    log->setFocus();
    const std::pair<const char*, QByteArray> endings[] = {
        {"CR", "\r"}, {"LF", "\n"}, {"CR LF", "\r\n"}};
    for (const auto& [text, bytes] : endings) {
        Panel(0).EnterList()->setCurrentText(QLatin1String(text));
        Key(0, Qt::Key_Return);
        EXPECT_EQ(com3.Read(bytes.size()), bytes) << text;
    }
    EXPECT_EQ(LogOf(0), "Open COM3 successfully.\n");

    Panel(0).LocalEchoBox()->click();
    Type(0, "ok");
    Key(0, Qt::Key_Return);
    Key(0, Qt::Key_Escape);
    EXPECT_EQ(com3.Read(5), "ok\r\n\x1b");
    EXPECT_EQ(LogOf(0), "Open COM3 successfully.\nok\n^[");
}

TEST_F(ViewTerminalTest, ControlBytesShowAsTheTerminalShowsThem) {
    Open(0, "COM3", kBaud115200);
    Panel(0).ClearButton()->click();
    com3.Write("ab\bc \x1b[1m\x07\x7f\x9b\tz\r\nx\n\by\b\b\bw\n");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("w\n"); })) << LogOf(0).toStdString();
    // A backspace takes back the character before it on its line, never a line end.
    EXPECT_EQ(LogOf(0), "ac ^[[1m^G^?<9B>\tz\nx\nw\n");
    for (QChar c : LogOf(0))
        EXPECT_TRUE(c == u'\n' || c == u'\t' || c.category() != QChar::Other_Control)
            << int(c.unicode());
}

// Whether the log shows its last line, as the user sees it at the bottom of the log.
bool ShowsLastLine(QPlainTextEdit* log) {
    const QTextCursor bottom = log->cursorForPosition(QPoint(0, log->viewport()->height() - 1));
    // The last block is the empty one after the last line end.
    return bottom.blockNumber() >= log->document()->blockCount() - 2;
}

TEST_F(ViewTerminalTest, TheLogFollowsItsEndUnlessTheUserScrolledUp) {
    Open(0, "COM3", kBaud115200);
    TerminalLog* log = Panel(0).Log();
    QByteArray lines;
    for (int i = 0; i < 200; ++i) lines += "line " + QByteArray::number(i) + "\r\n";
    com3.Write(lines);
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("line 199\n"); }));
    EXPECT_TRUE(ShowsLastLine(log));
    // A new size keeps the end in view, and status lines come into view as data does.
    view->resize(900, 300);
    QApplication::processEvents();
    EXPECT_TRUE(ShowsLastLine(log));
    view->resize(1600, 500);
    Panel(0).HexBox()->click();
    QApplication::processEvents();
    EXPECT_TRUE(ShowsLastLine(log));
    Panel(0).CloseButton()->click();
    EXPECT_TRUE(ShowsLastLine(log));
    Panel(0).HexBox()->click();

    // Scrolled up, the log stays where the user put it while lines come.
    Open(0, "COM3", kBaud115200);
    log->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    const int kept = log->verticalScrollBar()->value();
    EXPECT_FALSE(log->FollowsEnd());
    com3.Write("more\r\n");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("more\n"); }));
    EXPECT_EQ(log->verticalScrollBar()->value(), kept);
    EXPECT_FALSE(ShowsLastLine(log));
    // Back at the end, it follows again.
    log->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    com3.Write("last\r\n");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("last\n"); }));
    EXPECT_TRUE(ShowsLastLine(log));
}

}  // namespace
