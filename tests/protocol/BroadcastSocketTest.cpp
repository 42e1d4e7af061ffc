#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <vector>

#include "protocol/BroadcastSocket.h"
#include "protocol/Message.h"
#include "protocol/OrvinSocket.h"
#include "protocol/UnicastSocket.h"
#include "tests/support/EventPump.h"

namespace {

std::vector<uint8_t> Datagram(uint8_t command, size_t size = 756, bool magic = true) {
    std::vector<uint8_t> d(size, 0x33);
    if (magic) std::copy_n(msg::kMagic.begin(), std::min<size_t>(size, 8), d.begin());
    if (size > 8) d[8] = command;
    return d;
}

struct Recorded {
    std::vector<int> deviceManagerSlots;
    std::vector<int> monitorSlots;
};

void Record(CBroadcastSocket& s, Recorded& r) {
    s.SetDeviceManagerHandler(
        [&r](const ReceivedDatagram& d) { r.deviceManagerSlots.push_back(d.slotIndex); });
    s.SetMonitorHandler([&r](const ReceivedDatagram& d) { r.monitorSlots.push_back(d.slotIndex); });
}

}  // namespace

TEST(BroadcastSocketRing, StartsEmptyAndFilled) {
    CBroadcastSocket s;
    EXPECT_EQ(s.WriteIndex(), 0);
    for (int i : {0, 255}) {
        EXPECT_EQ(s.SlotLength(i), -1);
        EXPECT_EQ(s.Slot(i)[1999], 0xCC);
    }
}

TEST(BroadcastSocketRing, DispatchesByCommandAndSkipsDatagramsWithoutMagic) {
    CBroadcastSocket s;
    Recorded r;
    Record(s, r);
    const QHostAddress from("127.0.0.5");

    s.OnDatagram(Datagram(0x01, 756, false), from, 25122);  // no magic
    EXPECT_EQ(s.WriteIndex(), 0);
    EXPECT_TRUE(
        std::all_of(s.Slot(0).begin(), s.Slot(0).end(), [](uint8_t b) { return b == 0xCC; }));

    for (uint8_t code : {0x01, 0x03, 0x09, 0x0C, 0x11, 0x07, 0x81})
        s.OnDatagram(Datagram(code), from, 25122);
    EXPECT_EQ(r.deviceManagerSlots, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(r.monitorSlots, (std::vector<int>{4}));
    EXPECT_EQ(s.WriteIndex(), 7);  // unlisted codes advance it too
}

TEST(BroadcastSocketRing, ShortDatagramsLeaveOlderBytesAndTheRingWraps) {
    CBroadcastSocket s;
    std::vector<int> lengths;
    s.SetDeviceManagerHandler([&](const ReceivedDatagram& d) { lengths.push_back(d.length); });
    const QHostAddress from("127.0.0.5");

    s.OnDatagram(Datagram(0x01, 9), from, 1);
    EXPECT_EQ(lengths, std::vector<int>{9});
    EXPECT_EQ(s.Slot(0)[9], 0xCC);  // beyond the datagram: the slot's fill

    for (int i = 1; i < 256; ++i) s.OnDatagram(Datagram(0x01), from, 1);
    EXPECT_EQ(s.WriteIndex(), 0);
    auto last = Datagram(0x09, 20);
    last[19] = 0x77;
    s.OnDatagram(last, from, 1);
    EXPECT_EQ(s.Slot(0)[19], 0x77);
    EXPECT_EQ(s.SlotLength(0), 20);
    EXPECT_EQ(s.WriteIndex(), 1);
}

TEST(BroadcastSocketNetwork, ReceivesOverUdpAndDropsOversizeDatagrams) {
    CBroadcastSocket s;
    ASSERT_TRUE(s.Create("127.0.0.1", 0));
    Recorded r;
    Record(s, r);
    QUdpSocket device;
    ASSERT_TRUE(device.bind(QHostAddress("127.0.0.7"), 0));
    const auto send = [&](const std::vector<uint8_t>& d) {
        device.writeDatagram(reinterpret_cast<const char*>(d.data()), d.size(),
                             QHostAddress("127.0.0.1"), s.LocalPort());
    };
    send(Datagram(0x01, 2001));
    send(Datagram(0x01, 3));  // shorter than the magic
    send(Datagram(0x03, 2000));
    ASSERT_TRUE(PumpUntil([&] { return r.deviceManagerSlots.size() == 1; }));
    EXPECT_EQ(s.WriteIndex(), 1);
    EXPECT_EQ(s.SlotLength(0), 2000);
    EXPECT_EQ(s.LastSenderText(), "127.0.0.7");
}

TEST(BroadcastSocketNetwork, BroadcastFromLoopbackReachesAListenerOnTheDevicePort) {
    CBroadcastSocket s;
    ASSERT_TRUE(s.Create("127.0.0.1", 0));
    QUdpSocket device;
    ASSERT_TRUE(device.bind(QHostAddress::AnyIPv4, 0));
    ASSERT_TRUE(s.Send(msg::BuildSearchRequest(), msg::kBroadcastAddress, device.localPort()));
    ASSERT_TRUE(PumpUntil([&] { return device.hasPendingDatagrams(); }));
    QByteArray got(device.pendingDatagramSize(), '\0');
    device.readDatagram(got.data(), got.size());
    EXPECT_EQ(got, msg::BuildSearchRequest());
}

// A failed bind names the address, the port and the reason, for the system log.
TEST(BroadcastSocketNetwork, AFailedCreateSaysWhereAndWhy) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress("127.0.0.1"), 0));
    const uint16_t taken = holder.localPort();
    struct Case {
        QString host;
        uint16_t port;
        QString reason;
    };
    const Case cases[] = {
        {"127.0.0.1", taken, "The bound address is already in use"},
        {"192.0.2.1", 0, "The address is not available"},
        {"", 25120, "not an IPv4 address"},
        {"127.0.0.1.5", 25120, "not an IPv4 address"},
    };
    for (const Case& c : cases) {
        CBroadcastSocket s;
        EXPECT_FALSE(s.Create(c.host, c.port));
        EXPECT_EQ(s.CreateFailure(), QString("Failed to bind broadcast socket to %1:%2: %3")
                                         .arg(c.host)
                                         .arg(c.port)
                                         .arg(c.reason));
    }
    CBroadcastSocket s;
    ASSERT_TRUE(s.Create("127.0.0.1", 0));
    EXPECT_TRUE(s.CreateFailure().isEmpty());
}

