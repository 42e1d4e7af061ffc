#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>

#include "tests/cli/CliNet.h"
#include "tests/support/EventPump.h"
#include "upgrade/TftpClient.h"

namespace {

// A firmware image: the family's mark, then random bytes.
QByteArray Firmware(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<uint32_t*>(bytes.data()), size / 4);
    return bytes.replace(0, 4, "QMDR");
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

QStringList Lines(const QString& text) {
    return text.split('\n', Qt::SkipEmptyParts);
}

TEST(CliUpgrade, ThreeDevicesAtOnceWhileOneRefusesEachDeviceOnce) {
    CliNet net;
    CLI_START_NET(net, true);
    for (int i = 0; i < 3; ++i) net.Add();
    devsim::DeviceProfile refusing;
    refusing.tftpMode = devsim::TftpMode::Refuse;
    net.Add(refusing);
    QTemporaryDir dir;
    const QByteArray bytes = Firmware(200 * 1024 + 17);
    const QString image = Write(dir, "fw.bin", bytes);

    // Device 0 named three times, device 1 twice: each is sent the image once.
    const CliNet::Run run =
        net.Ctl({"upgrade", image, net.Ip(0), net.Ip(1), net.Ip(3), net.Ip(2), net.Mac(0),
                 net.Ip(1), net.JsonMac(0), "--parallel", "3", "--json"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const QJsonArray results = CliNet::JsonArray(run.out);
    ASSERT_EQ(results.size(), 4) << run.out.toStdString();
    for (int i : {0, 1, 3}) {
        const QJsonObject result = results[i].toObject();
        EXPECT_TRUE(result["ok"].toBool()) << result["result"].toString().toStdString();
        EXPECT_EQ(result["result"].toString(), "upgraded");
    }
    EXPECT_EQ(results[0].toObject()["mac"].toString(), net.JsonMac(0));
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
        EXPECT_EQ(images[0].fileName, "fw.bin");
    }
    EXPECT_TRUE(net.sim->Device(3).Images().at(0).data.isEmpty());
}

// Every check of the window's firmware dialog and upgrade, before the search: exit 2 with the
// window's reason, said once, and nothing on the network.
TEST(CliUpgrade, FilesTheWindowRefusesExitTwoBeforeAnythingIsSent) {
    CliNet net;
    CLI_START_NET(net, true);
    net.Add();
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.bin");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile large(dir.filePath("large.bin"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.write("QMDR") == 4 &&
                large.resize(CTftpClient::kMaxImageSize + 1));
    large.close();
    const std::pair<QString, QString> cases[] = {
        {Write(dir, "notfw.bin", QByteArray(4096, 'X')), "It's not a correct firmware file !!"},
        {Write(dir, "empty.bin", {}), "It's not a correct firmware file !!"},
        {Write(dir, "short.bin", "QMD"), "It's not a correct firmware file !!"},
        {dir.filePath("missing.bin"), "Can't open target file !! (no such file)"},
        {fifo, "Can't open target file !! (not a regular file)"},
        {dir.path(), "Can't open target file !! (a directory)"},
        {large.fileName(), QStringLiteral("The firmware file is too large, at most %1 bytes can "
                                          "be sent !!")
                               .arg(CTftpClient::kMaxImageSize)},
    };
    for (const auto& [path, reason] : cases) {
        const CliNet::Run run = net.Ctl({"upgrade", path, net.Ip(0)});
        EXPECT_EQ(run.exitCode, 2) << path.toStdString();
        EXPECT_EQ(run.err, QStringLiteral("veltroctl upgrade: %1: %2\n").arg(path, reason));
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_EQ(net.sim->SearchesReceived(), 0);
    EXPECT_TRUE(net.sim->Device(0).Images().empty());
}

// --block-size asks each device, whose answer decides: blocks of 1428 bytes for one that
// takes them, 1024 for one that takes no more. A size out of range, or one the image needs
// too many blocks of, exits 2 before anything is sent.
TEST(CliUpgrade, TheBlockSizeAskedForIsWhatEachDeviceTakes) {
    CliNet net;
    CLI_START_NET(net, true);
    net.Add();
    devsim::DeviceProfile limited;
    limited.tftpBlockSize = 1024;
    net.Add(limited);
    QTemporaryDir dir;
    const QByteArray bytes = Firmware(100 * 1024 + 3);
    const QString image = Write(dir, "fw.bin", bytes);
    for (const char* bad : {"7", "65465", "big"}) {
        const CliNet::Run run = net.Ctl({"upgrade", image, net.Ip(0), "--block-size", bad});
        EXPECT_EQ(run.exitCode, 2) << bad;
        EXPECT_TRUE(run.err.contains("bad --block-size")) << run.err.toStdString();
    }
    const CliNet::Run tooSmall = net.Ctl({"upgrade", image, net.Ip(0), "--block-size", "3"});
    EXPECT_EQ(tooSmall.exitCode, 2);
    const QString large = Write(dir, "large.bin", Firmware(8 * 32767));
    const CliNet::Run needsTooMany = net.Ctl({"upgrade", large, net.Ip(0), "--block-size", "8"});
    EXPECT_EQ(needsTooMany.exitCode, 2);
    EXPECT_EQ(needsTooMany.err,
              QStringLiteral("veltroctl upgrade: %1: the image needs more than 32767 blocks of "
                             "8 bytes\n")
                  .arg(large));
    EXPECT_EQ(net.sim->SearchesReceived(), 0);

    const CliNet::Run run =
        net.Ctl({"upgrade", image, net.Ip(0), net.Ip(1), "--block-size", "1428"});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    for (int i : {0, 1}) {
        const auto& images = net.sim->Device(i).Images();
        ASSERT_EQ(images.size(), 1u) << i;
        EXPECT_EQ(images[0].data, bytes) << i;
        EXPECT_EQ(images[0].blockSize, i == 0 ? 1428 : 1024);
    }
}

// A device counts as upgraded once a search missed it and a later one found it again: its
// answers from before the restart prove nothing.
TEST(CliUpgrade, ADeviceIsUpgradedOnlyOnceItWasSeenGoneAndBack) {
    CliNet net;
    CLI_START_NET(net, true);
    constexpr int kNever = 600000;
    net.Add();
    devsim::DeviceProfile gone;
    gone.restartMs = kNever;
    net.Add(gone);
    devsim::DeviceProfile lateGone = gone;
    lateGone.upgradeRestartDelayMs = 25;
    net.Add(lateGone);
    devsim::DeviceProfile staying;
    staying.restartAfterUpgrade = false;
    net.Add(staying);
    QTemporaryDir dir;
    const QString image = Write(dir, "fw.bin", Firmware(4096));

    const CliNet::Run run =
        net.Ctl({"upgrade", image, net.Ip(0), net.Ip(1), net.Ip(2), net.Ip(3), "--parallel", "4"});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = Lines(run.out).mid(Lines(run.out).size() - 4);
    EXPECT_EQ(
        lines,
        (QStringList{
            net.Ip(0) + ' ' + net.Mac(0) + " upgraded",
            net.Ip(1) + ' ' + net.Mac(1) + " FAILED: did not come back after its restart",
            net.Ip(2) + ' ' + net.Mac(2) + " FAILED: did not come back after its restart",
            net.Ip(3) + ' ' + net.Mac(3) + " FAILED: answered every search: no restart seen"}))
        << run.out.toStdString();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(net.sim->Device(i).Images().at(0).complete) << i;
}

// SIGINT: no further device starts, each running transfer's server hears that it ends, and
// every device's state is printed.
TEST(CliUpgrade, AnInterruptCancelsEveryTransferAndSaysWhereEachDeviceIs) {
    CliNet net;
    CLI_START_NET(net, true);
    constexpr int kRunning = 8;
    constexpr int kDevices = 10;
    for (int i = 0; i < kDevices; ++i) net.Add();
    QTemporaryDir dir;
    const QString image = Write(dir, "fw.bin", Firmware(8 << 20));
    QStringList args{"upgrade", image};
    for (int i = 0; i < kDevices; ++i) args << net.Ip(i);
    args << "--parallel" << QString::number(kRunning);

    bool interrupted = false;
    const CliNet::Run run = net.Ctl(args, true, [&](QProcess& process) {
        if (interrupted) return;
        for (int i = 0; i < kRunning; ++i) {
            const auto& images = net.sim->Device(i).Images();
            if (images.empty() || images[0].data.isEmpty()) return;
        }
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        interrupted = true;
    });
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(run.exitCode, 130) << run.err.toStdString();
    // The servers take in what was sent to them before the program ended.
    PumpUntil([&] {
        for (int i = 0; i < kRunning; ++i)
            if (!net.sim->Device(i).Images()[0].aborted) return false;
        return true;
    });
    const QStringList lines = Lines(run.out).mid(Lines(run.out).size() - kDevices);
    for (int i = 0; i < kDevices; ++i) {
        const bool started = i < kRunning;
        EXPECT_EQ(lines.value(i), net.Ip(i) + ' ' + net.Mac(i) +
                                      (started ? " FAILED: cancelled during the transfer"
                                               : " FAILED: not started"));
        const auto& images = net.sim->Device(i).Images();
        ASSERT_EQ(images.size(), started ? 1u : 0u) << i;
        if (started) {
            EXPECT_TRUE(images[0].aborted && !images[0].complete) << i;
        }
    }
    EXPECT_TRUE(run.err.contains("upgraded 0 of 10 devices (cancelled)"));
}

}  // namespace
