#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <set>

#include "platform/ManualClock.h"
#include "tests/devsim/HostSocket.h"

using namespace devsim;

namespace {

constexpr uint32_t kBase = 0x7F00500A;  // 127.0.80.10

QByteArray Z(const char* text) {
    return QByteArray(text) + QByteArray(1, '\0');
}
QByteArray Wrq(const QByteArray& name, const QByteArray& mode,
               const std::vector<std::pair<const char*, const char*>>& options = {}) {
    QByteArray p("\0\x02", 2);
    p += Z(name.constData()) + Z(mode.constData());
    for (const auto& [key, value] : options) p += Z(key) + Z(value);
    return p;
}
QByteArray Packet(uint16_t opcode, uint16_t second, const QByteArray& rest = {}) {
    QByteArray p(4, '\0');
    p[0] = static_cast<char>(opcode >> 8);
    p[1] = static_cast<char>(opcode);
    p[2] = static_cast<char>(second >> 8);
    p[3] = static_cast<char>(second);
    return p + rest;
}
QByteArray Ack(uint16_t block) {
    return Packet(4, block);
}
QByteArray Data(uint16_t block, const QByteArray& payload) {
    return Packet(3, block, payload);
}

// A TFTP client made of single packets, so each answer can be checked byte for byte.
class PacketClient {
  public:
    PacketClient() { socket_.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0); }
    void Send(const QByteArray& p, uint32_t address, uint16_t port) {
        socket_.writeDatagram(p, QHostAddress(address), port);
    }
    // The next datagram, or an empty one when none comes.
    QNetworkDatagram Next() {
        if (!PumpUntil([&] { return socket_.hasPendingDatagrams(); }, 2000)) return {};
        return socket_.receiveDatagram();
    }
    bool Quiet() {
        PumpQuiet();
        return !socket_.hasPendingDatagrams();
    }

  private:
    QUdpSocket socket_;
};

class TftpServerTest : public ::testing::Test {
  protected:
    SimDevice& Add(TftpMode mode = TftpMode::OptionAck, int blockSizeLimit = kMaxTftpBlockSize,
                   int ackDelayMs = 0) {
        DeviceProfile profile = DefaultProfile(sim.Count());
        profile.tftpMode = mode;
        profile.tftpBlockSize = blockSizeLimit;
        profile.tftpAckDelayMs = ackDelayMs;
        SimDevice* d = sim.AddDevice(profile);
        EXPECT_NE(d, nullptr);
        EXPECT_TRUE(d->TftpOpen());
        return *d;
    }

    ManualClock clock;
    DeviceSimulator sim{clock, TestOptions(kBase)};
    PacketClient client;
};

}  // namespace

TEST_F(TftpServerTest, OptionsAreAcknowledgedAndTheImageIsStoredBlockByBlock) {
    SimDevice& d = Add();
    const QByteArray image = QByteArray("QMDR") + QByteArray(1026, 'x');
    client.Send(Wrq("fw.bin", "octet", {{"blksize", "512"}, {"tsize", "1030"}}), d.Address(),
                kTestTftpPort);
    const QNetworkDatagram oack = client.Next();
    EXPECT_EQ(oack.data(),
              QByteArray("\0\x06", 2) + Z("blksize") + Z("512") + Z("tsize") + Z("1030"));
    EXPECT_EQ(oack.senderAddress().toIPv4Address(), d.Address());
    const uint16_t tid = static_cast<uint16_t>(oack.senderPort());
    EXPECT_NE(tid, kTestTftpPort);  // a transfer runs on a port of its own

    client.Send(Data(1, image.left(512)), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(1));
    client.Send(Data(1, image.left(512)), d.Address(), tid);  // our ACK was "lost"
    EXPECT_EQ(client.Next().data(), Ack(1));
    client.Send(Data(2, image.mid(512, 512)), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(2));
    EXPECT_FALSE(d.IsRestarting());
    client.Send(Data(3, image.mid(1024)), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(3));

    ASSERT_EQ(d.Images().size(), 1u);
    const ReceivedImage& got = d.Images()[0];
    EXPECT_TRUE(got.complete);
    EXPECT_EQ(got.data, image);
    EXPECT_EQ(got.fileName, "fw.bin");
    EXPECT_EQ(got.tsize, 1030);
    EXPECT_EQ(got.blockSize, 512);
    EXPECT_TRUE(d.IsRestarting());  // a whole image makes the device restart

    // While it restarts a new request gets nothing; the old transfer still acknowledges.
    client.Send(Wrq("fw2.bin", "octet"), d.Address(), kTestTftpPort);
    client.Send(Data(3, image.mid(1024)), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(3));
    EXPECT_TRUE(client.Quiet());
    EXPECT_EQ(d.Images().size(), 1u);
}

