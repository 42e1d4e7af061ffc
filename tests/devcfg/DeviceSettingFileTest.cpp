#include <gtest/gtest.h>

#include <QList>
#include <map>

#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"
#include "tests/devcfg/SampleRecords.h"

namespace sf = settingfile;

namespace {

DeviceSetupValues Realistic() {
    DeviceSetupValues values;
    FillSetupValues(values, RealisticReply(), 0);
    return values;
}

QList<QByteArray> Lines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// A file of 70 lines whose values are given by line number; the rest are "0".
QByteArray FileWith(const std::map<int, QByteArray>& values, int lineCount = sf::kLineCount,
                    const char* lineEnd = "\r\n") {
    QByteArray file;
    for (int line = 1; line <= lineCount; ++line) {
        QByteArray value = line == 1 ? sf::kVersion : "0";
        if (auto it = values.find(line); it != values.end()) value = it->second;
        file += value + "\t\t// comment" + lineEnd;
    }
    return file;
}

}  // namespace

TEST(DeviceSettingFile, FirstLineByteForByteAndSeventyCommentedLines) {
    const sf::Written written = sf::Write(Realistic());
    ASSERT_TRUE(written.complete);
    EXPECT_TRUE(written.text.startsWith(
        "VTM5800x_Dev_Config:V1.0.0          \t\t// (01)Device Setting File Version\r\n"));
    const QList<QByteArray> lines = Lines(written.text);
    ASSERT_EQ(lines.size(), 70);
    for (int i = 0; i < 70; ++i) {
        const QByteArray& line = lines[i];
        EXPECT_TRUE(line.endsWith('\r')) << i + 1;
        const QByteArray comment = "\t\t// (" + QByteArray::number(i + 1).rightJustified(2, '0') +
                                   ")" + sf::Description(i + 1).toLatin1() + "\r";
        EXPECT_TRUE(line.endsWith(comment)) << line.toStdString();
        EXPECT_GE(line.size() - comment.size(), 36) << i + 1;
    }
}

TEST(DeviceSettingFile, EachKindOfLineIsWrittenAsItsValue) {
    DeviceSetupValues v = Realistic();
    v.smtpPassword.clear();
    v.smtpTo3 = QString("x").repeated(40);
    const QList<QByteArray> lines = Lines(sf::Write(v).text);
    auto line = [&](int n) { return lines[n - 1]; };
    auto pad = [](const QByteArray& value) { return value.leftJustified(36, ' '); };
    EXPECT_EQ(line(2), pad("Lab-Unit-07") + "\t\t// (02)Device name\r");
    EXPECT_EQ(line(3), pad("1") + "\t\t// (03)Server/Client Switch, 0: Server, 1: Client\r");
    EXPECT_EQ(line(9), pad("5001") + "\t\t// (09)Clinet destination Port\r");
    EXPECT_EQ(line(23), pad("") + "\t\t// (23)SMTP password\r");
    EXPECT_EQ(line(21), QByteArray(40, 'x') + "\t\t// (21)SMTP to address 3\r");
    EXPECT_EQ(line(40), pad("1") + "\t\t// (40)Serial Port Stop Bits, 1: 1-bit, 2: 2-bits\r");
    EXPECT_EQ(line(43), pad("2") + "\t\t// (43)Wifi Network Mode, 1: STA, 2: AP\r");
    EXPECT_EQ(line(44), pad("6") + "\t\t// (44)Wifi AP Channel : 1 ~ 14\r");
    EXPECT_EQ(line(45), pad("LabNet") + "\t\t// (45)Wifi SSID \r");
    EXPECT_EQ(line(46), pad("2") +
                            "\t\t// (46)Wifi Encrypt Mode, 0: Open, 1: WEP  (AE Mode Not "
                            "Support), 2: WPA2_AES_PSK(AP mode);WPA/WPA2_AUTO(Station mode)\r");
    EXPECT_EQ(line(49), pad("abcde") + "\t\t// (49)Wifi WEP64 Key 0 (5 charaters)\r");
    EXPECT_EQ(line(50), pad("fghij") + "\t\t// (50)Wifi WEP64 Key 1(5 charaters)\r");
    EXPECT_EQ(line(58), pad("192.168.10.100") + "\t\t// (58)DHCP IP Pool Start Address\r");
    EXPECT_EQ(line(62), pad("1440") + "\t\t// (62)DHCP Lease Time(minutes)\r");
    EXPECT_EQ(line(70), pad("vtm5800x_v2.bin") + "\t\t// (70)Firmware File Name\r");
}

