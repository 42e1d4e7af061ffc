#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/SystemLog.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"

namespace {

const QByteArray kStartUpFile =
    "VELTRO Log File$"
    "1$2024-3-5--7-8-9 \r\n$Application starts successfully.$"
    "2$2024-3-5--7-8-10 \r\n$Selected network interface: 127.0.0.2$";

class SystemLogTest : public ::testing::Test {
  protected:
    // Each line is stamped one second after the one before.
    QDateTime Tick() { return start.addSecs(ticks++); }

    QString Write(const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    bool Open(const QString& path) {
        prompts.AnswerFile(path);
        return log.OpenLog();
    }
    QStringList Numbers() const {
        QStringList numbers;
        for (const LogRow& row : log.Rows()) numbers << row.number;
        return numbers;
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    QDateTime start{QDate(2024, 3, 5), QTime(7, 8, 9)};
    int ticks = 0;
    SystemLog log{prompts, [this] { return Tick(); }};
};

}  // namespace

TEST(LogTime, HasNoLeadingZerosAndEndsTheLine) {
    EXPECT_EQ(FormatLogTime({QDate(2024, 1, 2), QTime(3, 4, 5)}), "2024-1-2--3-4-5 \r\n");
    EXPECT_EQ(FormatLogTime({QDate(1999, 12, 31), QTime(23, 59, 58)}), "1999-12-31--23-59-58 \r\n");
}

TEST_F(SystemLogTest, StartUpLinesAreSavedByteForByte) {
    std::vector<int> added;
    QObject::connect(&log, &SystemLog::RowAdded, [&added](int row) { added.push_back(row); });
    log.AddStartUpLines("127.0.0.2");
    EXPECT_EQ(added, (std::vector<int>{0, 1}));

    const QString path = dir.filePath("start.log");
    prompts.AnswerFile(path);
    ASSERT_TRUE(log.SaveLog());
    EXPECT_EQ(ReadFileBytes(path), kStartUpFile);
    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(prompts.fileDialogs[0].filter, "VELTRO Log files(*.log)");
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(SystemLogTest, DollarSignsInMessagesKeepEveryRowInPlace) {
    log.AddLog("TFTP error: $1 left, cost $$");
    log.AddLog("$");
    log.AddLog("after");
    const QString path = dir.filePath("dollars.log");
    prompts.AnswerFile(path);
    ASSERT_TRUE(log.SaveLog());
    const QByteArray saved = ReadFileBytes(path);
    EXPECT_EQ(saved.count('$'), 1 + 3 * 3);  // the header's and one after each field

    const std::vector<LogRow> before = log.Rows();
    log.AddLog("dropped by the open");
    ASSERT_TRUE(Open(path));
    ASSERT_EQ(log.Rows().size(), 3u);
    EXPECT_EQ(Numbers(), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(log.Rows()[0].message,
              QString::fromUtf8("TFTP error: \uFF041 left, cost \uFF04\uFF04"));
    EXPECT_EQ(log.Rows()[1].message, QString::fromUtf8("\uFF04"));
    EXPECT_EQ(log.Rows()[2], before[2]);
    EXPECT_EQ(log.Rows()[1].time, before[1].time);
}

TEST_F(SystemLogTest, ASaveThatRunsOutOfRoomKeepsTheOldFile) {
    const QString path = Write("old.log", kStartUpFile);
    for (int i = 0; i < 200; ++i) log.AddLog("a line long enough to need more room");
    prompts.AnswerFile(path);
    {
        const FileSizeLimit limit(kStartUpFile.size());
        EXPECT_FALSE(log.SaveLog());
    }
    EXPECT_EQ(ReadFileBytes(path), kStartUpFile);
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(prompts.Texts(), QStringList{"Failed to open file" + path + "! \r\n"});
    EXPECT_EQ(prompts.shown[0].caption, "VELTRO");
}

TEST_F(SystemLogTest, FileDialogsStartInTheFolderOfTheProgramsFiles) {
    log.SetFileFolder(dir.path());
    prompts.AnswerFile({});
    prompts.AnswerFile({});
    EXPECT_FALSE(log.SaveLog());
    EXPECT_FALSE(log.OpenLog());
    ASSERT_EQ(prompts.fileDialogs.size(), 2u);
    for (const FileDialogRequest& dialog : prompts.fileDialogs)
        EXPECT_EQ(dialog.suggestedName, dir.path());
}

TEST_F(SystemLogTest, OpenedLogReplacesTheListAndNumberingGoesOn) {
    log.AddLog("old line");
    int resets = 0;
    QObject::connect(&log, &SystemLog::RowsReset, [&resets] { ++resets; });
    ASSERT_TRUE(Open(Write("start.log", kStartUpFile)));
    EXPECT_EQ(resets, 1);
    ASSERT_EQ(log.Rows().size(), 2u);
    EXPECT_EQ(log.Rows()[0],
              (LogRow{"1", "2024-3-5--7-8-9 \r\n", "Application starts successfully."}));
    EXPECT_EQ(log.Rows()[1].message, "Selected network interface: 127.0.0.2");
    log.AddLog("after the load");
    EXPECT_EQ(log.Rows().back().number, "3");
    EXPECT_TRUE(prompts.shown.empty());

    const QString again = dir.filePath("again.log");
    prompts.AnswerFile(again);
    ASSERT_TRUE(log.SaveLog());
    EXPECT_EQ(ReadFileBytes(again), kStartUpFile + "3$2024-3-5--7-8-10 \r\n$after the load$");
}

TEST_F(SystemLogTest, CorruptedFilesLeaveTheListAsItWas) {
    struct Case {
        const char* name;
        QByteArray bytes;
        int messages;
    };
    const Case cases[] = {
        {"5 bytes", "VELTR", 2},
        {"11 bytes", "VELTRO Log ", 2},
        {"13 bytes", "VELTRO Log Fi", 1},
        {"wrong 15th character", "VELTRO Log Fil_$1$t$m$", 1},
        {"other text", "Some other text that is long enough", 1},
    };
    log.AddStartUpLines("127.0.0.2");
    const auto before = log.Rows();
    for (const Case& c : cases) {
        prompts.Clear();
        const QString path = Write("bad.log", c.bytes);
        EXPECT_FALSE(Open(path)) << c.name;
        EXPECT_EQ(prompts.Texts(), QStringList(c.messages, path + " file is corrupted!\r\n"))
            << c.name;
        EXPECT_EQ(prompts.beeps, 0) << c.name;
        EXPECT_EQ(log.Rows(), before) << c.name;
    }
    log.AddLog("next");
    EXPECT_EQ(log.Rows().back().number, "3");
}

TEST_F(SystemLogTest, OversizedFileLoadsWhatItsFirst20000BytesHold) {
    QByteArray text = "VELTRO Log File$";
    int n = 0;
    while (text.size() < 25000) {
        ++n;
        text += QByteArray::number(n) + "$2024-3-5--7-8-9 \r\n$message number " +
                QByteArray::number(n) + "$";
    }
    text.truncate(25000);
    const QString path = Write("big.log", text);
    ASSERT_TRUE(Open(path));
    EXPECT_EQ(prompts.Texts(), QStringList{path + " file file size is too large!\r\n"});

    const QByteArray kept = text.left(20000);
    const qsizetype fields = kept.count('$') - 1;
    ASSERT_EQ(static_cast<qsizetype>(log.Rows().size()), (fields + 2) / 3);
    EXPECT_EQ(EncodeLogFile(log.Rows()).left(kept.lastIndexOf('$') + 1),
              kept.left(kept.lastIndexOf('$') + 1));
    EXPECT_EQ(log.LineCount(), static_cast<qint64>(log.Rows().size()));
}

TEST_F(SystemLogTest, OddNumbersInAFileNeitherCrashNorReorder) {
    struct Case {
        const char* name;
        QByteArray body;
        QStringList numbers;
        qint64 lineCount;
    };
    const Case cases[] = {
        {"header only", "", {}, 0},
        {"in order", "1$t$a$2$t$b$", {"1", "2"}, 2},
        {"past the end", "7$t$a$900$t$b$", {"7", "900"}, 900},
        {"huge", "1$t$a$99999999999$t$b$", {"1", "99999999999"}, 2147483647},
        {"negative", "-4$t$a$-1$t$b$", {"-4", "-1"}, 2},
        {"repeated", "1$t$a$1$t$b$1$t$c$", {"1", "1", "1"}, 3},
        {"out of order", "3$t$a$1$t$b$2$t$c$", {"3", "1", "2"}, 3},
        {"not a number", "x$t$a$", {"x"}, 1},
        {"cut after the time", "1$t$a$2$t", {"1", "2"}, 2},
        {"cut inside the number", "1$t$a$2", {"1"}, 1},
    };
    for (const Case& c : cases) {
        prompts.Clear();
        ASSERT_TRUE(Open(Write("odd.log", "VELTRO Log File$" + c.body))) << c.name;
        EXPECT_EQ(Numbers(), c.numbers) << c.name;
        EXPECT_EQ(log.LineCount(), c.lineCount) << c.name;
        EXPECT_TRUE(prompts.shown.empty()) << c.name;
    }
    log.AddLog("next");
    EXPECT_EQ(log.Rows().back().number, "2");
    ASSERT_TRUE(Open(Write("odd.log", "VELTRO Log File$1$t$a$2$t$")));
    EXPECT_EQ(log.Rows()[1], (LogRow{"2", "t", ""}));
}

TEST_F(SystemLogTest, FileFailuresBeepAndTellThePath) {
    log.AddLog("kept");
    const QString missing = dir.filePath("missing.log");
    EXPECT_FALSE(Open(missing));
    const QString unwritable = dir.filePath("no-folder/x.log");
    prompts.AnswerFile(unwritable);
    EXPECT_FALSE(log.SaveLog());
    EXPECT_EQ(prompts.beeps, 2);
    EXPECT_EQ(prompts.Texts(), (QStringList{"Failed to open file" + missing + "! \r\n",
                                            "Failed to open file" + unwritable + "! \r\n"}));
    EXPECT_EQ(log.Rows().size(), 1u);

    prompts.Clear();
    EXPECT_FALSE(log.SaveLog());  // cancelled dialogs do nothing
    EXPECT_FALSE(log.OpenLog());
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(log.Rows().size(), 1u);
}
