// The simulated devices' serial data port: a loopback plug behind TCP or UDP, server or
// client, with the answers a device key picks, counted in the status values.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include "platform/ManualClock.h"
#include "tests/devsim/HostSocket.h"
#include "tools/devsim/DeviceProfileText.h"

using namespace devsim;

namespace {

constexpr uint32_t kBase = 0x7F005A0A;  // 127.0.90.10

class SerialData : public testing::Test {
  protected:
    SimDevice& Add(const QString& line) {
        const ParseResult parsed = ParseDeviceLine(line, DeviceProfile{});
        EXPECT_TRUE(parsed.profile) << parsed.error.toStdString();
        SimDevice* device = sim.AddDevice(*parsed.profile);
        EXPECT_NE(device, nullptr);
        return *device;
    }
    // Sends `data` to the device's data port; what comes back until `expect` bytes have come
    // and a quiet spell has followed.
    QByteArray Exchange(QTcpSocket& socket, const QByteArray& data, qsizetype expect) {
        socket.write(data);
        QByteArray got;
        PumpUntil([&] {
            got += socket.readAll();
            return got.size() >= expect;
        });
        PumpQuiet();
        return got + socket.readAll();
    }

    ManualClock clock;
    DeviceSimulator sim{clock, TestOptions(kBase)};
    void SetUp() override { ASSERT_TRUE(sim.Start()); }
};

QByteArray Pattern(int size) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) data[i] = char(i * 7);
    return data;
}

}  // namespace

TEST_F(SerialData, ATcpServerDeviceEchoesEveryByteAndCountsThem) {
    SimDevice& device = Add("role=server proto=tcp listen=34001 tx=10 rx=20");
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(device.Address()), 34001);
    ASSERT_TRUE(PumpUntil([&] { return device.Serial().PeerConnected(); }));
    const QByteArray data = Pattern(50000);
    EXPECT_EQ(Exchange(socket, data, data.size()), data);
    EXPECT_EQ(device.Status().txCount, 10u + 50000u);
    EXPECT_EQ(device.Status().rxCount, 20u + 50000u);

    // A new peer replaces the old one.
    QTcpSocket second;
    second.connectToHost(QHostAddress(device.Address()), 34001);
    ASSERT_TRUE(PumpUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(Exchange(second, "abc", 3), "abc");
}

TEST_F(SerialData, TheDeviceKeyPicksASilentLineOrOneThatDropsThePeer) {
    SimDevice& silent = Add("listen=34002 serial=silent");
    SimDevice& dropping = Add("listen=34003 serial=close:5");
    QTcpSocket a;
    a.connectToHost(QHostAddress(silent.Address()), 34002);
    ASSERT_TRUE(a.waitForConnected(3000));
    EXPECT_EQ(Exchange(a, "hello", 0), "");
    EXPECT_EQ(silent.Status().txCount, 5u);
    EXPECT_EQ(silent.Status().rxCount, 0u);

    QTcpSocket b;
    b.connectToHost(QHostAddress(dropping.Address()), 34003);
    ASSERT_TRUE(b.waitForConnected(3000));
    EXPECT_EQ(Exchange(b, "0123456789", 5), "01234");
    EXPECT_TRUE(PumpUntil([&] { return b.state() == QAbstractSocket::UnconnectedState; }));
}

TEST_F(SerialData, AUdpServerDeviceAnswersTheSender) {
    SimDevice& device = Add("proto=udp listen=34004");
    QUdpSocket socket;
    ASSERT_TRUE(socket.bind(QHostAddress::LocalHost, 0));
    socket.writeDatagram("ping", QHostAddress(device.Address()), 34004);
    ASSERT_TRUE(PumpUntil([&] { return socket.hasPendingDatagrams(); }));
    EXPECT_EQ(socket.receiveDatagram().data(), "ping");
}

TEST_F(SerialData, AClientDeviceConnectsToItsDestinationAndKeepsTrying) {
    QTcpServer host;
    const uint16_t port = 34005;
    SimDevice& device = Add("role=client dhost=127.0.0.1 dport=34005");
    ASSERT_TRUE(host.listen(QHostAddress::LocalHost, port));
    // An attempt that finds nothing listening yet is repeated after the retry pause.
    ASSERT_TRUE(
        PumpUntil([&] { return host.hasPendingConnections(); }, 3 * SerialDataPort::kRetryMs));
    QTcpSocket* socket = host.nextPendingConnection();
    EXPECT_EQ(socket->peerAddress(), QHostAddress(device.Address()));
    EXPECT_EQ(Exchange(*socket, "xyz", 3), "xyz");
}

TEST(SerialAnswerKey, ParsesEchoSilentAndCloseAfter) {
    const auto parse = [](const QString& line) { return ParseDeviceLine(line, {}).profile; };
    EXPECT_EQ(parse("serial=echo")->serialAnswer, SerialAnswer::Echo);
    EXPECT_EQ(parse("serial=silent")->serialAnswer, SerialAnswer::Silent);
    const auto close = parse("serial=close:12");
    ASSERT_TRUE(close);
    EXPECT_EQ(close->serialAnswer, SerialAnswer::CloseAfter);
    EXPECT_EQ(close->serialCloseAfter, 12u);
    EXPECT_FALSE(parse("serial=close:"));
    EXPECT_FALSE(parse("serial=loud"));
}