TEST(DeviceSettingFile, ListsWithoutSelectionAreWrittenAsTheirRawPosition) {
    DeviceSetupValues v = Realistic();
    v.operationMode = v.baudRate = v.stopBits = v.wifiNetworkMode = v.wifiChannel = kNoSelection;
    v.timeZone = kNoSelection;
    const QList<QByteArray> lines = Lines(sf::Write(v).text);
    auto value = [&](int n) { return lines[n - 1].left(36).trimmed(); };
    EXPECT_EQ(value(5), "-1");
    EXPECT_EQ(value(37), "4294967295");
    EXPECT_EQ(value(67), "4294967295");
    EXPECT_EQ(value(40), "0");
    EXPECT_EQ(value(43), "0");
    EXPECT_EQ(value(44), "0");
}

TEST(DeviceSettingFile, ANameWithASpaceEndsTheFileAfterTheFirstLine) {
    DeviceSetupValues v = Realistic();
    v.deviceName = "Lab Unit";
    const sf::Written written = sf::Write(v);
    EXPECT_FALSE(written.complete);
    EXPECT_EQ(Lines(written.text).size(), 1);
    EXPECT_TRUE(written.text.startsWith(sf::kVersion));
}

TEST(DeviceSettingFile, ALineBreakInsideATextCannotShiftTheLinesAfterIt) {
    DeviceSetupValues v = Realistic();
    v.smtpDomain = "mail\nexample";
    v.smtpFrom = "from\rx";
    const sf::Written written = sf::Write(v);
    EXPECT_EQ(Lines(written.text).size(), 70);
    DeviceSetupValues loaded;
    ASSERT_EQ(sf::Load(written.text, loaded).result, sf::LoadResult::Loaded);
    EXPECT_EQ(loaded.smtpDomain, "mail");
    EXPECT_EQ(loaded.smtpFrom, "from");
    EXPECT_EQ(loaded.smtpTo1, v.smtpTo1);
}

TEST(DeviceSettingFile, WrittenValuesLoadBackExceptWhatTheFileDoesNotHold) {
    DeviceSetupValues v = Realistic();
    v.smtpPassword.clear();
    v.smtpUser = QString("u").repeated(40);
    v.dhcp = 1;
    v.dhcpClientFlag = true;
    DeviceSetupValues loaded;
    ASSERT_EQ(sf::Load(sf::Write(v).text, loaded).result, sf::LoadResult::Loaded);
    loaded.macAddress = v.macAddress;  // not in the file
    loaded.eventWarmStart = v.eventWarmStart;
    EXPECT_EQ(loaded, v);
}

TEST(DeviceSettingFile, ValuesEndAtBlanksAndNumbersAreReadSigned) {
    const QByteArray file = FileWith({
        {2, "Lab"},           // the comment follows after a tab
        {8, "-5"},            // negative into an unsigned number
        {9, "99999999999"},   // saturates
        {15, "12abc"},        // leading digits
        {16, ""},             // empty text
        {31, "+80"},          // sign
        {43, "-2147483648"},  // minus one must not overflow
        {44, "14"},           // channel 14 is position 13
        {37, "9"},            // no such baud rate position
        {40, "2"},            // two stop bits
        {58, "192.168.1"},    // short form
        {59, "none"},         // rejected: 255.255.255.255
        {3, "7"},             // any non-zero is Client
        {4, "5"},             // no such DHCP position, but the flag is set
    });
    DeviceSetupValues v;
    ASSERT_EQ(sf::Load(file, v).result, sf::LoadResult::Loaded);
    EXPECT_EQ(v.deviceName, "Lab");
    EXPECT_EQ(v.listenPort, 4294967291u);
    EXPECT_EQ(v.destinationPort, 2147483647u);
    EXPECT_EQ(v.transmitTimer, 12u);
    EXPECT_EQ(v.destinationHost, "");
    EXPECT_EQ(v.modbusPort, 80u);
    EXPECT_EQ(v.wifiNetworkMode, kNoSelection);
    EXPECT_EQ(v.wifiChannel, 13);
    EXPECT_EQ(v.baudRate, kNoSelection);
    EXPECT_EQ(v.stopBits, 1);
    EXPECT_EQ(v.dhcpPoolStart, 0xC0A80001u);
    EXPECT_EQ(v.dhcpPoolEnd, 0xFFFFFFFFu);
    EXPECT_TRUE(v.clientMode);
    EXPECT_EQ(v.dhcp, kNoSelection);
    EXPECT_TRUE(v.dhcpClientFlag);
}

