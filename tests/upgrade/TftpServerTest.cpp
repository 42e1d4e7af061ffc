#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <csignal>
#include <memory>

#include "platform/ManualClock.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/EventPump.h"
#include "upgrade/TftpClient.h"

// Uploads to a real TFTP server (tftpd-hpa) on loopback in the test's network namespace.
namespace {

constexpr uint32_t kLoopback = 0x7F000001;
const char* const kTftpd = "/usr/sbin/in.tftpd";

// A free UDP port on 127.0.0.1, for the server to listen on.
quint16 FreePort() {
    QUdpSocket probe;
    probe.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    return probe.localPort();
}

bool Listening(quint16 port) {
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly)) return false;
    const QByteArray local =
        QStringLiteral("0100007F:%1").arg(port, 4, 16, QChar('0')).toUpper().toLatin1();
    return table.readAll().contains(local);
}

// Empty when kTftpd is tftpd-hpa, whose options the server below is started with; another
// TFTP server (atftpd) may have installed the same path.
std::string TftpdHpaProblem() {
    QProcess version;
    version.start(kTftpd, {"-V"});
    if (version.waitForFinished() && version.exitStatus() == QProcess::NormalExit) {
        const QByteArray said =
            (version.readAllStandardOutput() + version.readAllStandardError()).trimmed();
        if (said.startsWith("tftp-hpa")) return {};
        return std::string(kTftpd) + " is not tftpd-hpa (it says \"" + said.left(80).toStdString() +
               "\"); install the tftpd-hpa package (apt-get install tftpd-hpa, as scripts/setup "
               "does), which takes that path over from another TFTP server";
    }
    return std::string(kTftpd) + " does not run (" + version.errorString().toStdString() +
           "); install the tftpd-hpa package (apt-get install tftpd-hpa, as scripts/setup does)";
}

