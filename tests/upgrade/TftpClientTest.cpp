#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <functional>
#include <memory>

#include "platform/ManualClock.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/EventPump.h"
#include "tests/upgrade/TftpClientOnFake.h"
#include "upgrade/TftpClient.h"
#include "upgrade/TftpSocket.h"
#include "upgrade/TftpTransfer.h"

// The upgrade against a scripted device made of test-owned UDP sockets on loopback, on the
// manual clock: the device's TFTP port, its transfer port, and strangers.
namespace {

constexpr uint32_t kLoopback = 0x7F000001;  // host and device
constexpr uint32_t kOtherHost = 0x7F000002;
const QHostAddress kLoopbackAddress(QStringLiteral("127.0.0.1"));
constexpr int kTimer = TftpTransfer::kRetryTimerId;

QByteArray Pattern(qint64 size) {
    QByteArray bytes(size, '\0');
    for (qint64 i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 512) & 0xFF);
    return bytes.replace(0, 4, "QMDR");
}

class TftpClientTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device69.bind(kLoopbackAddress, 0));
        ASSERT_TRUE(transfer.bind(kLoopbackAddress, 0));
        clock.SetPump([] { QCoreApplication::processEvents(); });
        client = std::make_unique<CTftpClient>(
            clock, prompts, [this](const QString& line) { log << line; },
            std::make_unique<TftpSocket>());
        client->SetServerPort(device69.localPort());
        // These tests follow the exchange block by block, as the log then shows it.
        client->SetLogEveryBlock(true);
        QObject::connect(client.get(), &CTftpClient::buttonsEnabled,
                         [this](bool enabled) { buttons.push_back(enabled); });
        QObject::connect(client.get(), &CTftpClient::upgradeFinished, [this] { ++finished; });
    }

    QString WriteImage(const QByteArray& content, const QString& name = "fw.bin") {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return path;
    }

    // The next datagram that reaches the socket; the sender is the client.
    QByteArray Receive(QUdpSocket& socket) {
        if (!PumpUntil([&] { return socket.hasPendingDatagrams(); })) return "(nothing)";
        const QNetworkDatagram datagram = socket.receiveDatagram();
        clientPort = static_cast<quint16>(datagram.senderPort());
        return datagram.data();
    }

    // Loopback datagrams are queued when the send returns: one pass of the event loop delivers
    // them even if the process was descheduled for a while, the quiet spell catches replies.
    static void Settle() {
        QCoreApplication::processEvents();
        PumpQuiet(10);
    }

    bool NothingArrives(QUdpSocket& socket) {
        Settle();
        return !socket.hasPendingDatagrams();
    }

    void Reply(QUdpSocket& from, const QByteArray& packet) {
        from.writeDatagram(packet, kLoopbackAddress, clientPort);
        Settle();
    }

    // Starts an upgrade and answers its request with ACK 0: block 1 is in flight.
    QByteArray StartAndAcceptRequest(const QString& image) {
        EXPECT_TRUE(client->Start(image, kLoopback, kLoopback));
        Receive(device69);
        Reply(transfer, EncodeTftp(TftpAck{0}));
        return Receive(transfer);
    }

    // The line that says why the transfer ended; the summary follows it.
    QString EndLine() const { return log.at(log.size() - 2); }

    // The owner of the retry timer.
    TimerClient* Retry() const { return client->CallingThreadTransfer(); }

    ManualClock clock;
    ScriptedPrompts prompts;
    QTemporaryDir dir;
    QUdpSocket device69;
    QUdpSocket transfer;
    quint16 clientPort = 0;
    QStringList log;
    std::vector<bool> buttons;
    int finished = 0;
    std::unique_ptr<CTftpClient> client;
};

