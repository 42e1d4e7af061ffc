#include <gtest/gtest.h>

#include <QFile>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"
#include "devmgr/DmDeviceTable.h"
#include "protocol/Message.h"
#include "tests/cli/CliNet.h"

namespace {

constexpr int kNameLine = 2;
constexpr int kStaticIpLine = 7;
constexpr int kListenPortLine = 8;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The setting file with one line's value replaced; its comment stays.
QByteArray WithLine(const QByteArray& file, int line, const QByteArray& value) {
    QList<QByteArray> lines = file.split('\n');
    QByteArray& target = lines[line - 1];
    target =
        value.leftJustified(settingfile::kValueWidth, ' ') + target.mid(settingfile::kValueWidth);
    return lines.join('\n');
}

DeviceSetupValues Values(const DeviceConfigRecord& record) {
    DeviceSetupValues values;
    FillSetupValues(values, record, 0);
    return values;
}

TEST(CliImport, ExportEditCheckImportAndImportAgain) {
    CliNet net;
    CLI_START_NET(net);
    net.Add();
    devsim::SimDevice& device = *net.Add();
    QTemporaryDir dir;
    const QString path = dir.filePath("device.txt");

    const CliNet::Run exported = net.Ctl({"export", device.AddressText(), path});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const DeviceSetupValues before = Values(device.StoredRecord());
    DeviceSetupValues loaded = before;
    ASSERT_EQ(settingfile::Load(ReadAll(path), loaded).result, settingfile::LoadResult::Loaded);
    EXPECT_EQ(loaded, before);

    WriteAll(path,
             WithLine(WithLine(ReadAll(path), kNameLine, "Press-7"), kListenPortLine, "4777"));
    const CliNet::Run check = net.Ctl({"import", "--check", "--json", device.AddressText(), path});
    ASSERT_EQ(check.exitCode, 0) << check.err.toStdString();
    const QJsonObject planned = CliNet::JsonArray(check.out).at(0).toObject();
    EXPECT_EQ(planned["mac"].toString(), DmDeviceTable::MacText(device.StoredRecord()));
    const QJsonArray changes = planned["changes"].toArray();
    ASSERT_EQ(changes.size(), 2) << check.out.toStdString();
    EXPECT_TRUE(changes[0].toString().endsWith("-> Press-7"));
    EXPECT_TRUE(changes[1].toString().endsWith("-> 4777"));
    EXPECT_EQ(device.CountReceived(msg::kSetupCommand), 0);

    const CliNet::Run applied = net.Ctl({"import", device.AddressText(), path});
    ASSERT_EQ(applied.exitCode, 0) << applied.err.toStdString() << applied.out.toStdString();
    EXPECT_TRUE(applied.out.contains("changed"));
    DeviceSetupValues expected = before;
    expected.deviceName = "Press-7";
    expected.listenPort = 4777;
    EXPECT_EQ(Values(device.StoredRecord()), expected);
    const int sent = device.CountReceived(msg::kSetupCommand);
    EXPECT_GE(sent, 1);

    const CliNet::Run again = net.Ctl({"import", device.AddressText(), path});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.contains("unchanged")) << again.out.toStdString();
    EXPECT_EQ(device.CountReceived(msg::kSetupCommand), sent);
}

TEST(CliImport, RefusesABadAddressOrAWrongFileAndSendsNothing) {
    CliNet net;
    CLI_START_NET(net);
    devsim::SimDevice& device = *net.Add();
    QTemporaryDir dir;
    const QString path = dir.filePath("device.txt");
    ASSERT_EQ(net.Ctl({"export", device.AddressText(), path}).exitCode, 0);
    const QByteArray good = ReadAll(path);

    WriteAll(path, WithLine(good, kStaticIpLine, "300.1.2.3"));
    const CliNet::Run bad = net.Ctl({"import", device.AddressText(), path});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains(QString(setupmsg::kStaticIp).trimmed())) << bad.err.toStdString();
    EXPECT_TRUE(bad.out.contains("FAILED"));

    WriteAll(path, WithLine(good, 1, "Another_Config:V9"));
    const CliNet::Run version = net.Ctl({"import", device.AddressText(), path});
    EXPECT_EQ(version.exitCode, 1);
    EXPECT_TRUE(version.out.contains(settingfile::kVersionWrong));

    WriteAll(path, WithLine(good, kNameLine, "Cut-short").left(good.indexOf("(09)")));
    EXPECT_EQ(net.Ctl({"import", device.AddressText(), path}).exitCode, 1);

    const CliNet::Run missing = net.Ctl({"import", "127.1.1.99", path});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.contains("127.1.1.99"));
    EXPECT_EQ(device.CountReceived(msg::kSetupCommand), 0);
}