TEST_F(TftpServerTest, AnEmptyImageEndsWithOneEmptyBlock) {
    SimDevice& d = Add();
    client.Send(Wrq("empty.bin", "octet", {{"blksize", "512"}, {"tsize", "0"}}), d.Address(),
                kTestTftpPort);
    const QNetworkDatagram oack = client.Next();
    client.Send(Data(1, {}), d.Address(), static_cast<uint16_t>(oack.senderPort()));
    EXPECT_EQ(client.Next().data(), Ack(1));
    ASSERT_EQ(d.Images().size(), 1u);
    EXPECT_TRUE(d.Images()[0].complete);
    EXPECT_TRUE(d.Images()[0].data.isEmpty());
}

TEST_F(TftpServerTest, AckZeroWhenTheRequestHasNoOptionsOrTheDeviceIgnoresThem) {
    SimDevice& plain = Add();
    client.Send(Wrq("a.bin", "OCTET"), plain.Address(), kTestTftpPort);
    EXPECT_EQ(client.Next().data(), Ack(0));

    SimDevice& ignoring = Add(TftpMode::AckZero);
    client.Send(Wrq("b.bin", "octet", {{"blksize", "1024"}, {"tsize", "600"}}), ignoring.Address(),
                kTestTftpPort);
    const QNetworkDatagram ack = client.Next();
    EXPECT_EQ(ack.data(), Ack(0));
    EXPECT_EQ(ignoring.Images()[0].blockSize, 512);
    // A 600-byte block does not fit the 512 bytes that were agreed.
    client.Send(Data(1, QByteArray(600, 'y')), ignoring.Address(),
                static_cast<uint16_t>(ack.senderPort()));
    EXPECT_EQ(client.Next().data().left(4), Packet(5, 4));
    EXPECT_TRUE(ignoring.Images()[0].aborted);
}

TEST_F(TftpServerTest, ALargerBlockSizeIsAgreedAndUsed) {
    SimDevice& d = Add();
    client.Send(Wrq("big.bin", "octet", {{"BLKSIZE", "1428"}}), d.Address(), kTestTftpPort);
    const QNetworkDatagram oack = client.Next();
    EXPECT_EQ(oack.data(), QByteArray("\0\x06", 2) + Z("blksize") + Z("1428"));
    const uint16_t tid = static_cast<uint16_t>(oack.senderPort());
    client.Send(Data(1, QByteArray(1428, 'a')), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(1));
    client.Send(Data(2, QByteArray(10, 'b')), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(2));
    EXPECT_EQ(d.Images()[0].data.size(), 1438);
}

// A device that takes at most 1024 bytes answers a larger ask with 1024; one across a slow link
// acknowledges each block on the clock, the last one before it counts as stored and restarts.
TEST_F(TftpServerTest, TheConfiguredBlockSizeAnswersAndEachAcknowledgementWaitsItsDelay) {
    SimDevice& d = Add(TftpMode::OptionAck, 1024, 5);
    client.Send(Wrq("fw.bin", "octet", {{"blksize", "1428"}}), d.Address(), kTestTftpPort);
    const QNetworkDatagram oack = client.Next();
    EXPECT_EQ(oack.data(), QByteArray("\0\x06", 2) + Z("blksize") + Z("1024"));
    const uint16_t tid = static_cast<uint16_t>(oack.senderPort());

    client.Send(Data(1, QByteArray(1024, 'a')), d.Address(), tid);
    EXPECT_TRUE(client.Quiet());
    clock.Advance(4);
    EXPECT_TRUE(client.Quiet());
    clock.Advance(1);
    EXPECT_EQ(client.Next().data(), Ack(1));

    client.Send(Data(2, QByteArray(10, 'b')), d.Address(), tid);
    client.Send(Data(2, QByteArray(10, 'b')), d.Address(), tid);  // resent while it waits
    EXPECT_TRUE(client.Quiet());
    EXPECT_FALSE(d.IsRestarting());
    clock.Advance(5);
    EXPECT_EQ(client.Next().data(), Ack(2));
    EXPECT_TRUE(client.Quiet());  // one acknowledgement for both
    EXPECT_TRUE(d.IsRestarting());
    EXPECT_EQ(d.Images()[0].data, QByteArray(1024, 'a') + QByteArray(10, 'b'));
}

