#include <gtest/gtest.h>

#include "terminal/TerminalRules.h"

namespace {

using namespace term;

TEST(TxLimits, ClampThenCapByTheBytesOneIntervalCarries) {
    struct Case {
        qint64 interval, length;
        int baud;
        TxValues expected;
    };
    const Case cases[] = {
        {10, 10, 1200, {10, 1}},  // 1200 * 10 / 8000 = 1
        {1000, 1472, 115200, {1000, 1472}},
        {1000, 2000, 115200, {1000, 1472}},
        {9, 0, 115200, {10, 1}},
        {0, 5, 921600, {10, 5}},
        {100001, 1473, 921600, {100000, 1472}},
        {50, 100, 9600, {50, 60}},  // 9600 * 50 / 8000 = 60
        {-5, -5, 1200, {10, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ApplyTxLimits(c.interval, c.length, c.baud), c.expected)
            << c.interval << " " << c.length << " " << c.baud;
}

TEST(AutoTestPattern, LinesCycleThroughDigitsAndLetters) {
    AutoTestPattern pattern;
    QByteArray lines = pattern.Start(5);
    for (int i = 1; i < 64; ++i) lines += pattern.Next(5);
    const QByteArray cycle = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QByteArray expected;
    for (int i = 0; i < 64; ++i) expected += QByteArray(5, cycle[i % cycle.size()]) + "\r\n";
    EXPECT_EQ(lines, expected);
    // A new start begins at 0 again.
    EXPECT_EQ(pattern.Start(1), "0\r\n");
    EXPECT_EQ(pattern.Next(1), "1\r\n");
}

TEST(EchoBuffer, KeepsWholeChunksAndReportsLineEnds) {
    EchoBuffer echo;
    EXPECT_FALSE(echo.Append("abc"));
    EXPECT_FALSE(echo.Append(QByteArray("d\0e", 3)));
    EXPECT_TRUE(echo.Append("f\rg"));
    EXPECT_EQ(echo.Take(), QByteArray("abcd\0ef\rg", 9));
    EXPECT_TRUE(echo.IsEmpty());
    EXPECT_TRUE(echo.Append("\n"));
}

TEST(DisplayPart, StopsAtTheFirstZeroByte) {
    EXPECT_EQ(DisplayPart(QByteArray("ab\0cd", 5)), "ab");
    EXPECT_EQ(DisplayPart("abc"), "abc");
    EXPECT_EQ(DisplayPart(QByteArray("\0a", 2)), "");
}

TEST(ConsoleInput, TypingAndTheDisplayShareTheTypedCount) {
    struct Typed {
        QByteArray keys;
        QByteArray consoleSends;  // in console mode; outside it every byte goes
        int typedAfter;
    };
    const Typed typing[] = {
        {"\b", "", 0},
        {" ", " ", 1},
        {"!", "!", 2},
        {"\x7f", "\x7f", 3},
        {"\xC3\xA9", "\xC3\xA9", 4},  // one character, two bytes
        {"\t", "\t", 4},
        {"\x1b[A", "\x1b[A", 4},  // an arrow moves, adds nothing
        {"\b", "\b", 4},
        {"\r", "\r", 0},
        {"\b", "", 0},
        {"ab\n", "ab\n", 0},
    };
    ConsoleInput console;
    ConsoleInput raw;
    for (const Typed& t : typing) {
        EXPECT_EQ(console.Typed(t.keys, true), t.consoleSends) << t.keys.toHex().toStdString();
        EXPECT_EQ(console.TypedCount(), t.typedAfter) << t.keys.toHex().toStdString();
        EXPECT_EQ(raw.Typed(t.keys, false), t.keys);
    }
}

TEST(ConsoleInput, DisplayJudgesAChunkByItsFirstByte) {
    ConsoleInput console;
    console.Typed("xy", true);
    struct Step {
        QByteArray chunk;
        QByteArray shown;
    };
    const Step steps[] = {
        {"xy", "xy"},   {"\r", ""},  // CR after a printable: nothing
        {"\n", ""},                  // LF never shows
        {"\r", "\r\n"},              // CR after LF shows one line end
        {"\r", "\r\n"},              // and after CR
        {"\b", ""},                  // typed 2 -> 1
        {" ", ""},                   // space after backspace while typed > 0
        {" x", " x"},                // space after space shows
        {"\b", ""},                  // typed 1 -> 0
        {" ", " "},                  // typed 0: the space shows
        {"\b \b", ""},               // judged by its first byte
    };
    for (const Step& s : steps)
        EXPECT_EQ(console.Display(s.chunk), s.shown) << s.chunk.toStdString();
    EXPECT_EQ(console.TypedCount(), 0);
}

TEST(LogLimits, StatusAndDataLinesAndCharacters) {
    EXPECT_FALSE(LogNeedsEmptying(LogKind::kStatus, 2000, 60000));
    EXPECT_TRUE(LogNeedsEmptying(LogKind::kStatus, 2001, 10));
    EXPECT_FALSE(LogNeedsEmptying(LogKind::kData, 1000, 10));
    EXPECT_TRUE(LogNeedsEmptying(LogKind::kData, 1001, 10));
    EXPECT_TRUE(LogNeedsEmptying(LogKind::kData, 1, 60001));
    EXPECT_TRUE(LogNeedsEmptying(LogKind::kStatus, 1, 60001));
}

TEST(LogText, EachLineEndMakesOneLineAlsoWhenCrLfIsSplit) {
    bool afterCr = false;
    EXPECT_EQ(LogText("a\r\nb\rc\nd\r", &afterCr), QStringLiteral("a\nb\nc\nd\n"));
    EXPECT_EQ(LogText("\ne\n\n", &afterCr), QStringLiteral("e\n\n"));
    EXPECT_EQ(LogText("\xE9", &afterCr), QString(QChar(0xE9)));
    // Control bytes show as a terminal shows them; a backspace stays for the log to apply.
    EXPECT_EQ(LogText(QByteArray("\x1b[0m\x07\x7f\x00\x9b\x80\ta\bb", 13), &afterCr),
              QStringLiteral("^[[0m^G^?^@<9B><80>\ta\bb"));
}

TEST(LineEnding, StoredValuesAndTheirBytes) {
    EXPECT_EQ(LineEndingBytes(LineEndingAt(0)), "\r");
    EXPECT_EQ(LineEndingBytes(LineEndingAt(1)), "\n");
    EXPECT_EQ(LineEndingBytes(LineEndingAt(2)), "\r\n");
    EXPECT_EQ(LineEndingAt(3), LineEnding::kCr);
    EXPECT_EQ(LineEndingAt(-1), LineEnding::kCr);
}

}  // namespace
