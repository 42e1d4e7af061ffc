#include <gtest/gtest.h>

#include <QJsonObject>

#include "devmgr/DmDeviceTable.h"
#include "protocol/Message.h"
#include "tests/cli/CliNet.h"

namespace {

// RFC 4180 fields: quoted fields may hold commas, quotes and line breaks.
std::vector<QStringList> ParseCsv(const QString& text) {
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            field += c;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (quoted || (c != ',' && c != '\n')) {
            field += c;
        } else if (c == ',') {
            row << field;
            field.clear();
        } else {
            rows.push_back(row << field);
            row.clear();
            field.clear();
        }
    }
    return rows;
}

// What a device sends is shown as it is in CSV and JSON, and with its control characters
// escaped in the table, so that a name cannot drive the user's terminal.
TEST(CliSearch, ListsEveryDeviceAlikeInTableCsvAndJson) {
    CliNet net;
    CLI_START_NET(net);
    // A name with a comma and a quote shows the CSV quoting.
    devsim::DeviceProfile odd;
    odd.name = "Line \"A\",2";
    odd.clientMode = true;
    odd.destinationPort = 5001;
    net.Add(odd);
    devsim::DeviceProfile hostile;
    hostile.name = QString::fromLatin1("\x1b[2J\r\nX\x9b\xe9,\"");
    hostile.listenPort = 502;
    net.Add(hostile);
    for (int i = 2; i < 5; ++i) net.Add();

    const CliNet::Run csv = net.Ctl({"search", "--format", "csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    // The low port is named with the device, once.
    const QString warning =
        QStringLiteral("%1 (%2): Port number should greater than 1024.")
            .arg(net.Ip(1), DmDeviceTable::MacText(net.sim->Device(1).StoredRecord()));
    EXPECT_EQ(csv.err.count(warning), 1) << csv.err.toStdString();
    const std::vector<QStringList> rows = ParseCsv(csv.out);
    ASSERT_EQ(rows.size(), 6u) << csv.out.toStdString();
    const QStringList header = rows[0];
    EXPECT_EQ(header, QStringList({"name", "mac", "dhcp", "ip", "port", "mode", "status"}));
    std::map<QString, QStringList> byIp;
    for (size_t i = 1; i < rows.size(); ++i) byIp[rows[i][3]] = rows[i];
    ASSERT_EQ(byIp.size(), 5u);
    EXPECT_EQ(byIp[net.Ip(0)][0], "Line \"A\",2");
    EXPECT_EQ(byIp[net.Ip(0)][4], "5001");
    EXPECT_EQ(byIp[net.Ip(0)][5], "Client");
    EXPECT_EQ(byIp[net.Ip(1)][0], hostile.name);

    // JSON: the same texts, numbers as numbers, DHCP as true or false, the MAC address in its
    // normal form; --json as every command takes it.
    const CliNet::Run json = net.Ctl({"search", "--json"});
    ASSERT_EQ(json.exitCode, 0);
    const QJsonArray array = CliNet::JsonArray(json.out);
    ASSERT_EQ(array.size(), 5);
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        const QStringList& row = byIp[object["ip"].toString()];
        ASSERT_FALSE(row.isEmpty());
        EXPECT_EQ(object["mac"].toString(), row[1].toLower().replace('-', ':'));
        EXPECT_EQ(object["port"].toInt(-1), row[4].toInt());
        EXPECT_EQ(object["dhcp"].toBool(true), row[2] == "Enable");
        for (const char* text : {"name", "ip", "mode", "status"})
            EXPECT_EQ(object[text].toString(), row[header.indexOf(text)]) << text;
    }

    const CliNet::Run table = net.Ctl({"search"});
    ASSERT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.out.count('\n'), 6);
    EXPECT_FALSE(table.out.contains('\x1b') || table.out.contains('\r') ||
                 table.out.contains(QChar(0x9b)));
    EXPECT_TRUE(table.out.contains(QString::fromLatin1("\\x1b[2J\\x0d\\x0aX\\x9b\xe9,\"")))
        << table.out.toStdString();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(table.out.contains(net.Ip(i)));
}