// Nothing goes out to a destination that is not an address: it must never become a broadcast.
TEST(BroadcastSocketNetwork, DestinationsThatAreNoAddressSendNothing) {
    CBroadcastSocket s;
    ASSERT_TRUE(s.Create("127.0.0.1", 0));
    for (const QString& bad : {QString(), QString(""), QString("device"), QString("1.2.3.4.5")})
        EXPECT_FALSE(s.Send(msg::BuildSearchRequest(), bad, 25122)) << bad.toStdString();
    CUnicastSocket unicast(0);
    for (const QString& bad :
         {QString(""), QString("localhost"), QString("255.255.255.255"), QString("0.0.0.0")}) {
        EXPECT_FALSE(unicast.Announce("127.0.0.1", bad, {0, 1})) << bad.toStdString();
        EXPECT_FALSE(unicast.Announce(bad, "127.0.0.9", {0, 1})) << bad.toStdString();
    }
    EXPECT_FALSE(unicast.IsCreated());
}

TEST(UnicastSocket, AnnouncementIsSentThreeTimes) {
    QUdpSocket device;
    ASSERT_TRUE(device.bind(QHostAddress("127.0.0.9"), msg::kDeviceProbePort));
    CUnicastSocket unicast(0);
    EXPECT_FALSE(unicast.IsCreated());
    ASSERT_TRUE(unicast.Announce("127.0.0.1", "127.0.0.9", {0x0F, 0xA1}));
    EXPECT_TRUE(unicast.IsCreated());
    std::vector<QByteArray> got;
    ASSERT_TRUE(PumpUntil([&] {
        while (device.hasPendingDatagrams()) {
            QByteArray d(device.pendingDatagramSize(), '\0');
            device.readDatagram(d.data(), d.size());
            got.push_back(d);
        }
        return got.size() == 3;
    }));
    for (const auto& d : got) EXPECT_EQ(d, msg::BuildHostAnnouncement(0x7F000001, {0x0F, 0xA1}));
}

TEST(OrvinSocket, ForwardsByKind) {
    struct Owner : OrvinSocketOwner {
        int vsp = 0, monitor = 0;
        void OnVspSocketData(COrvinSocket& s) override {
            ++vsp;
            while (s.hasPendingDatagrams()) s.receiveDatagram();
        }
        void OnMonitorSocketData(COrvinSocket& s) override {
            ++monitor;
            while (s.hasPendingDatagrams()) s.receiveDatagram();
        }
    } owner;
    COrvinSocket vsp(&owner, COrvinSocket::kVsp), mon(&owner, COrvinSocket::kMonitor),
        other(&owner, 3);
    for (auto* s : {&vsp, &mon, &other}) ASSERT_TRUE(s->bind(QHostAddress("127.0.0.1"), 0));
    QUdpSocket sender;
    for (auto* s : {&vsp, &mon, &other})
        sender.writeDatagram("x", 1, QHostAddress("127.0.0.1"), s->localPort());
    ASSERT_TRUE(PumpUntil([&] { return owner.vsp == 1 && owner.monitor == 1; }));
    PumpQuiet();
    EXPECT_EQ(owner.vsp, 1);
    EXPECT_EQ(owner.monitor, 1);
}