TEST_F(TftpClientTest, AckOfBlockZeroStartsTheDataAtOnceAndEachBlockHasItsPeriod) {
    const QByteArray image = Pattern(1024);
    ASSERT_TRUE(client->Start(WriteImage(image), kLoopback, kLoopback));
    EXPECT_EQ(buttons, std::vector<bool>{false});
    EXPECT_EQ(Receive(device69), EncodeTftp(MakeUpgradeRequest("fw.bin", 1024)));
    EXPECT_EQ(clock.PeriodOf(Retry(), kTimer), 1000);

    struct Step {
        int block;
        QByteArray data;
        int period;
    };
    const Step steps[] = {{1, image.first(512), 6000}, {2, image.mid(512), 1000}, {3, {}, 6000}};
    for (const Step& step : steps) {
        Reply(transfer, EncodeTftp(TftpAck{static_cast<uint16_t>(step.block - 1)}));
        EXPECT_EQ(Receive(transfer), EncodeTftp(TftpData{uint16_t(step.block), step.data}));
        EXPECT_EQ(clock.PeriodOf(Retry(), kTimer), step.period) << step.block;
        EXPECT_EQ(clock.DueIn(Retry(), kTimer), step.period) << step.block;
    }
    EXPECT_EQ(clock.Now(), 0);
    Reply(transfer, EncodeTftp(TftpAck{3}));
    EXPECT_EQ(log, (QStringList{"Create TFTP socket", "Send WRQ, 127.0.0.1", "TFTP_ACK ,#BLK : 0",
                                "TFTP_DATA ,#BLK: 1", "TFTP_ACK ,#BLK : 1", "TFTP_DATA ,#BLK: 2",
                                "TFTP_ACK ,#BLK : 2", "TFTP_DATA (Last) ,#BLK: 3, Len: 4",
                                "TFTP_ACK ,#BLK : 3", "TFTP_OPERATION FINISH",
                                "TFTP upload finished: 1024 bytes in 0.00 s, 0 retries"}));
    EXPECT_EQ(buttons, (std::vector<bool>{false, true}));
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(clock.IsRunning(Retry(), kTimer));

    // A repeated acknowledgement after the end neither finishes again nor sends anything.
    Reply(transfer, EncodeTftp(TftpAck{3}));
    Reply(transfer, EncodeTftp(TftpOptionAck{}));
    EXPECT_EQ(log.size(), 11);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(NothingArrives(transfer));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(TftpClientTest, SilentDeviceGetsSixSendsOfTheRequestThenRetryTimeout) {
    ASSERT_TRUE(client->Start(WriteImage(Pattern(10)), kLoopback, kLoopback));
    const QByteArray request = Receive(device69);
    for (int retry = 1; retry <= 5; ++retry) {
        clock.Advance(999);
        EXPECT_TRUE(NothingArrives(device69));
        clock.Advance(1);
        EXPECT_EQ(Receive(device69), request);
        EXPECT_EQ(log.last(), QString("Send WRQ, 127.0.0.1, Retry : %1").arg(retry));
    }
    clock.Advance(1000);
    EXPECT_EQ(EndLine(), "TFTP Retry Timeout");
    EXPECT_EQ(log.last(), "TFTP upload stopped: 0 of 10 bytes in 6.00 s, 5 retries");
    EXPECT_EQ(buttons, (std::vector<bool>{false, true}));
    EXPECT_FALSE(clock.IsRunning(Retry(), kTimer));
    EXPECT_TRUE(NothingArrives(device69));

    // A late answer to an upgrade that has ended changes nothing.
    const qsizetype lines = log.size();
    Reply(transfer, EncodeTftp(TftpAck{0}));
    EXPECT_TRUE(NothingArrives(transfer));
    EXPECT_EQ(log.size(), lines);
    EXPECT_EQ(finished, 0);
}

TEST_F(TftpClientTest, SilentDeviceGetsSixSendsOfEachBlockAndTheSocketIsKept) {
    const QString image = WriteImage(Pattern(1024));
    struct Case {
        int block;
        int period;
        QString retryLine;
        QString summary;
    };
    const Case cases[] = {{1, 6000, "TFTP_DATA ,#BLK: 1, Retry : %1",
                           "TFTP upload stopped: 0 of 1024 bytes in 36.00 s, 5 retries"},
                          {2, 1000, "TFTP_DATA ,#BLK: 2, Retry : %1",
                           "TFTP upload stopped: 512 of 1024 bytes in 6.00 s, 5 retries"},
                          {3, 6000, "TFTP_DATA (Last) ,#BLK: 3, Len: 4, Retry : %1",
                           "TFTP upload stopped: 1024 of 1024 bytes in 36.00 s, 5 retries"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.block);
        buttons.clear();
        QByteArray packet = StartAndAcceptRequest(image);
        for (int block = 1; block < c.block; ++block) {
            Reply(transfer, EncodeTftp(TftpAck{static_cast<uint16_t>(block)}));
            packet = Receive(transfer);
        }
        for (int retry = 1; retry <= 5; ++retry) {
            clock.Advance(c.period - 1);
            EXPECT_TRUE(NothingArrives(transfer));
            clock.Advance(1);
            EXPECT_EQ(Receive(transfer), packet);
            EXPECT_EQ(log.last(), c.retryLine.arg(retry));
        }
        clock.Advance(c.period);
        EXPECT_EQ(EndLine(), "TFTP Retry Timeout");
        EXPECT_EQ(log.last(), c.summary);
        EXPECT_EQ(buttons, (std::vector<bool>{false, true}));
        EXPECT_TRUE(NothingArrives(transfer));
    }
    EXPECT_EQ(log.count("Create TFTP socket"), 1);
    EXPECT_EQ(finished, 0);
}

TEST_F(TftpClientTest, DeviceErrorsAreLoggedWithTheTableTextOrThePacketsOwn) {
    const QString image = WriteImage(Pattern(600));
    const std::pair<uint16_t, QString> cases[] = {
        {0, "disk on fire"},
        {1, "File not found."},
        {2, "Access violation.."},
        {3, "Disk full or allocation exceeded."},
        {4, "Illegal TFTP operation."},
        {5, "Unknown transfer ID."},
        {6, "File already exists."},
        {7, "No such user."},
        {8, "disk on fire"},
        {65535, "disk on fire"},
    };
    for (const auto& [code, text] : cases) {
        buttons.clear();
        StartAndAcceptRequest(image);
        Reply(transfer, EncodeTftp(TftpError{code, "disk on fire"}));
        EXPECT_EQ(EndLine(), QString("TFTP_ERROR, ERR_CODE: %1, ERR_MSG: %2").arg(code).arg(text));
        EXPECT_EQ(buttons, (std::vector<bool>{false, true})) << code;
        EXPECT_FALSE(clock.IsRunning(Retry(), kTimer)) << code;
    }
    // The request itself may be refused, from the device's TFTP port.
    buttons.clear();
    ASSERT_TRUE(client->Start(image, kLoopback, kLoopback));
    Receive(device69);
    Reply(device69, EncodeTftp(TftpError{2, ""}));
    EXPECT_EQ(EndLine(), "TFTP_ERROR, ERR_CODE: 2, ERR_MSG: Access violation..");
    EXPECT_EQ(buttons, (std::vector<bool>{false, true}));
}

TEST_F(TftpClientTest, ARepeatedOptionAckIsLoggedAndTheBlockIsStillResentUntilTimeout) {
    const QByteArray block1 = StartAndAcceptRequest(WriteImage(Pattern(2000)));
    Reply(transfer, EncodeTftp(TftpOptionAck{{{"blksize", "512"}}}));
    EXPECT_EQ(log.last(), "TFTP_OPTION_ACK, TFTP client #BLK: 1");
    EXPECT_TRUE(NothingArrives(transfer));
    // Block 1 was lost: it goes out again on its timer, and a device that stays silent ends
    // the upgrade instead of leaving it waiting for good.
    for (int retry = 1; retry <= 5; ++retry) {
        ASSERT_EQ(clock.DueIn(Retry(), kTimer), 6000) << retry;
        clock.Advance(6000);
        EXPECT_EQ(Receive(transfer), block1);
        Reply(transfer, EncodeTftp(TftpOptionAck{}));
    }
    clock.Advance(6000);
    EXPECT_EQ(EndLine(), "TFTP Retry Timeout");
    EXPECT_EQ(buttons, (std::vector<bool>{false, true}));
    EXPECT_EQ(finished, 0);
}

TEST_F(TftpClientTest, PacketsThatDoNotFitAreLoggedAndIgnored) {
    StartAndAcceptRequest(WriteImage(Pattern(2000)));
    Reply(transfer, EncodeTftp(TftpAck{1}));
    const QByteArray block2 = Receive(transfer);
    // A stale acknowledgement is logged and ignored, but the block in flight is still
    // resent when its timer runs out: the upgrade does not stall.
    Reply(transfer, EncodeTftp(TftpAck{65535}));
    EXPECT_EQ(log.last(), "TFTP_ACK #BLK 65535 (Ignore)");
    ASSERT_TRUE(clock.IsRunning(Retry(), kTimer));
    EXPECT_TRUE(NothingArrives(transfer));
    clock.Advance(clock.DueIn(Retry(), kTimer));
    EXPECT_EQ(Receive(transfer), block2);
    EXPECT_EQ(buttons, std::vector<bool>{false});

    // Packets that are no reply, or too short to be one, are dropped without a word.
    const qsizetype lines = log.size();
    for (const QByteArray& junk : {EncodeTftp(TftpData{2, "x"}), QByteArray("\x00\x04\x00", 3),
                                   QByteArray("\x00", 1), QByteArray("\x01\x04\x00\x02", 4)}) {
        Reply(transfer, junk);
    }
    EXPECT_EQ(log.size(), lines);
    // The right acknowledgement still carries the upgrade on.
    Reply(transfer, EncodeTftp(TftpAck{2}));
    EXPECT_EQ(Receive(transfer).left(4), QByteArray("\x00\x03\x00\x03", 4));
}

// Strangers are told "Unknown transfer ID" (an error of theirs is not answered) and the
// transfer goes on.
TEST_F(TftpClientTest, OnlyTheDeviceFromItsFirstReplyPortIsHeard) {
    const QByteArray unknownId = EncodeTftp(TftpError{5, "Unknown transfer ID"});
    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    QUdpSocket sameHostOtherPort;
    ASSERT_TRUE(sameHostOtherPort.bind(kLoopbackAddress, 0));
    ASSERT_TRUE(client->Start(WriteImage(Pattern(1024)), kLoopback, kLoopback));
    Receive(device69);
    const int64_t due = clock.DueIn(Retry(), kTimer);

    Reply(stranger, EncodeTftp(TftpOptionAck{}));
    EXPECT_EQ(log.last(), QString("TFTP packet from 127.0.0.2:%1 dropped (unknown sender)")
                              .arg(stranger.localPort()));
    EXPECT_EQ(clock.DueIn(Retry(), kTimer), due);
    EXPECT_EQ(Receive(stranger), unknownId);
    EXPECT_TRUE(NothingArrives(transfer));

    Reply(transfer, EncodeTftp(TftpOptionAck{}));
    EXPECT_EQ(Receive(transfer).left(4), QByteArray("\x00\x03\x00\x01", 4));
    for (QUdpSocket* other : {&stranger, &sameHostOtherPort}) {
        Reply(*other, EncodeTftp(TftpAck{1}));
        EXPECT_EQ(log.last(), QString("TFTP packet from %1:%2 dropped (unknown sender)")
                                  .arg(other->localAddress().toString())
                                  .arg(other->localPort()));
        EXPECT_EQ(Receive(*other), unknownId);
        Reply(*other, EncodeTftp(TftpError{0, "stop"}));
        EXPECT_TRUE(NothingArrives(*other));
    }
    EXPECT_TRUE(NothingArrives(transfer));
    EXPECT_TRUE(clock.IsRunning(Retry(), kTimer));
    EXPECT_EQ(buttons, std::vector<bool>{false});
    // Retries still go to the device's transfer port.
    clock.Advance(6000);
    EXPECT_EQ(Receive(transfer).left(4), QByteArray("\x00\x03\x00\x01", 4));
    Reply(transfer, EncodeTftp(TftpAck{1}));
    EXPECT_EQ(log.last(), "TFTP_DATA ,#BLK: 2");
}

TEST_F(TftpClientTest, ImagesThatCannotBeSentAreRefusedBeforeAnythingGoesOut) {
    // 32767 blocks hold at most 16776703 bytes; one byte more needs block 32768.
    QFile big(dir.filePath("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.write("QMDR") == 4 && big.resize(CTftpClient::kMaxImageSize + 1));
    big.close();
    EXPECT_FALSE(client->Start(big.fileName(), kLoopback, kLoopback));
    // Missing, a folder, or a FIFO that would block the user-interface thread if read.
    const QString fifo = dir.filePath("fifo.bin");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {dir.filePath("missing.bin"), dir.path(), fifo}) {
        EXPECT_FALSE(client->Start(path, kLoopback, kLoopback)) << path.toStdString();
    }
    // A file that was swapped for another after the image dialog had looked at it.
    EXPECT_FALSE(client->Start(WriteImage("MZ not firmware"), kLoopback, kLoopback));
    EXPECT_EQ(prompts.Texts(),
              (QStringList{"The firmware file is too large, at most 16776703 bytes can be sent !!",
                           "Can't open target file !!", "Can't open target file !!",
                           "Can't open target file !!", "It's not a correct firmware file !!"}));
    EXPECT_EQ(prompts.shown[0].caption, "VELTRO");
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::Ok);
    EXPECT_TRUE(NothingArrives(device69));
    EXPECT_TRUE(buttons.empty());
    EXPECT_EQ(log, QStringList{"Create TFTP socket"});

    ASSERT_TRUE(big.resize(CTftpClient::kMaxImageSize));
    EXPECT_TRUE(client->Start(big.fileName(), kLoopback, kLoopback));
    EXPECT_TRUE(
        Receive(device69).endsWith(QByteArray("tsize\0"
                                              "16776703\0",
                                              15)));
}

TEST_F(TftpClientTest, TheDeviceGetsTheFileAsItWasWhenTheUpgradeStarted) {
    // Replaced by a newer file, deleted, cut short or overwritten while the upgrade runs: the
    // device still gets the image that the request announced, every block of it.
    const QByteArray image = Pattern(1024);
    const QByteArray newer = Pattern(3000).right(1500);
    const std::function<void(const QString&)> changes[] = {
        [&](const QString& path) {
            const QString other = WriteImage(newer, "newer.bin");
            ASSERT_TRUE(QFile::remove(path) && QFile::rename(other, path));
        },
        [](const QString& path) { ASSERT_TRUE(QFile::remove(path)); },
        [](const QString& path) { ASSERT_TRUE(QFile::resize(path, 100)); },
        [&](const QString&) { WriteImage(newer); },
    };
    for (const auto& change : changes) {
        const QString path = WriteImage(image);
        StartAndAcceptRequest(path);
        change(path);
        Reply(transfer, EncodeTftp(TftpAck{1}));
        EXPECT_EQ(Receive(transfer), EncodeTftp(TftpData{2, image.mid(512)}));
        Reply(transfer, EncodeTftp(TftpAck{2}));
        EXPECT_EQ(Receive(transfer), EncodeTftp(TftpData{3, {}}));
        Reply(transfer, EncodeTftp(TftpAck{3}));
    }
    EXPECT_EQ(finished, 4);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(TftpClientOnFake, SocketFailureAndSendFailureAreReported) {
    const QString image = WriteImage("QMDR");

    // A destination that is no single device sends nothing: the socket may broadcast.
    for (uint32_t nobody : {0u, 0xFFFFFFFFu, 0xE0000001u})
        EXPECT_FALSE(client.Start(image, nobody, kLoopback));
    EXPECT_EQ(log, (QStringList{"No upgrade sent: 0.0.0.0 is in 0.0.0.0/8, which names no host",
                                "No upgrade sent: 255.255.255.255 is the broadcast address of "
                                "every network",
                                "No upgrade sent: 224.0.0.1 is a multicast address"}));
    log.clear();

    transport.failOpen = true;
    EXPECT_FALSE(client.Start(image, kLoopback, 0x0A000001));
    EXPECT_EQ(prompts.Texts(), QStringList{"Create TFTP client socket fail!!"});
    EXPECT_FALSE(client.IsSocketCreated());
    EXPECT_TRUE(transport.sent.empty());
    EXPECT_TRUE(log.isEmpty());

    transport.failOpen = false;
    transport.sendError = 101;
    EXPECT_TRUE(client.Start(image, kLoopback, kLoopback));
    EXPECT_EQ(transport.boundTo, kLoopback);
    EXPECT_EQ(log, (QStringList{"Create TFTP socket", "Send WRQ, Err: 101"}));
    // The retry timer runs all the same, towards the device's TFTP port.
    EXPECT_EQ(clock.DueIn(client.CallingThreadTransfer(), kTimer), 1000);
    clock.Advance(1000);
    ASSERT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(transport.sent[1].port, CTftpClient::kServerPort);
    EXPECT_EQ(transport.sent[1].address, kLoopback);
}

// Without every block logged: a progress line each 64 KiB or each second, whichever comes
// first, the bytes acknowledged as they grow, and a summary.
TEST_F(TftpClientOnFake, TheLogHasALineEach64KiBOrEachSecondAndASummary) {
    std::vector<TftpProgress> progress;
    QObject::connect(&client, &CTftpClient::progressed,
                     [&](const TftpProgress& p) { progress.push_back(p); });

    ASSERT_TRUE(client.Start(WriteImage(Pattern(200 * 1024)), kLoopback, kLoopback));
    constexpr uint16_t kDevicePort = 3000;
    transport.Deliver(EncodeTftp(TftpOptionAck{}), kLoopback, kDevicePort);
    // 400 full blocks and an empty last one; the device takes a second over block 130.
    for (uint16_t block = 1; block <= 401; ++block) {
        clock.Advance(block == 130 ? 999 : 1);
        transport.Deliver(EncodeTftp(TftpAck{block}), kLoopback, kDevicePort);
    }
    EXPECT_EQ(log, (QStringList{
                       "Create TFTP socket",
                       "Send WRQ, 127.0.0.1",
                       "TFTP_OPTION_ACK",
                       "TFTP upload: 64 KiB of 200 KiB (32%)",
                       "TFTP upload: 65 KiB of 200 KiB (32%)",
                       "TFTP upload: 129 KiB of 200 KiB (64%)",
                       "TFTP upload: 193 KiB of 200 KiB (96%)",
                       "TFTP_DATA (Last) ,#BLK: 401, Len: 4",
                       "TFTP_OPERATION FINISH",
                       "TFTP upload finished: 204800 bytes in 1.40 s (142 KiB/s), 0 retries",
                   }));
    ASSERT_EQ(progress.size(), 402u);  // at the start, then with each acknowledgement
    EXPECT_EQ(progress.front(), (TftpProgress{0, 204800}));
    EXPECT_EQ(progress[130], (TftpProgress{130 * 512, 204800}));
    EXPECT_EQ(progress.back(), (TftpProgress{204800, 204800}));
}

}  // namespace