// A search reply that comes in while the status queries wait is listed too (it used to be
// indexed past the end of the list it came to). A status reply carries no MAC address: two
// devices that report one address are not asked, since either could answer; nor is one whose
// address names no single host. Each says why in place of the values.
TEST(CliSearch, StatusAddsTheAnswersOfDevicesAnAddressOfTheirOwnNames) {
    CliNet net;
    CLI_START_NET(net);
    devsim::DeviceProfile answering;
    answering.status = {0x31, "V2.0.1", 1234, 56};
    net.Add(answering);
    devsim::DeviceProfile deaf;
    deaf.faults.silent = true;
    deaf.faults.commands = {msg::kStatusQuery};
    net.Add(deaf);
    devsim::DeviceProfile late;
    late.faults.delayMs = 400;
    late.faults.commands = {msg::kSearchRequest};
    net.Add(late);
    devsim::DeviceProfile twin;
    twin.claimedAddress = 0x7F010164;  // 127.1.1.100, where no device lives
    twin.status.firmwareVersion = "V1.1.1";
    net.Add(twin);
    twin.status.firmwareVersion = "V2.2.2";
    net.Add(twin);
    devsim::DeviceProfile broadcast;
    broadcast.claimedAddress = 0x7FFFFFFF;
    net.Add(broadcast);

    const CliNet::Run run = net.Ctl({"search", "--status", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, QJsonObject> byMac;
    for (const QJsonValue& value : CliNet::JsonArray(run.out))
        byMac[value.toObject()["mac"].toString()] = value.toObject();
    ASSERT_EQ(byMac.size(), 6u) << run.out.toStdString();
    const QJsonObject device = byMac[net.JsonMac(0)];
    EXPECT_EQ(device["firmware"].toString(), "V2.0.1");
    EXPECT_EQ(device["modem"].toInt(), 0x31);
    EXPECT_EQ(device["tx"].toInt(), 1234);
    EXPECT_EQ(device["rx"].toInt(), 56);
    EXPECT_FALSE(device.contains("status_error"));
    const std::pair<int, QString> without[] = {
        {1, "no answer"},
        {2, "not asked: listed after the queries"},
        {3, "not asked: 2 devices report this address"},
        {4, "not asked: 2 devices report this address"},
        {5, "not asked: 127.255.255.255 is the broadcast address"},
    };
    for (const auto& [index, why] : without) {
        const QJsonObject object = byMac[net.JsonMac(index)];
        EXPECT_TRUE(object["status_error"].toString().startsWith(why)) << index;
        EXPECT_FALSE(object.contains("firmware")) << index;
    }
    EXPECT_EQ(net.sim->Device(3).CountReceived(msg::kStatusQuery), 0);
    EXPECT_EQ(net.sim->Device(4).CountReceived(msg::kStatusQuery), 0);
}

TEST(CliSearch, UsageErrorsExitTwoAndHelpExitsZero) {
    CliNet net;
    CLI_START_NET(net);
    for (const char* command : {"search", "export", "import", "reboot", "restore", "upgrade"}) {
        const CliNet::Run help = net.Ctl({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: veltroctl %1").arg(command)));
    }
    const std::vector<QStringList> wrong = {
        {"frobnicate"},
        {"search", "--format", "xml"},
        {"search", "--wait", "x"},
        {"export", "127.1.1.10"},
        {"reboot"},
        {"reboot", "not-an-address"},
        {"upgrade", "image.bin"},
        {"upgrade", "image.bin", "127.1.1.10", "--parallel", "0"},
        // Only four decimal parts or a MAC address name a device.
        {"reboot", "127.1.1"},
        {"restore", "127.1.1.10", "00:11:22:33:44"},
        {"export", "127.1.1.010", "file"},
        {"import", "localhost", "file"},
        {"upgrade", "image.bin", "127.1.1.256"},
    };
    for (const QStringList& args : wrong) {
        const CliNet::Run run = net.Ctl(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    // The namespace's loopback has two addresses: without --bind the error lists them.
    const CliNet::Run unbound = net.Ctl({"search"}, false);
    EXPECT_EQ(unbound.exitCode, 2);
    EXPECT_TRUE(unbound.err.contains("127.0.0.1") && unbound.err.contains("127.0.0.2"));
    EXPECT_TRUE(unbound.err.contains("--bind"));
    EXPECT_EQ(net.sim->SearchesReceived(), 0);

    // Each address offered is taken; a search that finds nothing is a failure.
    for (const char* host : {"127.0.0.1", "127.0.0.2"}) {
        const CliNet::Run empty = net.Ctl({"search", "--bind", host}, false);
        EXPECT_EQ(empty.exitCode, 1) << host;
        EXPECT_TRUE(empty.err.contains("No devices found!")) << empty.err.toStdString();
    }
}

}  // namespace