// One device never acknowledges: it fails, the devices listed before and after it succeed.
class CliAckFlow : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(CliAckFlow, ASilentDeviceFailsAndTheOthersSucceed) {
    const auto [command, code] = GetParam();
    CliNet net;
    CLI_START_NET(net);
    net.Add();
    devsim::DeviceProfile silent;
    silent.faults.silent = true;
    silent.faults.commands = {static_cast<uint8_t>(code)};
    net.Add(silent);
    net.Add();

    const CliNet::Run run = net.Ctl({command, net.Ip(2), net.Ip(1), net.Ip(0), "127.1.1.99"});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(net.Ip(2)) && lines[0].endsWith(" ok"));
    EXPECT_TRUE(lines[1].startsWith(net.Ip(1)) && lines[1].contains("FAILED: no acknowledgement"));
    EXPECT_TRUE(lines[2].startsWith(net.Ip(0)) && lines[2].endsWith(" ok"));
    EXPECT_TRUE(lines[3].startsWith("127.1.1.99") && lines[3].contains("FAILED"));
    // The silent device was sent the command as often as the flow resends it.
    EXPECT_EQ(net.sim->Device(1).CountReceived(code), 3);
    EXPECT_EQ(net.sim->Device(0).CountReceived(code), 1);
    EXPECT_EQ(net.sim->Device(2).CountReceived(code), 1);
}

INSTANTIATE_TEST_SUITE_P(RebootAndRestore, CliAckFlow,
                         ::testing::Values(std::pair{"reboot", int{msg::kRebootCommand}},
                                           std::pair{"restore", int{msg::kRestoreCommand}}));

TEST(CliUpgrade, ThreeDevicesAtOnceWhileOneRefuses) {
    CliNet net;
    CLI_START_NET(net, true);
    for (int i = 0; i < 3; ++i) net.Add();
    devsim::DeviceProfile refusing;
    refusing.tftpMode = devsim::TftpMode::Refuse;
    net.Add(refusing);
    QTemporaryDir dir;
    const QString image = dir.filePath("fw.bin");
    QByteArray bytes(200 * 1024 + 17, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<uint32_t*>(bytes.data()), bytes.size() / 4);
    WriteAll(image, bytes);

    const CliNet::Run run = net.Ctl({"upgrade", image, net.Ip(0), net.Ip(1), net.Ip(3), net.Ip(2),
                                     "--parallel", "3", "--json"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const QJsonArray results = CliNet::JsonArray(run.out);
    ASSERT_EQ(results.size(), 4) << run.out.toStdString();
    for (int i : {0, 1, 3}) {
        const QJsonObject result = results[i].toObject();
        EXPECT_TRUE(result["ok"].toBool()) << result["result"].toString().toStdString();
        EXPECT_FALSE(result["mac"].toString().isEmpty());
    }
    const QJsonObject refused = results[2].toObject();
    EXPECT_EQ(refused["ip"].toString(), net.Ip(3));
    EXPECT_FALSE(refused["ok"].toBool());
    EXPECT_TRUE(refused["result"].toString().contains("TFTP_ERROR"));
    EXPECT_TRUE(run.err.contains("upgraded 3 of 4 devices"));
    for (int i = 0; i < 3; ++i) {
        const auto& images = net.sim->Device(i).Images();
        ASSERT_EQ(images.size(), 1u) << i;
        EXPECT_TRUE(images[0].complete);
        EXPECT_EQ(images[0].data, bytes) << i;
    }
    EXPECT_TRUE(net.sim->Device(3).Images().at(0).data.isEmpty());
}

TEST(CliUpgrade, AnImageThatCannotBeReadFailsEveryDevice) {
    CliNet net;
    CLI_START_NET(net, true);
    net.Add();
    const CliNet::Run run = net.Ctl({"upgrade", "/nonexistent/fw.bin", net.Ip(0)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(net.Ip(0) + ": Can't open target file !!"));
    EXPECT_TRUE(net.sim->Device(0).Images().empty());
}

}  // namespace
