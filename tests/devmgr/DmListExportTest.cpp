#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "devmgr/DmDeviceTable.h"
#include "devmgr/DmListExport.h"
#include "platform/ScriptedPrompts.h"
#include "protocol/Message.h"
#include "tests/devmgr/DmTestHelpers.h"
#include "tests/support/FileBytes.h"
#include "tools/devsim/DeviceProfileText.h"

using namespace devrec;

namespace {

DeviceConfigRecord Reply(uint8_t lastMacByte, const QByteArray& name, uint32_t ip) {
    DeviceConfigRecord r;
    std::copy(msg::kMagic.begin(), msg::kMagic.end(), r.bytes().begin());
    r.Set(command, msg::kSearchReply);
    r.SetRaw(deviceName, name);
    r.SetMacAddress({0x00, 0x1A, 0xAB, 0xCD, 0xEF, lastMacByte});
    r.Set(currentIp, ip);
    r.Set(listenPort, 4001);
    return r;
}

QString VersionOf(const QString& mac) {
    return mac == "00-1A-AB-cd-ef-01" ? QStringLiteral("V1.2 \"beta\", rc1") : QString();
}

// What a spreadsheet reads from CSV: quoted fields with doubled quotes, CR LF line ends.
std::vector<QStringList> ParseCsv(const QByteArray& csv) {
    std::vector<QStringList> rows;
    QStringList fields;
    QString field;
    bool quoted = false;
    const QString text = QString::fromUtf8(csv);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += c;
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields << std::exchange(field, {});
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            fields << std::exchange(field, {});
            rows.push_back(std::exchange(fields, {}));
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.isEmpty() && fields.isEmpty()) << "the last line ends with CR LF";
    return rows;
}

}  // namespace

TEST(DmListExport, EveryRowWithItsColumnsAndTheMonitorsVersion) {
    DmDeviceTable table;
    ASSERT_TRUE(table.AddSearchReply(Reply(1, "Boiler,7", 0x0A000001u)));
    ASSERT_TRUE(table.AddSearchReply(Reply(2, "Pump", 0x0A000002u)));
    table.SetChecked(1, true);
    EXPECT_EQ(DeviceListCsv(table, VersionOf).toStdString(),
              "Checked,NO.,Device Name,MAC Address,DHCP,IP,Port,Mode,Status,Firmware Version\r\n"
              "0,1,\"Boiler,7\",00-1A-AB-cd-ef-01,Disable,10.0.0.1,4001,Server,Idle,"
              "\"V1.2 \"\"beta\"\", rc1\"\r\n"
              "1,2,Pump,00-1A-AB-cd-ef-02,Disable,10.0.0.2,4001,Server,Idle,\r\n");
}

TEST(DmListExport, WritesTheChosenFileOrSaysWhyNot) {
    QTemporaryDir dir;
    DmDeviceTable table;
    ASSERT_TRUE(table.AddSearchReply(Reply(1, "Pump", 0x0A000002u)));
    ScriptedPrompts prompts;
    for (const QString& name :
         {dir.filePath("list.csv"), dir.filePath("missing/list.csv"), QString()})
        prompts.AnswerFile(name);
    EXPECT_TRUE(ExportDeviceList(prompts, table, VersionOf));
    EXPECT_EQ(ReadFileBytes(dir.filePath("list.csv")), DeviceListCsv(table, VersionOf));
    EXPECT_FALSE(ExportDeviceList(prompts, table, VersionOf));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_TRUE(prompts.shown[0].text.startsWith("Failed to write " + dir.filePath("missing")));
    EXPECT_FALSE(ExportDeviceList(prompts, table, VersionOf));  // cancelled
    EXPECT_EQ(prompts.shown.size(), 1u);
}

using DmListExportDemo = DmFlowTest;

TEST_F(DmListExportDemo, TheDemoDevicesParseBackToTheListedRows) {
    for (const devsim::DeviceProfile& profile : devsim::DemoProfiles()) net.Add(profile);
    ListDevices();
    Tick({1, 4});
    const auto versionOf = [this](const QString& mac) {
        for (int i = 0; i < net.sim->Count(); ++i)
            if (DmDeviceTable::MacText(net.sim->Device(i).StoredRecord()) == mac)
                return net.sim->Device(i).Profile().status.firmwareVersion;
        return QString();
    };
    const DmDeviceTable& table = dm->Table();
    ASSERT_EQ(table.Count(), 6);

    const std::vector<QStringList> rows = ParseCsv(DeviceListCsv(table, versionOf));
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0].first(3), (QStringList{"Checked", "NO.", "Device Name"}));
    for (int row = 0; row < table.Count(); ++row) {
        QStringList listed{table.IsChecked(row) ? "1" : "0"};
        for (int column = DmDeviceTable::kNumberColumn; column < DmDeviceTable::kColumnCount;
             ++column)
            listed << table.CellText(row, column);
        listed << versionOf(table.CellText(row, DmDeviceTable::kMacColumn));
        EXPECT_EQ(rows[static_cast<size_t>(row) + 1], listed) << row;
    }
    EXPECT_EQ(rows[2][0], "1");
    EXPECT_EQ(rows[1][2], "Lab-Gateway");
    EXPECT_EQ(rows[1][9], "V1.6.12");
}
