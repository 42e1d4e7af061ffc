#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "devmgr/DmDeviceTable.h"
#include "devmgr/DmListExport.h"
#include "platform/ScriptedPrompts.h"
#include "protocol/Message.h"
#include "tests/support/FileBytes.h"

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

QString VersionOf(const QString& ip) {
    return ip == "10.0.0.1" ? QStringLiteral("V1.2 \"beta\", rc1") : QString();
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
