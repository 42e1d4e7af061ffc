#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>

#include "devcfg/DeviceSettingFile.h"
#include "tests/devcfg/widgets/SheetFixture.h"

using namespace devrec;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// The lines of a saved file with some values replaced.
QByteArray Edited(QByteArray file, const std::map<int, QByteArray>& values) {
    QList<QByteArray> lines = file.split('\n');
    for (const auto& [line, value] : values) {
        QByteArray& text = lines[line - 1];
        text = value.leftJustified(36, ' ') + text.mid(text.indexOf("\t\t//"));
    }
    return lines.join('\n');
}

DeviceConfigRecord OtherDevice() {
    DeviceConfigRecord other = RealisticReply();
    other.Set(deviceName, QString("Station-2"));
    other.SetMacAddress({0x00, 0x0A, 0xBC, 0x00, 0x00, 0x02});
    other.Set(wifiNetworkMode, 1);
    other.Set(wifiSecurity, 0);
    other.Set(smtpUser, QString("other"));
    return other;
}

}  // namespace

class SheetFileTest : public SheetTest {
  protected:
    QString PathOf(const char* name) const { return dir.filePath(name); }

    // Saves the open sheet's pages into `name` through the Save button.
    QByteArray Save(const char* name = "saved.txt") {
        prompts.AnswerFile(PathOf(name));
        Click("save");
        return Read(PathOf(name));
    }
    void Load(const QString& path) {
        prompts.AnswerFile(path);
        Click("load");
    }
    // A second sheet, as the device manager opens one for each device.
    void Reopen(const DeviceConfigRecord& record) {
        sheet = std::make_unique<CDlgDmSetupMain>(prompts);
        Open(record);
    }

    QTemporaryDir dir;
};

TEST_F(SheetFileTest, SaveWritesSeventyLinesFromThePages) {
    Open(RealisticReply());
    Type("smtpPassword", "");
    const QByteArray file = Save();
    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(prompts.fileDialogs[0].suggestedName, "VTM5800x_Device_Setting");
    EXPECT_EQ(prompts.fileDialogs[0].filter, "VTM580x Device Setting files (*.txt)");
    EXPECT_EQ(prompts.fileDialogs[0].defaultSuffix, "txt");
    EXPECT_TRUE(file.startsWith(
        "VTM5800x_Dev_Config:V1.0.0          \t\t// (01)Device Setting File Version\r\n"));
    EXPECT_EQ(file.count("\r\n"), 70);
    EXPECT_EQ(file.count('\n'), 70);
    EXPECT_TRUE(file.contains("\r\n" + QByteArray(36, ' ') + "\t\t// (23)SMTP password\r\n"));
    EXPECT_TRUE(sheet->isVisible());  // the sheet stays open
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(SheetFileTest, RecordThroughPagesFileAndPagesComesBackAsTheSameBytes) {
    const DeviceConfigRecord reply = RealisticReply();
    Open(reply);
    Save();
    Reopen(OtherDevice());
    Load(PathOf("saved.txt"));
    ASSERT_EQ(prompts.fileDialogs.size(), 2u);
    EXPECT_EQ(prompts.fileDialogs[1].suggestedName, "VT580xx_Device_Setting");
    EXPECT_EQ(prompts.fileDialogs[1].filter, "VT580xx Device Setting files (*.txt)");
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_TRUE(prompts.shown.empty());
    // Everything comes from the file but the identity of the device the sheet was opened for
    // and the warm-start bit, which the file does not carry.
    DeviceConfigRecord expected = ExpectedCommand(reply);
    expected.SetMacAddress(OtherDevice().MacAddress());
    EXPECT_EQ(DifferingOffsets(sheet->OutgoingRecord(), expected), std::vector<int>{});
    EXPECT_EQ(Edit("macAddress")->text(), "00-0A-BC-00-00-02");
}

TEST_F(SheetFileTest, WrongVersionChangesNothing) {
    Open(RealisticReply());
    const QByteArray saved = Save();
    Reopen(OtherDevice());
    WriteFile(PathOf("v101.txt"), Edited(saved, {{1, "VTM5800x_Dev_Config:V1.0.1"}}));
    Load(PathOf("v101.txt"));
    EXPECT_EQ(ErrorTexts(), QStringList{"Device File Version Wrong"});
    EXPECT_EQ(Edit("deviceName")->text(), "Station-2");
    EXPECT_EQ(List("wifiNetworkMode")->currentIndex(), 0);
}

TEST_F(SheetFileTest, AccessPointFileLoadedIntoAStationDevice) {
    Open(RealisticReply());  // AP, WPA2_AES_PSK
    Save();
    Reopen(OtherDevice());  // station
    EXPECT_FALSE(List("wifiChannel")->isEnabled());
    Load(PathOf("saved.txt"));
    EXPECT_TRUE(List("wifiChannel")->isEnabled());
    EXPECT_EQ(List("wifiChannel")->currentText(), "6");
    EXPECT_EQ(List("wifiSecurity")->itemText(1), "WEP (Not Support)");
    EXPECT_EQ(List("wifiSecurity")->currentText(), "WPA2_AES_PSK");
}

TEST_F(SheetFileTest, AFileOfSixtyNineLinesChangesNothingAndSaysWhereItEnds) {
    Open(RealisticReply());
    QByteArray saved = Save();
    saved.truncate(saved.lastIndexOf("\r\n", saved.size() - 3) + 2);  // drop line 70
    WriteFile(PathOf("short.txt"), Edited(saved, {{2, "FromFile"}, {5, "0"}, {17, "x.lan"}}));
    Reopen(OtherDevice());
    const QString nameBefore = Edit("deviceName")->text();
    const int modeBefore = List("operationMode")->currentIndex();
    const bool channelBefore = List("wifiChannel")->isEnabled();
    Load(PathOf("short.txt"));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "The device setting file ends at line 69 of 70. Nothing was loaded.");
    EXPECT_EQ(prompts.shown[0].caption, "Error Info");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
    EXPECT_EQ(Edit("deviceName")->text(), nameBefore);
    EXPECT_EQ(List("operationMode")->currentIndex(), modeBefore);
    EXPECT_EQ(List("wifiChannel")->isEnabled(), channelBefore);
    ASSERT_TRUE(sheet->BuildRecord());  // nothing half-loaded goes out either
    EXPECT_EQ(sheet->OutgoingRecord().Get(devrec::deviceName), nameBefore);
}

