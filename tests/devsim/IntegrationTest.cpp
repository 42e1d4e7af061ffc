#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/ManualClock.h"
#include "protocol/BroadcastSocket.h"
#include "tests/devsim/HostSocket.h"
#include "tools/devsim/SimRecords.h"

using namespace devsim;

namespace {

constexpr uint32_t kBase = 0x7F004F0A;  // 127.0.79.10
constexpr int kDevices = 8;

struct Seen {
    int slot;
    int command;
    QByteArray bytes;
    uint32_t sender;
};

void Record(CBroadcastSocket& socket, std::vector<Seen>& dm, std::vector<Seen>& monitor) {
    const auto keep = [](std::vector<Seen>& into) {
        return [&into](const ReceivedDatagram& d) {
            into.push_back({d.slotIndex, d.Command(),
                            QByteArray(reinterpret_cast<const char*>(d.slot.data()), d.length),
                            d.sender.toIPv4Address()});
        };
    };
    socket.SetDeviceManagerHandler(keep(dm));
    socket.SetMonitorHandler(keep(monitor));
}

}  // namespace

TEST(DevsimIntegration, ABroadcastSearchReachesEveryDeviceAndEachReplyLandsInTheRingOnce) {
    ManualClock clock;
    DeviceSimulator sim(clock, TestOptions(kBase));
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(sim.AddDevices(kDevices));
    CBroadcastSocket socket;
    ASSERT_TRUE(socket.Create(QStringLiteral("127.0.0.1"), 0));
    std::vector<Seen> dm, monitor;
    Record(socket, dm, monitor);

    ASSERT_TRUE(
        socket.Send(msg::BuildSearchRequest(), msg::kBroadcastAddress, kTestManagementPort));
    ASSERT_TRUE(PumpUntilCount(dm, kDevices));
    PumpQuiet();
    ASSERT_EQ(dm.size(), static_cast<size_t>(kDevices));
    EXPECT_TRUE(monitor.empty());
    EXPECT_EQ(socket.WriteIndex(), kDevices);

    std::set<int> usedSlots;
    std::map<uint32_t, int> perDevice;
    for (const Seen& s : dm) {
        usedSlots.insert(s.slot);
        ++perDevice[s.sender];
        SimDevice* d = sim.FindByAddress(s.sender);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(s.command, msg::kSearchReply);
        EXPECT_EQ(socket.SlotLength(s.slot), 756);
        EXPECT_EQ(s.bytes, ReplyImage(d->StoredRecord(), msg::kSearchReply));
        EXPECT_TRUE(std::equal(s.bytes.begin(), s.bytes.end(), socket.Slot(s.slot).begin(),
                               [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
    }
    EXPECT_EQ(usedSlots.size(), static_cast<size_t>(kDevices));
    EXPECT_EQ(perDevice.size(), static_cast<size_t>(kDevices));
    for (int i = 0; i < kDevices; ++i) {
        EXPECT_EQ(sim.Device(i).CountReceived(msg::kSearchRequest), 1);
        EXPECT_EQ(sim.Device(i).Received()[0].senderPort, socket.LocalPort());
    }
}

TEST(DevsimIntegration, EveryDirectedCommandReachesTheHandlerThatWantsItsAnswer) {
    ManualClock clock;
    DeviceSimulator sim(clock, TestOptions(kBase + 20));
    SimDevice* d = sim.AddDevice(DefaultProfile(0));
    ASSERT_NE(d, nullptr);
    CBroadcastSocket socket;
    ASSERT_TRUE(socket.Create(QStringLiteral("127.0.0.1"), 0));
    std::vector<Seen> dm, monitor;
    Record(socket, dm, monitor);
    const QString to = d->AddressText();

    socket.Send(msg::BuildStatusQuery(), to, kTestManagementPort);
    ASSERT_TRUE(PumpUntilCount(monitor, 1));
    EXPECT_EQ(monitor[0].bytes, BuildStatusReply(d->Profile().status));

    socket.Send(BuildSetupCommand(d->StoredRecord(), d->MacAddress()).ToByteArray(), to,
                kTestManagementPort);
    ASSERT_TRUE(PumpUntilCount(dm, 1));
    clock.Advance(d->Profile().restartMs);
    socket.Send(msg::BuildRestoreCommand(d->StoredRecord().bytes()), to, kTestManagementPort);
    ASSERT_TRUE(PumpUntilCount(dm, 2));
    clock.Advance(d->Profile().restartMs);
    socket.Send(msg::BuildRebootCommand(d->StoredRecord().bytes()), to, kTestManagementPort);
    ASSERT_TRUE(PumpUntilCount(dm, 3));
    EXPECT_EQ(dm[0].command, msg::kSetupReply);
    EXPECT_EQ(dm[1].command, msg::kRestoreAck);
    EXPECT_EQ(dm[2].command, msg::kRebootAck);
    EXPECT_EQ(socket.WriteIndex(), 4);
}
