#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/support/EventPump.h"
#include "tests/support/FileBytes.h"
#include "tests/terminal/widgets/ViewTerminalFixture.h"

// The Hex and Time boxes and Capture..., against pseudo-terminals.
namespace {

TEST_F(ViewTerminalTest, HexViewShowsEveryByteInColumns) {
    frame.settings[0].hexView = 1;  // from the settings file
    view = std::make_unique<CViewTerminal>(frame);
    view->resize(1600, 400);
    view->show();
    ASSERT_TRUE(Panel(0).HexBox()->isChecked());
    EXPECT_EQ(Panel(0).Log()->lineWrapMode(), QPlainTextEdit::NoWrap);
    Open(0, "COM3", kBaud115200);
    const QByteArray known("Hi\0\xFF\r\n", 6);
    com3.Write(known + "0123456789abcdef!");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("!\n"); }));
    // However the bytes fell into chunks, the columns hold them all in order.
    QString hex, ascii;
    for (const QString& line : LogOf(0).split('\n', Qt::SkipEmptyParts).mid(1)) {
        hex += line.left(48).remove(' ');
        ascii += line.mid(49);
    }
    EXPECT_EQ(hex,
              "486900FF0D0A30313233343536373839616263646566"
              "21");
    EXPECT_EQ(ascii, "Hi....0123456789abcdef!");

    Panel(0).HexBox()->click();
    EXPECT_EQ(Panel(0).Log()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    Panel(0).ClearButton()->click();
    com3.Write(known);
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0) == "Hi"; }));
}

// A device console at 9600 baud takes typed characters back with backspaces; the count of them
// follows what arrives also while Hex shows it.
TEST_F(ViewTerminalTest, AConsoleKeepsItsTypedCountWhileHexShowsTheBytes) {
    Open(1, "COM5", kBaud9600);
    ASSERT_FALSE(Panel(1).Controller().RawDisplay());
    Panel(1).HexBox()->click();
    Type(1, "ab");
    EXPECT_EQ(com5.Read(2), "ab");
    com5.Write("\b");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(1).endsWith("08" + QString(47, ' ') + ".\n"); }));
    EXPECT_EQ(Panel(1).Controller().TypedCount(), 1);
}

TEST_F(ViewTerminalTest, TimeStampsStartEachChunkAndIncrease) {
    Panel(0).TimeBox()->click();
    Open(0, "COM3", kBaud115200);
    Panel(0).ClearButton()->click();
    frame.clock.Advance(12 * 3600 * 1000);
    for (const char* chunk : {"one\r\n", "two", "three\r\n"}) {
        frame.clock.Advance(250);
        com3.Write(chunk);
        const QString text = QString::fromLatin1(chunk).trimmed();
        ASSERT_TRUE(PumpUntil([&] { return LogOf(0).contains(text); }));
    }
    EXPECT_EQ(LogOf(0), "[12:00:00.250] one\n[12:00:00.500] two\n[12:00:00.750] three\n");

    // A log that empties itself by its limits starts with the stamped chunk, not an empty line.
    Panel(0).TimeBox()->click();
    com3.Write(QByteArray("line\n").repeated(1500) + "open");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("\nopen"); }));
    ASSERT_GT(Panel(0).Log()->blockCount(), 1000);
    Panel(0).TimeBox()->click();
    com3.Write("four\r\n");
    ASSERT_TRUE(PumpUntil([&] { return LogOf(0).endsWith("four\n"); }));
    EXPECT_EQ(LogOf(0), "[12:00:00.750] four\n");

    // Five chunks a millisecond apart: each on its line, stamped, the stamps increasing.
    TerminalPanel& p = Panel(1);
    p.TimeBox()->click();
    Open(1, "COM5", kBaud115200);
    for (int i = 0; i < 5; ++i) {
        frame.clock.Advance(1);
        com5.Write(QByteArray::number(i) + "\r\n");
        ASSERT_TRUE(PumpUntil([&] { return p.Log()->blockCount() == i + 3; }));
    }
    const QRegularExpression stamped(R"(^\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\] (\d)$)");
    const QStringList lines = LogOf(1).split('\n', Qt::SkipEmptyParts).mid(1);
    ASSERT_EQ(lines.size(), 5);
    int previous = -1;
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = stamped.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        const int ms = QTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                             m.captured(4).toInt())
                           .msecsSinceStartOfDay();
        EXPECT_GT(ms, previous);
        previous = ms;
    }
}

TEST_F(ViewTerminalTest, CaptureHoldsEveryByteWhileTheLogIsEmptied) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bin");
    frame.prompts.AnswerFile(path);
    Open(0, "COM3", kBaud115200);
    TerminalPanel& p = Panel(0);
    p.CaptureButton()->click();
    ASSERT_TRUE(p.Controller().Capturing());
    EXPECT_TRUE(p.CaptureButton()->isChecked());
    EXPECT_TRUE(LogOf(0).endsWith("Capture to " + path + " started.\n"));

    QByteArray sent(1 << 20, '\0');
    QRandomGenerator random(19);
    random.fillRange(reinterpret_cast<quint32*>(sent.data()), sent.size() / 4);
    sent.replace(1000, 4, QByteArray("\0\r\n\0", 4));
    constexpr int kBlocks = 8;
    const qsizetype block = sent.size() / kBlocks;
    for (int i = 0; i < kBlocks; ++i) {
        com3.Write(QByteArrayView(sent).sliced(i * block, block));
        if (i % 2 == 0) p.ClearButton()->click();
    }
    ASSERT_TRUE(PumpUntil([&] { return QFileInfo(path).size() == sent.size(); }, 20000));
    EXPECT_TRUE(ReadFileBytes(path) == sent);
    EXPECT_LT(p.Log()->blockCount(), 1100) << "the log was emptied on its way";

    p.CaptureButton()->click();
    EXPECT_FALSE(p.Controller().Capturing());
    EXPECT_FALSE(p.CaptureButton()->isChecked());
    EXPECT_TRUE(LogOf(0).endsWith("Capture to " + path + " ended: 1048576 bytes.\n"));
    com3.Write("more");
    PumpQuiet(50);
    EXPECT_EQ(QFileInfo(path).size(), sent.size());

    // A cancelled dialog starts nothing; a file that cannot be written is told.
    frame.prompts.AnswerFile({});
    p.CaptureButton()->click();
    EXPECT_FALSE(p.CaptureButton()->isChecked());
    const QString unwritable = dir.filePath("missing/capture.bin");
    frame.prompts.AnswerFile(unwritable);
    p.CaptureButton()->click();
    EXPECT_FALSE(p.CaptureButton()->isChecked());
    ASSERT_EQ(frame.prompts.shown.size(), 1u);
    EXPECT_TRUE(frame.prompts.shown[0].text.startsWith("Failed to capture to " + unwritable));
}

}  // namespace
