#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/SettingsFile.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"

namespace {

const QByteArray kDefaultFile =
    "QMDR_VTM_v1.0.0     // (01) Setting File Format Version\r\n"
    "VELTRO_Logo         // (02) VELTRO Logo File Name\r\n"
    "VELTRO_Title        // (03) VELTRO Title File Name\r\n"
    "10                  // (04) (DM) Search Timer (100ms)\r\n"
    "15                  // (05) (DM) Reset Timer (100ms)\r\n"
    "15                  // (06) (DM) Reboot Timer (sec/unit)\r\n"
    "0                   // (07) (DM) Search After Application Start 0:disable 1:enable\r\n"
    "10                  // (08) (DM) Upgrade Timer 0:disable 1:enable\r\n"
    "0                   // (09) (VSP) Maximum Network TX Packet Size Setting 0:disable "
    "1:enable\r\n"
    "0                   // (10) (VSP) VSP Connection Status Check Function 0:disable 1:enable\r\n"
    "3                   // (11) (MON) Monitor Timer (sec)\r\n"
    "0                   // (12) (TERM1) Baud Rate 0 - 8: "
    "1200|2400|4800|9600|19200|38400|57600|115200|921600\r\n"
    "0                   // (13) (TERM1) Data Bits 0 - 3: 8|7|6|5\r\n"
    "2                   // (14) (TERM1) Parity Check 0 - 2: Odd|Even|None\r\n"
    "0                   // (15) (TERM1) Stop Bits 0 - 2: 1|1.5|2\r\n"
    "0                   // (16) (TERM1) Flow Control 0 - 2: None|Xon-Xoff|Hardware\r\n"
    "0                   // (17) (TERM1) Echo Test 0:disable 1:enable\r\n"
    "1000                // (18) (TERM1) Test Interval (ms)\r\n"
    "10                  // (19) (TERM1) Test Data Length\r\n"
    "0                   // (20) (TERM2) Baud Rate 0 - 8: "
    "1200|2400|4800|9600|19200|38400|57600|115200|921600\r\n"
    "0                   // (21) (TERM2) Data Bits 0 - 3: 8|7|6|5\r\n"
    "2                   // (22) (TERM2) Parity Check 0 - 2: Odd|Even|None\r\n"
    "0                   // (23) (TERM2) Stop Bits 0 - 2: 1|1.5|2\r\n"
    "0                   // (24) (TERM2) Flow Control 0 - 2: None|Xon-Xoff|Hardware\r\n"
    "0                   // (25) (TERM2) Echo Test 0:disable 1:enable\r\n"
    "1000                // (26) (TERM2) Test Interval (ms)\r\n"
    "10                  // (27) (TERM2) Test Data Length\r\n"
    "0.0.0.0             // (28) Current selection of local host IP address\r\n"
    "0                   // (29) (TERM1) Hex View 0:disable 1:enable\r\n"
    "0                   // (30) (TERM1) Time Stamp 0:disable 1:enable\r\n"
    "0                   // (31) (TERM2) Hex View 0:disable 1:enable\r\n"
    "0                   // (32) (TERM2) Time Stamp 0:disable 1:enable\r\n"
    "0                   // (33) (TERM1) Enter Sends 0 - 2: CR|LF|CR LF\r\n"
    "0                   // (34) (TERM1) Local Echo 0:disable 1:enable\r\n"
    "0                   // (35) (TERM2) Enter Sends 0 - 2: CR|LF|CR LF\r\n"
    "0                   // (36) (TERM2) Local Echo 0:disable 1:enable\r\n";

const QString kFormatMessage =
    "The format of application setting file has been updated with default settings!";

// The default file with line n (1-based) replaced by the given text.
QByteArray WithLine(int n, const QByteArray& line) {
    QList<QByteArray> lines = kDefaultFile.split('\n');
    lines[n - 1] = line + '\r';
    return lines.join('\n');
}

class SettingsFileTest : public ::testing::Test {
  protected:
    QString Path() const { return dir.filePath("VELTRO.dat"); }
    void Write(const QByteArray& bytes) { WriteFileBytes(Path(), bytes); }
    QByteArray Read() const { return ReadFileBytes(Path()); }
    AppSettings LoadText(const QByteArray& bytes) {
        Write(bytes);
        AppSettings settings;
        settings.monitorInterval = -99;  // Load must start from the defaults
        file.Load(settings);
        return settings;
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    SettingsFile file{prompts, Path()};
};

}  // namespace

void PrintTo(const AppSettings& settings, std::ostream* os) {
    *os << EncodeSettingsFile(settings).toStdString();
}

TEST_F(SettingsFileTest, FirstStartCreatesTheDefaultFile) {
    AppSettings settings;
    settings.dmSearchPeriod = 77;
    file.Load(settings);
    EXPECT_EQ(settings, AppSettings{});
    EXPECT_EQ(Read(), kDefaultFile);
    EXPECT_EQ(file.FullPath(), Path());
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(EncodeSettingsFile(AppSettings{}), kDefaultFile);
}

TEST_F(SettingsFileTest, SavedValuesReadBackIncludingLongValuesAgainstTheComment) {
    AppSettings changed;
    file.Load(changed);
    changed.logoFileName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // longer than the 20-character column
    changed.titleFileName = "Title_01234567890123";       // exactly 20
    changed.dmSearchPeriod = -5;
    changed.searchAtStart = 7;  // written as 1
    changed.monitorInterval = 2147483647;
    changed.terminal[1].echoTest = 1;
    changed.terminal[0].testDataLength = 4096;
    changed.hostAddress = "127.0.0.2";
    changed.terminal[0].hexView = 1;
    changed.terminal[1].timeStamp = 3;       // written as 1
    changed.terminal[1].baudRateIndex = 10;  // 460800, after the nine first rates
    changed.terminal[0].lineEnding = 2;
    changed.terminal[1].localEcho = 5;  // written as 1
    ASSERT_TRUE(file.Save(changed));

    const QByteArray text = Read();
    EXPECT_TRUE(text.contains("\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ// (02) VELTRO Logo File Name\r\n"));
    EXPECT_TRUE(text.contains("\r\nTitle_01234567890123// (03) VELTRO Title File Name\r\n"));
    EXPECT_TRUE(text.contains("\r\n1                   // (07) "));
    EXPECT_TRUE(
        text.contains("\r\n1                   // (32) (TERM2) Time Stamp 0:disable "
                      "1:enable\r\n"));
    // The new lines come after every line that other installations read.
    EXPECT_TRUE(
        text.endsWith("2                   // (33) (TERM1) Enter Sends 0 - 2: CR|LF|CR LF\r\n"
                      "0                   // (34) (TERM1) Local Echo 0:disable 1:enable\r\n"
                      "0                   // (35) (TERM2) Enter Sends 0 - 2: CR|LF|CR LF\r\n"
                      "1                   // (36) (TERM2) Local Echo 0:disable 1:enable\r\n"));

    AppSettings loaded;
    file.Load(loaded);
    AppSettings expected = changed;
    expected.searchAtStart = 1;
    expected.terminal[1].timeStamp = 1;
    expected.terminal[1].localEcho = 1;
    EXPECT_EQ(loaded, expected);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(SettingsFileTest, AnyOtherVersionGivesDefaultsAndTheFormatMessage) {
    const QByteArray versions[] = {
        "QMDR_VTM_v1.0.1     // (01) x", "qMDR_VTM_v1.0.0     // (01) x",
        "QMDR_VTM_v1.0.      // (01) x", " QMDR_VTM_v1.0.0    // (01) x",
        "QMDR_VTM_v1.0.00    // (01) x",
    };
    for (const QByteArray& version : versions) {
        prompts.Clear();
        QByteArray text = WithLine(1, version);
        text.replace("\r\n10                  // (04)", "\r\n99                  // (04)");
        EXPECT_EQ(LoadText(text), AppSettings{}) << version.constData();
        EXPECT_EQ(prompts.Texts(), QStringList{kFormatMessage}) << version.constData();
        EXPECT_EQ(Read(), text) << "the file is rewritten only at close";
    }
    prompts.Clear();
    EXPECT_EQ(LoadText(""), AppSettings{});
    EXPECT_EQ(prompts.Texts(), QStringList{kFormatMessage});
}

TEST_F(SettingsFileTest, ValuesFollowTheParseRules) {
    struct Case {
        int line;
        QByteArray text;
        AppSettings expected;
    };
    std::vector<Case> cases;
    const auto add = [&cases](int line, const QByteArray& text, auto change) {
        AppSettings expected;
        change(expected);
        cases.push_back({line, text, expected});
    };
    add(4, "    12              // (04) leading spaces",
        [](AppSettings& s) { s.dmSearchPeriod = 0; });
    add(2, "My Logo             // (02) cut at the space",
        [](AppSettings& s) { s.logoFileName = "My"; });
    add(2, "a#b$c/d\\e:f_g.h-i   // (02)",
        [](AppSettings& s) { s.logoFileName = "abcd\\e:f_g.h-i"; });
    add(5, "+25x9               // (05)", [](AppSettings& s) { s.dmRestorePeriod = 25; });
    add(5, "-25                 // (05)", [](AppSettings& s) { s.dmRestorePeriod = -25; });
    add(5, "abc                 // (05)", [](AppSettings& s) { s.dmRestorePeriod = 0; });
    add(5, "1#2                 // (05)", [](AppSettings& s) { s.dmRestorePeriod = 12; });
    add(5, "99999999999         // (05)", [](AppSettings& s) { s.dmRestorePeriod = 2147483647; });
    add(7, "5                   // (07)", [](AppSettings& s) { s.searchAtStart = 5; });
    add(28, "10.0.0.7//(28)no-space", [](AppSettings& s) { s.hostAddress = "10.0.0.728no-space"; });
    // A line without a space ends at its line feed and leaves the next line alone.
    add(3, "Title", [](AppSettings& s) { s.titleFileName = "Title"; });
    for (const Case& c : cases) {
        prompts.Clear();
        EXPECT_EQ(LoadText(WithLine(c.line, c.text)), c.expected) << c.text.constData();
        EXPECT_TRUE(prompts.shown.empty());
    }
}

TEST_F(SettingsFileTest, ShortFileKeepsDefaultsForTheMissingLines) {
    QByteArray text = kDefaultFile.left(kDefaultFile.indexOf("// (06)"));
    text.replace("\r\n15                  // (05)", "\r\n33                  // (05)");
    text += "// (06)";
    text.replace("15                  // (06)", "44");  // the last line, cut short
    const AppSettings loaded = LoadText(text);
    AppSettings expected;
    expected.dmRestorePeriod = 33;
    expected.dmRebootPeriod = 44;
    EXPECT_EQ(loaded, expected);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(SettingsFileTest, OversizedFileIsReadUpToItsLimit) {
    // Line 2 carries a comment so long that line 3 starts past the 10,000th byte.
    QByteArray text = WithLine(2, "Logo2 " + QByteArray(10000, 'c'));
    text.replace("VELTRO_Title ", "Title2       ");
    const AppSettings loaded = LoadText(text);
    EXPECT_EQ(loaded.logoFileName, "Logo2");
    EXPECT_EQ(loaded.titleFileName, "VELTRO_Title");
    EXPECT_EQ(prompts.Texts(), QStringList{"VELTRO.dat file size is too large!\r\n"});
}

TEST_F(SettingsFileTest, SaveLetsViewsCopyFirstAndLeavesNoOldTail) {
    Write(kDefaultFile + QByteArray(20000, 'x'));
    AppSettings settings;
    file.Load(settings);
    prompts.Clear();
    ASSERT_TRUE(file.Save(settings, [&settings] { settings.terminal[0].testInterval = 250; }));
    EXPECT_EQ(Read(), WithLine(18, "250                 // (18) (TERM1) Test Interval (ms)"));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(SettingsFileTest, ASaveThatRunsOutOfRoomKeepsTheOldFileAndSaysSo) {
    Write(kDefaultFile);
    AppSettings settings;
    file.Load(settings);
    prompts.Clear();
    settings.logoFileName = QString(400, 'L');  // longer than the room left
    {
        const FileSizeLimit limit(kDefaultFile.size());
        EXPECT_FALSE(file.Save(settings));
    }
    EXPECT_EQ(Read(), kDefaultFile);
    EXPECT_EQ(prompts.beeps, 1);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.startsWith("Failed to save application settings! ("));
    EXPECT_EQ(prompts.shown[0].caption, "VELTRO");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"VELTRO.dat"});
}

TEST_F(SettingsFileTest, SaveNeverCreatesTheFile) {
    AppSettings settings;
    file.Load(settings);
    QFile::remove(Path());
    bool copied = false;
    EXPECT_FALSE(file.Save(settings, [&copied] { copied = true; }));
    EXPECT_FALSE(copied);
    EXPECT_FALSE(QFile::exists(Path()));
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(prompts.Texts(),
              QStringList{"Failed to save application settings! (VELTRO.dat not found)\r\n"});
}

TEST(SettingsFileCreate, UncreatableFileBeepsAndTheProgramRunsOnDefaults) {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    SettingsFile file(prompts, dir.filePath("no-such-folder/VELTRO.dat"));
    AppSettings settings;
    settings.upgradeTimer = 1;
    file.Load(settings);
    EXPECT_EQ(settings, AppSettings{});
    EXPECT_TRUE(file.FullPath().isEmpty());
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(prompts.Texts(),
              QStringList{"Failed to create application setting fileVELTRO.dat! \r\n"});
    prompts.Clear();
    EXPECT_FALSE(file.Save(settings));
    EXPECT_EQ(prompts.beeps, 1);
}
