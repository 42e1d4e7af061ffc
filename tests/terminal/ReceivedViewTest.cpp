#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>

#include "terminal/CaptureFile.h"
#include "terminal/ReceivedView.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"

namespace {

using namespace term;

const QTime kNoon(12, 0, 0, 5);

TEST(HexLines, SixteenBytesALineWithTheirCharacters) {
    const QByteArray bytes = QByteArray("Hello\0\xFF\r\n", 9) + "0123456789ABCDEF~\x7F";
    EXPECT_EQ(HexLines(bytes).toStdString(),
              "48 65 6C 6C 6F 00 FF 0D 0A 30 31 32 33 34 35 36  Hello....0123456\r\n"
              "37 38 39 41 42 43 44 45 46 7E 7F                 789ABCDEF~.\r\n");
    EXPECT_EQ(HexLines(QByteArray(17, 'a'), 3).toStdString(),
              "61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61  aaaaaaaaaaaaaaaa\r\n"
              "   61" +
                  std::string(47, ' ') + "a\r\n");
    EXPECT_TRUE(HexLines({}).isEmpty());
}

TEST(TimeStamp, HoursToMilliseconds) {
    EXPECT_EQ(TimeStamp(kNoon), "[12:00:00.005] ");
    EXPECT_EQ(TimeStamp(QTime(0, 1, 2, 999)), "[00:01:02.999] ");
}

TEST(ReceivedView, EachChunkAsTheBoxesSay) {
    constexpr ReceivedViewOptions kPlain{}, kTime{false, true}, kHex{true, false},
        kHexTime{true, true};
    struct Step {
        QByteArray chunk;
        QByteArray shown;
        ReceivedViewOptions options;
        QByteArray text;
        bool ownLine;
    };
    const std::vector<Step> steps = {
        {"ab", "ab", kPlain, "ab", false},
        {"cd\r", "cd\r", kTime, "[12:00:00.005] cd\r", true},
        // The LF of the split CR LF belongs to the line before.
        {"\nef", "\nef", kTime, "[12:00:00.005] ef", true},
        {"\n", "\n", kTime, "[12:00:00.005] \n", true},
        {"\r", "\r", kTime, "[12:00:00.005] \r", true},
        {"\n", "\n", kTime, "", false},
        {"", "", kTime, "", false},
        // The hex view shows every byte, whatever the plain view shows of them.
        {QByteArray("g\0h", 3), "g", kHex, "67 00 68" + QByteArray(41, ' ') + "g.h\r\n", true},
        {"i", "i", kPlain, "i", false},
        {"j", "", kHexTime, "[12:00:00.005] 6A" + QByteArray(47, ' ') + "j\r\n", true},
    };
    ReceivedView view;
    for (const Step& s : steps) {
        const ReceivedText received = view.Format(s.chunk, s.shown, s.options, kNoon);
        EXPECT_EQ(received.text.toStdString(), s.text.toStdString()) << s.chunk.toStdString();
        EXPECT_EQ(received.ownLine, s.ownLine) << s.chunk.toStdString();
    }
}

TEST(CaptureFile, WritesEveryByteUntilStoppedOrTheDiskRefuses) {
    QTemporaryDir dir;
    CaptureFile capture;
    QString error;
    EXPECT_FALSE(capture.Start(dir.filePath("missing/cap.bin"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(capture.Running());
    // A FIFO that no program reads is refused at once instead of holding the window up.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(capture.Start(fifo, &error));
    EXPECT_EQ(error, "no program reads it");

    const QString path = dir.filePath("cap.bin");
    WriteFileBytes(path, "old contents, longer than the capture");
    ASSERT_TRUE(capture.Start(path, &error));
    const QByteArray bytes("\0\r\n\xFF", 4);
    EXPECT_TRUE(capture.Write(bytes, &error));
    EXPECT_EQ(ReadFileBytes(path), bytes) << "on disk at once, the old contents gone";
    EXPECT_EQ(capture.Stop(), 4);
    EXPECT_TRUE(capture.Write("after", &error)) << "nothing to do once stopped";
    EXPECT_EQ(ReadFileBytes(path), bytes);

    ASSERT_TRUE(capture.Start(path, &error));
    {
        const FileSizeLimit limit(6);
        EXPECT_FALSE(capture.Write("0123456789", &error));
    }
    EXPECT_FALSE(capture.Running());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(capture.Written(), 6);
    EXPECT_EQ(ReadFileBytes(path), "012345");
}

}  // namespace