TEST_F(SheetFileTest, LineSeventyWinsOverLineThirty) {
    Open(RealisticReply());
    const QByteArray saved = Save();
    WriteFile(PathOf("fw.txt"), Edited(saved, {{30, "old.bin"}, {70, "new.bin"}}));
    Load(PathOf("fw.txt"));
    EXPECT_EQ(Edit("firmwareFile")->text(), "new.bin");
}

TEST_F(SheetFileTest, AFortyCharacterUserNameLoadsWholeAndSubmitRefusesItNamingTheField) {
    Open(RealisticReply());
    const QByteArray saved = Save();
    const QByteArray forty(40, 'u');
    WriteFile(PathOf("user.txt"), Edited(saved, {{22, forty}}));
    Load(PathOf("user.txt"));
    EXPECT_EQ(Edit("smtpUser")->text(), QString(forty));
    EXPECT_EQ(Save("again.txt").count(forty + "\t\t// (22)"), 1);  // saved whole again
    const QStringList named{"User Name: Please enter no more than 36 characters."};
    EXPECT_EQ(prompts.Texts(), named);

    prompts.Clear();
    sheet->Tabs().setCurrentIndex(4);
    Click("submit");
    EXPECT_FALSE(Accepted());  // nothing is cut and sent
    EXPECT_EQ(prompts.Texts(), named);
    EXPECT_EQ(prompts.shown[0].caption, "VELTRO");
    EXPECT_EQ(sheet->Tabs().currentIndex(), 0);  // the field is shown
    EXPECT_EQ(sheet->focusWidget(), Edit("smtpUser"));

    prompts.Clear();
    Type("smtpUser", "user");
    Click("submit");
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(sheet->OutgoingRecord().Get(smtpUser), "user");
}

TEST_F(SheetFileTest, ANameWithASpaceLeavesOnlyTheFirstLine) {
    Open(RealisticReply());
    Type("deviceName", "Lab Unit");
    const QByteArray file = Save();
    EXPECT_EQ(ErrorTexts(), QStringList{" NO SPACES between the letters."});
    EXPECT_EQ(file,
              "VTM5800x_Dev_Config:V1.0.0          \t\t// (01)Device Setting File Version\r\n");
}

TEST_F(SheetFileTest, FilesThatCannotBeOpenedBeepAndNameThePath) {
    Open(RealisticReply());
    const QString unwritable = PathOf("missing/dir/x.txt");
    prompts.AnswerFile(unwritable);
    EXPECT_FALSE(sheet->SaveSettingFile());
    prompts.AnswerFile(PathOf("absent.txt"));
    EXPECT_FALSE(sheet->LoadSettingFile());
    EXPECT_EQ(prompts.beeps, 2);
    EXPECT_EQ(prompts.Texts(), QStringList({"Failed to open file" + unwritable,
                                            "Failed to open file" + PathOf("absent.txt")}));

    prompts.Clear();
    prompts.AnswerFile("");  // cancelled dialogs do nothing
    EXPECT_FALSE(sheet->LoadSettingFile());
    EXPECT_EQ(prompts.beeps, 0);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(Edit("deviceName")->text(), "Lab-Unit-07");
}

// A file of garbage: Submit lists every failed check in one box, and names the loaded firmware
// file, which no one can edit, saying to load another file.
TEST_F(SheetFileTest, AGarbageFileIsReportedInOneBoxPerKindOnSubmit) {
    Open(RealisticReply());
    const QByteArray saved = Save();
    std::map<int, QByteArray> garbage;
    for (int line = 2; line <= 70; ++line) garbage[line] = "#~garbage~#";
    garbage[70] = QByteArray(70, 'f');
    WriteFile(PathOf("garbage.txt"), Edited(saved, garbage));
    Load(PathOf("garbage.txt"));
    prompts.Clear();
    Click("submit");
    EXPECT_FALSE(Accepted());
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].text,
              "Firmware File: The text has more than 64 characters and cannot be edited here; "
              "Load a setting file with a shorter one.");
    EXPECT_EQ(prompts.shown[0].caption, "VELTRO");
    EXPECT_EQ(
        ErrorTexts(),
        QStringList({" Serial Port Stop Bits Wrong.", " Wifi Network Mode select wrong.",
                     " Wifi Channel select wrong.", setupmsg::kHiddenCurrentIp, " Static IP wrong.",
                     " Subnet Mask wrong.", " Gateway wrong.", " DNS Server wrong."}));
}
