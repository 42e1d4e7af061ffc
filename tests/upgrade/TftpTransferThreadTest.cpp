#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <memory>

#include "platform/ManualClock.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/EventPump.h"
#include "upgrade/TftpClient.h"
#include "upgrade/TftpTransfer.h"

// The exchange on its own thread, against a scripted device made of test-owned UDP sockets:
// what the thread owns between and after upgrades.
namespace {

constexpr uint32_t kLoopback = 0x7F000001;
const QHostAddress kLoopbackAddress(QStringLiteral("127.0.0.1"));

class TftpTransferThreadTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device69.bind(kLoopbackAddress, 0));
        ASSERT_TRUE(transfer.bind(kLoopbackAddress, 0));
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath("fw.bin"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("QMDR") + QByteArray(600, 'x'));
        image = file.fileName();
        client = std::make_unique<CTftpClient>(clock, prompts,
                                               [this](const QString& line) { log << line; });
        client->SetServerPort(device69.localPort());
    }

    // The next datagram that reaches the socket; the sender is the client.
    QByteArray Receive(QUdpSocket& socket) {
        if (!PumpUntil([&] { return socket.hasPendingDatagrams(); })) return "(nothing)";
        const QNetworkDatagram datagram = socket.receiveDatagram();
        clientPort = static_cast<quint16>(datagram.senderPort());
        return datagram.data();
    }

    void Send(QUdpSocket& from, const QByteArray& packet) {
        from.writeDatagram(packet, kLoopbackAddress, clientPort);
    }

    ManualClock clock;  // the exchange keeps its own time on its thread
    ScriptedPrompts prompts;
    QTemporaryDir dir;
    QString image;
    QUdpSocket device69;
    QUdpSocket transfer;
    quint16 clientPort = 0;
    QStringList log;
    std::unique_ptr<CTftpClient> client;
};

}  // namespace

TEST_F(TftpTransferThreadTest, WhatReachedTheSocketBetweenUpgradesIsDropped) {
    ASSERT_TRUE(client->Start(image, kLoopback, kLoopback));
    Receive(device69);
    Send(transfer, EncodeTftp(TftpError{2, "Access violation"}));
    ASSERT_TRUE(PumpUntil([&] { return !client->IsRunning(); }));

    // Nobody reads the socket now; an error and an acknowledgement wait there from the old
    // transfer port. Taken as answers, they would end the next upgrade or fix its port.
    Send(transfer, EncodeTftp(TftpError{0, "late"}));
    Send(transfer, EncodeTftp(TftpAck{0}));
    PumpQuiet(10);
    log.clear();
    std::vector<TftpProgress> progress;
    QObject::connect(client.get(), &CTftpClient::progressed,
                     [&](const TftpProgress& p) { progress.push_back(p); });
    ASSERT_TRUE(client->Start(image, kLoopback, kLoopback));
    EXPECT_EQ(Receive(device69), EncodeTftp(MakeUpgradeRequest("fw.bin", 604)));
    QUdpSocket newTransfer;
    ASSERT_TRUE(newTransfer.bind(kLoopbackAddress, 0));
    Send(newTransfer, EncodeTftp(TftpOptionAck{}));
    EXPECT_EQ(Receive(newTransfer).left(4), QByteArray("\x00\x03\x00\x01", 4));
    Send(newTransfer, EncodeTftp(TftpAck{1}));
    Receive(newTransfer);
    Send(newTransfer, EncodeTftp(TftpAck{2}));
    ASSERT_TRUE(PumpUntil([&] { return !client->IsRunning(); }));
    ASSERT_EQ(log.size(), 5);
    EXPECT_EQ(log.first(4),
              (QStringList{"Send WRQ, 127.0.0.1", "TFTP_OPTION_ACK",
                           "TFTP_DATA (Last) ,#BLK: 2, Len: 96", "TFTP_OPERATION FINISH"}));
    EXPECT_TRUE(log.last().startsWith("TFTP upload finished: 604 bytes in "))
        << log.last().toStdString();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), (TftpProgress{0, 604}));
    EXPECT_EQ(progress.back(), (TftpProgress{604, 604}));
}

TEST_F(TftpTransferThreadTest, LinesComeOnTheLogTimerAndClosingStopsTheThread) {
    int buttonsOn = 0;
    QObject::connect(client.get(), &CTftpClient::buttonsEnabled,
                     [&](bool enabled) { buttonsOn += enabled; });
    ASSERT_TRUE(client->Start(image, kLoopback, kLoopback));
    Receive(device69);
    // The thread logs its request just after sending it.
    EXPECT_TRUE(PumpUntil([&] {
        clock.Advance(CTftpClient::kLogPeriodMs);
        return log.size() == 2;
    }));
    EXPECT_EQ(log, (QStringList{"Create TFTP socket", "Send WRQ, 127.0.0.1"}));
    EXPECT_TRUE(client->IsRunning());
    // The device stays silent: the thread waits on its retry timer when the client goes. Had
    // it missed the stop, it would only end after its retries, seconds later.
    QElapsedTimer closing;
    closing.start();
    client.reset();
    EXPECT_LT(closing.elapsed(), TftpTransfer::kRetryPeriodMs);
    PumpQuiet(10);
    EXPECT_EQ(buttonsOn, 0);
}
