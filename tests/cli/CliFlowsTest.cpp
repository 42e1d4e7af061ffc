#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"
#include "protocol/Message.h"
#include "tests/cli/CliNet.h"

namespace {

constexpr int kNameLine = 2;
constexpr int kStaticIpLine = 7;
constexpr int kListenPortLine = 8;

// S_IFREG, S_IFIFO, S_IFCHR... of what is at `path`.
mode_t FileType(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

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
    // The device named by its MAC address, in the other separator's form.
    const CliNet::Run check =
        net.Ctl({"import", "--check", "--json", net.JsonMac(1).toUpper(), path});
    ASSERT_EQ(check.exitCode, 0) << check.err.toStdString();
    const QJsonObject planned = CliNet::JsonArray(check.out).at(0).toObject();
    EXPECT_EQ(planned["mac"].toString(), net.JsonMac(1));
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

// A device that comes back from its setup at its new static address is named there too. Its
// restart is shorter than a search: the search it came back in saw it gone at first.
TEST(CliImport, ADeviceBackAtAnotherAddressIsReportedThere) {
    CliNet net;
    CLI_START_NET(net);
    devsim::SimDevice& device = *net.Add();
    const QString old = device.AddressText();
    QTemporaryDir dir;
    const QString path = dir.filePath("device.txt");
    ASSERT_EQ(net.Ctl({"export", old, path}).exitCode, 0);
    WriteAll(path, WithLine(ReadAll(path), kStaticIpLine, "127.1.1.50"));
    const CliNet::Run moved = net.Ctl({"import", "--json", old, path});
    ASSERT_EQ(moved.exitCode, 0) << moved.err.toStdString() << moved.out.toStdString();
    EXPECT_EQ(device.AddressText(), "127.1.1.50");
    const QJsonObject result = CliNet::JsonArray(moved.out).at(0).toObject();
    EXPECT_EQ(result["ip"].toString(), old);
    EXPECT_EQ(result["now_ip"].toString(), "127.1.1.50");
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
    EXPECT_TRUE(bad.out.contains(
        "FAILED: refused: line 7 (Server static listening IP): 300.1.2.3 is not an IPv4 address"))
        << bad.out.toStdString();
    EXPECT_FALSE(bad.err.contains("300.1.2.3"));

    WriteAll(path, WithLine(good, 1, "Another_Config:V9"));
    const CliNet::Run version = net.Ctl({"import", device.AddressText(), path});
    EXPECT_EQ(version.exitCode, 1);
    EXPECT_TRUE(version.out.contains(settingfile::kVersionWrong));

    WriteAll(path, WithLine(good, kNameLine, "Cut-short").left(good.indexOf("(09)")));
    EXPECT_EQ(net.Ctl({"import", device.AddressText(), path}).exitCode, 1);

    const CliNet::Run missing = net.Ctl({"import", "127.1.1.99", path});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.contains("127.1.1.99"));

    // Each value is read whole and refused with its line unless its setting takes it, with
    // the ranges of the setup sheet; with --check too. A name too long says why.
    const struct {
        int line;
        QByteArray value;
        QString refused;
    } values[] = {
        {kListenPortLine, "abc",
         "line 8 (Server data listening Port): abc is not a number from "
         "1024 to 65535"},
        {kListenPortLine, " 4003", "line 8 (Server data listening Port):  4003 is not a number"},
        {kListenPortLine, "0x1000", "0x1000 is not a number"},
        {kListenPortLine, "4002x", "4002x is not a number"},
        {kListenPortLine, "80", "80 is not a number from 1024 to 65535"},
        {kListenPortLine, "70000", "70000 is not a number from 1024 to 65535"},
        {15, "5", "line 15 (Transmission timer): 5 is not a number from 10 to 65535"},
        {12, "255.0.255.0", "line 12 (Subnet mask IP): 255.0.255.0 is not a netmask"},
        {kNameLine, "a b", "line 2 (Device name): a b NO SPACES between the letters."},
        {kNameLine, QByteArray(17, 'N'), "Device Name: Please enter no more than 16 characters."},
    };
    for (const auto& v : values) {
        WriteAll(path, WithLine(good, v.line, v.value));
        for (const QStringList& args :
             {QStringList{"import", device.AddressText(), path},
              QStringList{"import", "--check", device.AddressText(), path}}) {
            const CliNet::Run run = net.Ctl(args);
            EXPECT_EQ(run.exitCode, 1) << v.value.toStdString();
            EXPECT_EQ(run.out.count(v.refused), 1) << run.out.toStdString();
            EXPECT_FALSE(run.err.contains(v.refused)) << run.err.toStdString();
        }
    }
    EXPECT_EQ(device.CountReceived(msg::kSetupCommand), 0);
}

// A setting file is read only when it is a regular file of a size a setting file can have:
// a device, a FIFO without a writer or a huge file is refused before anything is searched.
TEST(CliImport, RefusesUnboundedInputAtOnce) {
    CliNet net;
    CLI_START_NET(net);
    net.Add();
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = dir.filePath("huge.txt");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(1 << 20));
    }
    for (const auto& [path, reason] :
         {std::pair{QString("/dev/zero"), QString("is not a regular file")},
          std::pair{fifo, QString("is not a regular file")},
          std::pair{huge, QString("is larger than any device setting file")},
          std::pair{dir.filePath("gone.txt"), QString("Failed to open file")}}) {
        const CliNet::Run run = net.Ctl({"import", net.Ip(0), path});
        EXPECT_EQ(run.exitCode, 1) << path.toStdString();
        EXPECT_TRUE(run.err.contains(reason)) << run.err.toStdString();
    }
    EXPECT_EQ(net.sim->SearchesReceived(), 0);
}