TEST_F(TftpServerTest, RepeatedRequestGetsTheSameAnswerFromTheSameTransfer) {
    SimDevice& d = Add();
    const QByteArray wrq = Wrq("fw.bin", "octet", {{"tsize", "5"}});
    client.Send(wrq, d.Address(), kTestTftpPort);
    const QNetworkDatagram first = client.Next();
    client.Send(wrq, d.Address(), kTestTftpPort);
    const QNetworkDatagram second = client.Next();
    EXPECT_EQ(first.data(), second.data());
    EXPECT_EQ(first.senderPort(), second.senderPort());
    EXPECT_EQ(d.Tftp().ActiveTransfers(), 1);
    EXPECT_EQ(d.Images().size(), 1u);
}

TEST_F(TftpServerTest, RefusalsAndErrors) {
    SimDevice& d = Add();
    struct Case {
        const char* name;
        QByteArray request;
        uint16_t errorCode;
    };
    const std::vector<Case> cases{
        {"read request", QByteArray("\0\x01", 2) + Z("fw.bin") + Z("octet"), 4},
        {"netascii", Wrq("fw.bin", "netascii"), 4},
        {"no terminator",
         QByteArray("\0\x02"
                    "fw.bin",
                    8),
         4},
        {"no mode", QByteArray("\0\x02", 2) + Z("fw.bin"), 4},
        {"too large", Wrq("fw.bin", "octet", {{"tsize", "999999999"}}), 3},
        {"stray ack", Ack(1), 4},
        {"one byte", QByteArray(1, '\x02'), 4},
    };
    for (const Case& c : cases) {
        client.Send(c.request, d.Address(), kTestTftpPort);
        const QNetworkDatagram e = client.Next();
        EXPECT_EQ(e.data().left(4), Packet(5, c.errorCode)) << c.name;
        EXPECT_TRUE(e.data().endsWith('\0')) << c.name;
        EXPECT_EQ(e.senderPort(), kTestTftpPort) << c.name;
    }
    EXPECT_EQ(d.Tftp().ActiveTransfers(), 0);
}

TEST_F(TftpServerTest, AStrangerOnATransferPortGetsUnknownTransferIdAndTheTransferGoesOn) {
    SimDevice& d = Add();
    client.Send(Wrq("fw.bin", "octet"), d.Address(), kTestTftpPort);
    const uint16_t tid = static_cast<uint16_t>(client.Next().senderPort());
    PacketClient stranger;
    stranger.Send(Data(1, "zz"), d.Address(), tid);
    EXPECT_EQ(stranger.Next().data().left(4), Packet(5, 5));
    client.Send(Data(1, "ok"), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(1));
    EXPECT_EQ(d.Images()[0].data, "ok");
}

TEST_F(TftpServerTest, SilentDeviceRecordsTheRequestAndSaysNothing) {
    SimDevice& d = Add(TftpMode::Silent);
    client.Send(Wrq("fw.bin", "octet", {{"tsize", "10"}}), d.Address(), kTestTftpPort);
    ASSERT_TRUE(PumpUntilCount(d.Images(), 1));
    EXPECT_TRUE(client.Quiet());
    EXPECT_EQ(d.Images()[0].options.size(), 1u);
}