TEST(DeviceSettingFile, ATextWithASpaceLoadsAsTheTextBeforeIt) {
    DeviceSetupValues v = Realistic();
    v.ssid = "Lab Net";
    DeviceSetupValues loaded;
    ASSERT_EQ(sf::Load(sf::Write(v).text, loaded).result, sf::LoadResult::Loaded);
    EXPECT_EQ(loaded.ssid, "Lab");
}

TEST(DeviceSettingFile, LfAndCrLfLineEndsAndALastLineWithoutOne) {
    for (const char* end : {"\n", "\r\n"}) {
        QByteArray file = FileWith({{2, "Unit"}, {70, "fw.bin"}}, 70, end);
        file.chop(static_cast<int>(strlen(end)));
        DeviceSetupValues v;
        EXPECT_EQ(sf::Load(file, v).result, sf::LoadResult::Loaded) << end;
        EXPECT_EQ(v.deviceName, "Unit");
        EXPECT_EQ(v.firmwareFile, "fw.bin");
    }
}

TEST(DeviceSettingFile, OverLongLinesAreCutWithoutMovingTheLinesAfterThem) {
    DeviceSetupValues v;
    const QByteArray huge(100000, 'n');
    ASSERT_EQ(sf::Load(FileWith({{2, huge}, {3, "1"}, {16, QByteArray(600, 'h')}}), v).result,
              sf::LoadResult::Loaded);
    EXPECT_EQ(v.deviceName.size(), sf::kMaxLineCharacters);
    EXPECT_TRUE(v.clientMode);  // line 3 is still line 3
    EXPECT_EQ(v.destinationHost.size(), sf::kMaxLineCharacters);
    EXPECT_EQ(v.firmwareFile, "0");
}

TEST(DeviceSettingFile, WrongVersionChangesNothing) {
    const DeviceSetupValues before = Realistic();
    for (const QByteArray& file :
         {FileWith({{1, "VTM5800x_Dev_Config:V1.0.1"}}), FileWith({{1, ""}}), QByteArray("x\n")}) {
        DeviceSetupValues v = before;
        EXPECT_EQ(sf::Load(file, v).result, sf::LoadResult::VersionWrong);
        EXPECT_EQ(v, before);
    }
    DeviceSetupValues v = before;
    EXPECT_EQ(sf::Load(QByteArray(), v), (sf::LoadReport{sf::LoadResult::VersionWrong, 0}));
    EXPECT_EQ(v, before);
}

TEST(DeviceSettingFile, AFileThatEndsEarlyChangesNothingAndTellsWhereItEnds) {
    const DeviceSetupValues before = Realistic();
    for (int lines : {1, 2, 35, 69}) {
        DeviceSetupValues v = before;
        QList<int> applied;
        const sf::LoadReport report = sf::Load(FileWith({{2, "Short"}, {69, "0"}}, lines), v,
                                               [&](int line) { applied << line; });
        EXPECT_EQ(report, (sf::LoadReport{sf::LoadResult::Short, lines}));
        EXPECT_EQ(v, before) << lines;
        EXPECT_TRUE(applied.isEmpty()) << lines;
    }
    EXPECT_EQ(sf::ShortFileMessage(69),
              "The device setting file ends at line 69 of 70. Nothing was loaded.");
}

TEST(DeviceSettingFile, LineSeventyWinsOverLineThirty) {
    DeviceSetupValues v;
    ASSERT_EQ(sf::Load(FileWith({{30, "old.bin"}, {70, "new.bin"}}), v).result,
              sf::LoadResult::Loaded);
    EXPECT_EQ(v.firmwareFile, "new.bin");
}

TEST(DeviceSettingFile, WhichLinesShowAtOnce) {
    QList<int> atOnce;
    for (int line = 1; line <= 70; ++line) {
        if (sf::ActsAtOnce(line)) atOnce << line;
    }
    EXPECT_EQ(atOnce, QList<int>({5,  6,  7,  24, 32, 42, 43, 44, 46, 47, 48, 49, 50, 51,
                                  52, 53, 54, 55, 56, 58, 59, 60, 61, 63, 67, 68, 69}));
}