// A name with line breaks: the file holds what a line can and the export says what it could
// not; the file imported back into the device keeps the name it repeats, changing nothing.
TEST(CliExport, ANameALineCannotHoldIsNamedAndItsOwnImportChangesNothing) {
    CliNet net;
    CLI_START_NET(net);
    devsim::DeviceProfile broken;
    broken.name = "a\nb\rc";
    net.Add(broken);
    QTemporaryDir dir;
    const QString path = dir.filePath("device.txt");
    const CliNet::Run exported = net.Ctl({"export", net.Ip(0), path});
    EXPECT_EQ(exported.exitCode, 0);
    EXPECT_TRUE(exported.out.contains("line 2 (Device name)")) << exported.out.toStdString();
    EXPECT_EQ(settingfile::LineValues(ReadAll(path)).value(1), "a");

    const CliNet::Run check = net.Ctl({"import", "--check", net.Ip(0), path});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_TRUE(check.out.contains("unchanged")) << check.out.toStdString();
    EXPECT_EQ(net.sim->Device(0).CountReceived(msg::kSetupCommand), 0);
}

// A FIFO, a device node or standard output: written into, never replaced by a regular file.
TEST(CliExport, WritesIntoAFifoADeviceOrStandardOutput) {
    CliNet net;
    CLI_START_NET(net);
    net.Add();
    QTemporaryDir dir;
    const QString regular = dir.filePath("device.txt");
    ASSERT_EQ(net.Ctl({"export", net.Ip(0), regular}).exitCode, 0);
    const QByteArray expected = ReadAll(regular);
    ASSERT_TRUE(expected.startsWith(settingfile::kVersion));

    const CliNet::Run out = net.Ctl({"export", net.Ip(0), "-"});
    EXPECT_EQ(out.exitCode, 0);
    EXPECT_EQ(out.out.toLatin1(), expected);
    EXPECT_TRUE(out.err.contains("exported to standard output"));

    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(net.Ctl({"export", net.Ip(0), fifo}).exitCode, 0);
    QByteArray got(expected.size() + 1, '\0');
    EXPECT_EQ(::read(reader, got.data(), got.size()), expected.size());
    ::close(reader);
    EXPECT_EQ(got.left(expected.size()), expected);
    EXPECT_EQ(FileType(fifo), S_IFIFO);

    // Device nodes as /dev/null and /dev/full are: what the device does with the bytes counts.
    struct Node {
        const char* name;
        unsigned minor;
        int exitCode;
    };
    for (const Node& node : {Node{"null", 3, 0}, Node{"full", 7, 1}}) {
        const QString path = dir.filePath(node.name);
        if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, node.minor)) !=
            0) {
            std::printf("no device node %s here (%s): not tried\n", node.name,
                        std::strerror(errno));
            continue;
        }
        const CliNet::Run run = net.Ctl({"export", net.Ip(0), path});
        EXPECT_EQ(run.exitCode, node.exitCode) << node.name;
        EXPECT_EQ(FileType(path), S_IFCHR) << node.name;
    }
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

    // A device named twice, by address and by MAC address, is sent its command once.
    const CliNet::Run run =
        net.Ctl({command, net.Ip(2), net.Ip(1), net.Ip(0), "127.1.1.99", net.Mac(2)});
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

// A Ctrl-C during the search that every command starts with: nothing is sent, and the line
// says so.
TEST(CliInterrupt, ACtrlCDuringTheFirstSearchSendsNothing) {
    CliNet net;
    CLI_START_NET(net);
    net.Add();
    bool interrupted = false;
    const CliNet::Run run = net.Ctl({"reboot", net.Mac(0)}, true, [&](QProcess& process) {
        if (interrupted || net.sim->Device(0).CountReceived(msg::kSearchRequest) == 0) return;
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        interrupted = true;
    });
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(run.exitCode, 130) << run.err.toStdString();
    EXPECT_EQ(run.err, "veltroctl reboot: interrupted during the search; nothing was sent\n");
    EXPECT_EQ(net.sim->Device(0).CountReceived(msg::kRebootCommand), 0);
}

}  // namespace
