#include <gtest/gtest.h>

#include <QJsonObject>

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

TEST(CliSearch, ListsEveryDeviceAlikeInTableCsvAndJson) {
    CliNet net;
    CLI_START_NET(net);
    // A name with a comma and a quote shows the CSV quoting.
    devsim::DeviceProfile odd;
    odd.name = "Line \"A\",2";
    odd.clientMode = true;
    odd.destinationPort = 5001;
    net.Add(odd);
    for (int i = 1; i < 5; ++i) net.Add();

    const CliNet::Run csv = net.Ctl({"search", "--format", "csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
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

    const CliNet::Run json = net.Ctl({"search", "--format", "json"});
    ASSERT_EQ(json.exitCode, 0);
    const QJsonArray array = CliNet::JsonArray(json.out);
    ASSERT_EQ(array.size(), 5);
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        const QStringList& row = byIp[object["ip"].toString()];
        ASSERT_FALSE(row.isEmpty());
        for (qsizetype c = 0; c < header.size(); ++c)
            EXPECT_EQ(object[header[c]].toString(), row[c]) << header[c].toStdString();
    }

    const CliNet::Run table = net.Ctl({"search"});
    ASSERT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.out.count('\n'), 6);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(table.out.contains(net.Ip(i)));
}

TEST(CliSearch, StatusAddsTheStatusQueryAnswer) {
    CliNet net;
    CLI_START_NET(net);
    devsim::DeviceProfile profile;
    profile.status = {0x31, "V2.0.1", 1234, 56};
    net.Add(profile);
    const CliNet::Run run = net.Ctl({"search", "--status", "--format", "json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject device = CliNet::JsonArray(run.out).at(0).toObject();
    EXPECT_EQ(device["firmware"].toString(), "V2.0.1");
    EXPECT_EQ(device["modem"].toString(), "0x31");
    EXPECT_EQ(device["tx"].toString(), "1234");
    EXPECT_EQ(device["rx"].toString(), "56");
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
}

}  // namespace