// The command line reads each value whole and refuses what is not the value its setting
// takes, with the setup sheet's ranges: a number with anything around its digits, a position
// past its list, a switch other than 0 or 1, an address that is none, a netmask with holes, a
// text of two words. A value the device already has is taken as it is, so that an exported
// file always loads back.
TEST(DeviceSettingFile, EachValueIsReadWholeAndRefusedWithItsLineUnlessItsSettingTakesIt) {
    const DeviceSetupValues current = Realistic();
    const QByteArray exported = sf::Write(current).text;
    EXPECT_TRUE(sf::RefusedLines(exported, &current).isEmpty());
    const QString port = " is not a number from 1024 to 65535";
    struct Case {
        int line;
        QByteArray value;
        QString refused;  // after "line N (description): value"; empty when taken
    };
    const Case cases[] = {
        {8, "abc", port},
        {8, " 4003", port},
        {8, "0x1000", port},
        {8, "4002x", port},
        {8, "+4002", port},
        {8, "80", port},
        {8, "70000", port},
        {8, "4002", ""},
        {8, "4002  ", ""},  // the padding before the comment
        {9, "-1", port},
        {15, "5", " is not a number from 10 to 65535"},
        {25, "65536", " is not a number from 0 to 65535"},
        {31, "4294967296", " is not a number from 0 to 65535"},
        {33, "300", " is not a number from 0 to 255"},
        {33, "255", ""},
        {34, "5", " is not a number from 10 to 65000"},
        {35, "600", " is not a number from 10 to 500"},
        {62, "70000", " is not a number from 0 to 65535"},
        {5, "7", " is not a number from 0 to 3"},
        {5, "3", ""},
        {4, "2", " is not a number from 0 to 1"},
        {10, "1 0", " is not a number from 0 to 1"},
        {40, "0", " is not a number from 1 to 2"},
        {37, "9", " is not a number from 0 to 8"},
        {2, "a b", " NO SPACES between the letters."},
        {45, "my net", " holds a space, which this setting cannot take"},
        {7, "10.0.0", " is not an IPv4 address"},
        {12, "255.0.255.0", " is not a netmask"},
        {12, "255.255.0.0", ""},
        {13, "10.0.0.1x", " is not an IPv4 address"},
        {58, "10.0.0.300", " is not an IPv4 address"},
        {58, "10.0.0.30", ""},
        {60, "255.0.255.0", " is not a netmask"},
    };
    for (const Case& c : cases) {
        QList<QByteArray> lines = Lines(exported);
        lines[c.line - 1] = c.value + "\t\t// edited\r";
        const QStringList refused = sf::RefusedLines(lines.join('\n') + '\n', &current);
        const QString expected =
            c.refused.isEmpty()
                ? QString()
                : QStringLiteral("line %1 (%2): %3%4")
                      .arg(c.line)
                      .arg(sf::Description(c.line), QString::fromLatin1(c.value), c.refused);
        EXPECT_EQ(refused, expected.isEmpty() ? QStringList() : QStringList{expected}) << c.line;
    }
}

// What a line cannot hold is named by the writer; the checked load keeps what the device has
// where the file repeats it, so such a text survives its own export and import unchanged.
TEST(DeviceSettingFile, TextsALineCannotHoldAreNamedAndTheCheckedLoadKeepsThem) {
    DeviceSetupValues v = Realistic();
    v.deviceName = "a\nb\rc";
    v.ssid = "my net";
    const sf::Written written = sf::Write(v);
    EXPECT_EQ(written.cut, QList<int>({2, 45}));
    EXPECT_EQ(sf::FullValues(v)[1], "a\nb\rc");
    EXPECT_EQ(sf::WholeValues(written.text)[1], "a");

    DeviceSetupValues loaded = v;
    const sf::CheckedLoad same = sf::LoadWhole(written.text, loaded);
    EXPECT_EQ(same.report.result, sf::LoadResult::Loaded);
    EXPECT_TRUE(same.refused.isEmpty());
    EXPECT_EQ(loaded, v);

    QList<QByteArray> lines = Lines(written.text);
    lines[7] = "abc\t\t// edited\r";
    DeviceSetupValues refused = v;
    EXPECT_EQ(sf::LoadWhole(lines.join('\n') + '\n', refused).refused.size(), 1);
    EXPECT_EQ(refused, v);
}