TEST_F(TftpServerTest, RefusingDeviceAnswersTheRequestWithAnErrorPacket) {
    SimDevice& d = Add(TftpMode::Refuse);
    client.Send(Wrq("fw.bin", "octet", {{"tsize", "10"}}), d.Address(), kTestTftpPort);
    EXPECT_EQ(client.Next().data().left(4), Packet(5, 3));
    EXPECT_EQ(d.Tftp().ActiveTransfers(), 0);
    ASSERT_EQ(d.Images().size(), 1u);
    EXPECT_FALSE(d.Images()[0].complete);
}

TEST_F(TftpServerTest, ATransferThatFallsSilentIsDroppedOnTheManualClock) {
    SimDevice& d = Add();
    client.Send(Wrq("fw.bin", "octet"), d.Address(), kTestTftpPort);
    const uint16_t tid = static_cast<uint16_t>(client.Next().senderPort());
    client.Send(Data(1, QByteArray(512, 'q')), d.Address(), tid);
    EXPECT_EQ(client.Next().data(), Ack(1));
    clock.Advance(TftpServer::kIdleTimeoutMs - 1);
    EXPECT_EQ(d.Tftp().ActiveTransfers(), 1);
    clock.Advance(1);
    EXPECT_EQ(d.Tftp().ActiveTransfers(), 0);
    EXPECT_TRUE(d.Images()[0].aborted);
    EXPECT_FALSE(d.Images()[0].complete);
}

// Real clients that we did not write: atftp negotiates options, tftp-hpa sends none.
TEST_F(TftpServerTest, RealClientsUploadAnImage) {
    struct Client {
        const char* program;
        QStringList args;  // %1 local file, %2 address, %3 port
    };
    const std::vector<Client> clients{
        {"atftp",
         {"--option", "blksize 512", "--option", "tsize enable", "-p", "-l", "%1", "-r", "fw.bin",
          "%2", "%3"}},
        {"tftp", {"-m", "binary", "%2", "%3", "-c", "put", "%1", "fw.bin"}},
    };
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("fw.bin"));
    QByteArray image = "QMDR";
    for (int i = 0; image.size() < 3000; ++i) image += static_cast<char>(i * 7);
    QFile file(local);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(image);
    file.close();

    for (const Client& c : clients) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(c.program)).isEmpty())
            GTEST_SKIP() << c.program << " is not installed";
        SimDevice& d = Add();
        QStringList args;
        for (const QString& a : c.args)
            args << QString(a)
                        .replace("%1", local)
                        .replace("%2", d.AddressText())
                        .replace("%3", QString::number(kTestTftpPort));
        QProcess process;
        process.start(QString::fromLatin1(c.program), args);
        ASSERT_TRUE(PumpUntil([&] { return process.state() == QProcess::NotRunning; }, 10000))
            << c.program;
        EXPECT_EQ(process.exitCode(), 0)
            << c.program << process.readAllStandardError().toStdString();
        ASSERT_EQ(d.Images().size(), 1u) << c.program;
        EXPECT_TRUE(d.Images()[0].complete) << c.program;
        EXPECT_EQ(d.Images()[0].data, image) << c.program;
        EXPECT_EQ(d.Images()[0].options.empty(), QByteArray(c.program) == "tftp") << c.program;
    }
}

TEST(ParseWriteRequest, GoldenRequestAndEveryTruncatedPrefix) {
    const QByteArray full = Wrq("fw.bin", "octet", {{"blksize", "512"}, {"tsize", "1030"}});
    const auto parsed = ParseWriteRequest(full);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->fileName, "fw.bin");
    EXPECT_EQ(parsed->mode, "octet");
    EXPECT_EQ(parsed->options, (TftpOptions{{"blksize", "512"}, {"tsize", "1030"}}));

    // A prefix is whole only where it ends after a complete option pair (or after the mode).
    const std::set<qsizetype> wholeAt{Wrq("fw.bin", "octet").size(),
                                      Wrq("fw.bin", "octet", {{"blksize", "512"}}).size()};
    for (qsizetype n = 0; n < full.size(); ++n) {
        const auto prefix = ParseWriteRequest(full.left(n));
        EXPECT_EQ(prefix.has_value(), wholeAt.contains(n)) << n;
    }
    EXPECT_FALSE(ParseWriteRequest(QByteArray("\0\x01", 2) + Z("fw.bin") + Z("octet")));
}