// in.tftpd in the foreground, uploads allowed, serving a fresh directory that its unprivileged
// user can write; `options` added to its command line.
class Tftpd {
  public:
    bool Start(const QStringList& options = {}) {
        if (!root_.isValid()) return false;
        QFile::setPermissions(root_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther);
        port_ = FreePort();
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(kTftpd, QStringList{"-L", "-c", "-s", "-u", "nobody", "--address",
                                           QStringLiteral("127.0.0.1:%1").arg(port_)}
                                   << options << root_.path());
        if (!process_.waitForStarted()) return false;
        return PumpUntil(
                   [this] { return Listening(port_) || process_.state() != QProcess::Running; }) &&
               process_.state() == QProcess::Running;
    }
    ~Tftpd() {
        // Transfer children linger a few seconds after their last ACK, deaf to SIGTERM; they are
        // done once the client has seen that ACK.
        const qint64 pid = process_.processId();
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
        if (pid > 0 && children.open(QIODevice::ReadOnly)) {
            for (const QByteArray& child : children.readAll().split(' ')) {
                if (child.trimmed().toInt() > 0) ::kill(child.trimmed().toInt(), SIGKILL);
            }
        }
        process_.terminate();
        process_.waitForFinished(3000);
    }
    quint16 Port() const { return port_; }
    QByteArray Stored(const QString& name) const {
        QFile file(QDir(root_.path()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }

  private:
    QTemporaryDir root_;
    QProcess process_;
    quint16 port_ = 0;
};

QByteArray Image(qint64 size) {
    QByteArray bytes(size, '\0');
    for (qint64 i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 509) & 0xFF);
    return bytes.replace(0, 4, "QMDR");
}

// What the system log shows for one upgrade against a server that acknowledges the options.
QStringList ExpectedLog(qint64 size) {
    QStringList lines{"Send WRQ, 127.0.0.1", "TFTP_OPTION_ACK"};
    const qint64 blocks = size / 512 + 1;
    for (qint64 block = 1; block <= blocks; ++block) {
        lines
            << (block == blocks
                    ? QString("TFTP_DATA (Last) ,#BLK: %1, Len: %2").arg(block).arg(size % 512 + 4)
                    : QString("TFTP_DATA ,#BLK: %1").arg(block));
        lines << QString("TFTP_ACK ,#BLK : %1").arg(block);
    }
    lines << "TFTP_OPERATION FINISH";
    return lines;  // and the summary, whose time varies
}

TEST(TftpServer, UploadsReachTheServerByteForByte) {
    const std::string problem = TftpdHpaProblem();
    ASSERT_TRUE(problem.empty()) << problem;
    Tftpd server;
    ASSERT_TRUE(server.Start()) << "in.tftpd did not start";
    ManualClock clock;
    ScriptedPrompts prompts;
    QStringList log;
    CTftpClient client(clock, prompts, [&](const QString& line) { log << line; });
    client.SetServerPort(server.Port());
    client.SetLogEveryBlock(true);
    int finished = 0;
    QObject::connect(&client, &CTftpClient::upgradeFinished, [&] { ++finished; });
    QTemporaryDir images;

    const qint64 sizes[] = {4, 1024, 512 * 7, 1024 * 1024, 1000};
    for (qint64 size : sizes) {
        SCOPED_TRACE(size);
        const QString name = QStringLiteral("image%1.bin").arg(size);
        const QByteArray content = Image(size);
        QFile file(images.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();

        log.clear();
        const int before = finished;
        ASSERT_TRUE(client.Start(file.fileName(), kLoopback, kLoopback));
        ASSERT_TRUE(PumpUntil([&] { return !client.IsRunning(); }, 30000))
            << log.last().toStdString();
        EXPECT_EQ(finished, before + 1) << log.last().toStdString();
        EXPECT_EQ(server.Stored(name), content);
        QStringList expected = ExpectedLog(size);
        if (size == sizes[0]) expected.prepend("Create TFTP socket");
        ASSERT_FALSE(log.isEmpty());
        const QString summary = log.takeLast();
        EXPECT_EQ(log, expected);
        EXPECT_TRUE(
            summary.startsWith(QStringLiteral("TFTP upload finished: %1 bytes in ").arg(size)))
            << summary.toStdString();
        EXPECT_TRUE(summary.endsWith(", 0 retries")) << summary.toStdString();
    }
    EXPECT_EQ(clock.Now(), 0);
    EXPECT_TRUE(prompts.shown.empty());
}

// The block size asked for against the server's --blocksize: taken when it allows it, lowered
// to what it allows otherwise; the file arrives whole either way.
TEST(TftpServer, ALargerBlockSizeIsTakenOrLoweredByTheServer) {
    const std::string problem = TftpdHpaProblem();
    ASSERT_TRUE(problem.empty()) << problem;
    struct Case {
        const char* name;
        QStringList serverOptions;
        int asked;
        int used;
    };
    const Case cases[] = {
        {"accepted", {}, 1428, 1428},
        {"lowered", {"--blocksize", "1024"}, 1428, 1024},
        {"the largest", {}, 65464, 65464},
        {"below 512", {"--blocksize", "1024"}, 100, 100},
    };
    const qint64 size = 300000;
    const QByteArray content = Image(size);
    QTemporaryDir images;
    QFile file(images.filePath("big.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tftpd server;
        ASSERT_TRUE(server.Start(c.serverOptions)) << "in.tftpd did not start";
        ManualClock clock;
        ScriptedPrompts prompts;
        QStringList log;
        CTftpClient client(clock, prompts, [&](const QString& line) { log << line; });
        client.SetServerPort(server.Port());
        client.SetBlockSize(c.asked);
        bool finished = false;
        QObject::connect(&client, &CTftpClient::upgradeFinished, [&] { finished = true; });
        ASSERT_TRUE(client.Start(file.fileName(), kLoopback, kLoopback));
        ASSERT_TRUE(PumpUntil([&] { return !client.IsRunning(); }, 30000));
        EXPECT_TRUE(finished) << log.last().toStdString();
        EXPECT_EQ(server.Stored("big.bin"), content);
        EXPECT_TRUE(log.contains(QStringLiteral("TFTP_DATA (Last) ,#BLK: %1, Len: %2")
                                     .arg(size / c.used + 1)
                                     .arg(size % c.used + 4)))
            << log.join('\n').toStdString();
    }
}

}  // namespace
