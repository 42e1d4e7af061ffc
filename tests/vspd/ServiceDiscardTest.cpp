// What becomes of data that meets a port with nobody on one side: network data while no
// program holds the tty, the program's output while no link is wanted, and flushes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <future>

#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"

using namespace vspd;

namespace {

constexpr int kLimitMs = 10000;
constexpr uint64_t kServiceQueue = 64 * 1024;  // the service's queue towards the tty
// What the service writes into the tty before the program reads: one paced write, and one
// more if the program has not read for a quarter of a second.
constexpr size_t kTtyHeld = 2 * 16384;

bool SendAll(int fd, const Bytes& data) {
    for (size_t sent = 0; sent < data.size();) {
        if (!WaitWritable(fd, kLimitMs)) return false;
        ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_DONTWAIT);
        if (n > 0) sent += size_t(n);
    }
    return true;
}

// In how many pieces got is found in data, in order and without overlaps; SIZE_MAX when
// it is not.
size_t Runs(const Bytes& got, const Bytes& data) {
    constexpr size_t kProbe = 16;  // random bytes: a probe this long is found in one place
    size_t runs = 0;
    auto at = data.begin();
    for (auto g = got.begin(); g != got.end();) {
        auto probe = g + long(std::min<size_t>(kProbe, size_t(got.end() - g)));
        at = std::search(at, data.end(), g, probe);
        if (at == data.end()) return SIZE_MAX;
        ++runs;
        while (g != got.end() && at != data.end() && *g == *at) ++g, ++at;
    }
    return runs;
}

class ServiceDiscard : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.Start());
        service.Install(5);
        port = std::make_unique<PortSession>(service, service.PathOf(5), true);
        uint16_t p = 0;
        listener = TcpListen(&p);
        EXPECT_EQ(port->Configure(ClientConfig(p, kProtocolTcp)), 0u);
        EXPECT_EQ(port->Connect(), 0u);
        peer = AcceptWithin(listener.get(), kLimitMs);
        ASSERT_TRUE(peer.valid());
    }
    PortEntry Entry() const { return service.EntryOf(5); }
    // What the remote has not sent yet, or has sent and not had acknowledged.
    size_t PeerBacklog() const {
        int queued = -1;
        return ioctl(peer.get(), SIOCOUTQ, &queued) == 0 ? size_t(queued) : SIZE_MAX;
    }
    Fd OpenHeld() {
        Fd tty = OpenTty(service.ComLink(5));
        EXPECT_TRUE(PollUntil([&] { return Entry().ttyOpen != 0; }, kLimitMs));
        return tty;
    }
    // Reads exactly what the remote sends now, and nothing besides.
    void ExpectOnly(int tty, const Bytes& data) {
        PumpSide program{tty}, remote{peer.get()};
        remote.send = data;
        ASSERT_TRUE(Pump(program, remote, data.size(), 0, kLimitMs));
        EXPECT_TRUE(program.received == data) << program.received.size() << " bytes";
        EXPECT_TRUE(ReadSome(tty, 1, 100).empty());
    }

    VspdProcess service;
    std::unique_ptr<PortSession> port;
    Fd listener;
    Fd peer;
};

TEST_F(ServiceDiscard, DataBeforeAnyProgramOpensThePortIsCountedAndNeverDelivered) {
    Bytes early = RandomBytes(10000, 1);
    ASSERT_EQ(send(peer.get(), early.data(), early.size(), 0), ssize_t(early.size()));
    ASSERT_TRUE(PollUntil([&] { return Entry().droppedFromNet == early.size(); }, kLimitMs));
    Fd tty = OpenHeld();
    ExpectOnly(tty.get(), {'n', 'o', 'w'});
    EXPECT_EQ(Entry().bytesFromNet, early.size() + 3);
    EXPECT_EQ(Entry().droppedFromNet, early.size());
}

TEST_F(ServiceDiscard, AProgramThatReopensMidStreamGetsExactlyWhatCameAfter) {
    Fd tty = OpenHeld();
    // It reads a part and leaves the rest unread in the tty and the service.
    Bytes first = RandomBytes(200000, 2);
    ASSERT_TRUE(SendAll(peer.get(), first));
    Bytes part = ReadSome(tty.get(), 1000, kLimitMs);
    ASSERT_FALSE(part.empty());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), first.begin()));
    tty.reset();
    ASSERT_TRUE(PollUntil([&] { return Entry().ttyOpen == 0; }, kLimitMs));
    Bytes meanwhile = RandomBytes(5000, 3);
    uint64_t dropped = Entry().droppedFromNet;
    ASSERT_EQ(send(peer.get(), meanwhile.data(), meanwhile.size(), 0), ssize_t(meanwhile.size()));
    ASSERT_TRUE(PollUntil([&] { return Entry().droppedFromNet >= dropped + 5000; }, kLimitMs));
    // Every byte it did not read was dropped and counted.
    ASSERT_TRUE(PollUntil([&] { return Entry().bytesFromNet == first.size() + meanwhile.size(); },
                          kLimitMs));
    EXPECT_EQ(Entry().droppedFromNet, Entry().bytesFromNet - part.size());

    tty = OpenHeld();
    ExpectOnly(tty.get(), RandomBytes(100000, 4));
}

// An open at once after a close may meet what the service had written into the tty and
// the previous program had not read (the service writes a chunk at a time, as the program
// reads). What waited in the service's queue does not follow, except what the socket still
// held when the previous program had stopped reading; nothing comes twice or out of order,
// and every byte is delivered or counted.
TEST_F(ServiceDiscard, AnOpenAtOnceMeetsLittleOfWhatThePreviousProgramLeft) {
    Fd tty = OpenHeld();
    uint64_t delivered = 0;
    for (uint32_t round = 0; round < 64; ++round) {
        SCOPED_TRACE(round);
        // Now and then more than the tty and the service's queue hold: the rest waits in
        // the socket, and perhaps at the remote.
        bool large = round % 8 == 7;
        Bytes unread = RandomBytes(large ? 160 * 1024 : 1000 + round * 97, 10 + round);
        uint64_t taken = Entry().bytesFromNet + (large ? kServiceQueue : unread.size());
        ASSERT_TRUE(SendAll(peer.get(), unread));
        ASSERT_TRUE(PollUntil([&] { return Entry().bytesFromNet >= taken; }, kLimitMs));
        tty.reset();
        tty = OpenTty(service.ComLink(5));
        Bytes got = ReadSome(tty.get(), unread.size(), 20);
        ASSERT_TRUE(PollUntil(
            [&] {
                Bytes more = ReadSome(tty.get(), unread.size(), 0);
                got.insert(got.end(), more.begin(), more.end());
                PortEntry e = Entry();
                return e.ttyOpen != 0 && PeerBacklog() == 0 &&
                       e.droppedFromNet == e.bytesFromNet - delivered - got.size();
            },
            kLimitMs))
            << Entry().droppedFromNet << " of " << Entry().bytesFromNet - delivered << " counted";
        // Parts of what the tty held (the service reads it out while the new program may
        // read too), then in large rounds perhaps what the socket held from some point on.
        EXPECT_LE(Runs(got, unread), 3u) << got.size() << " bytes came";
        if (!large) EXPECT_LE(got.size(), kTtyHeld);
        delivered += got.size();
        ExpectOnly(tty.get(), {'n', 'e', 'w'});
        delivered += 3;
    }
}

TEST_F(ServiceDiscard, AFlushDropsWhatTheServiceHolds) {
    Fd tty = OpenHeld();
    // Fills the tty and the service's queue, until all has left the peer.
    Bytes old = RandomBytes(160 * 1024, 5);
    ASSERT_TRUE(SendAll(peer.get(), old));
    ASSERT_TRUE(PollUntil([&] { return PeerBacklog() == 0; }, kLimitMs));
    ASSERT_EQ(tcflush(tty.get(), TCIFLUSH), 0);
    ASSERT_TRUE(PollUntil([&] { return Entry().droppedFromNet > 0; }, kLimitMs));
    ExpectOnly(tty.get(), {'f', 'r', 'e', 's', 'h'});
}

TEST_F(ServiceDiscard, AWriterOnAPortWithoutLinkNeverBlocks) {
    EXPECT_EQ(port->Disconnect(), 0u);
    Fd tty(open(service.ComLink(5).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));  // blocking
    ASSERT_TRUE(tty.valid());
    Bytes data = RandomBytes(1024 * 1024, 6);
    auto writer = std::async(std::launch::async, [&] {
        for (size_t done = 0; done < data.size();) {
            ssize_t n = write(tty.get(), data.data() + done, data.size() - done);
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    });
    ASSERT_EQ(writer.wait_for(std::chrono::milliseconds(kLimitMs)), std::future_status::ready)
        << "the writer blocks";
    EXPECT_TRUE(writer.get());
    ASSERT_TRUE(PollUntil([&] { return Entry().droppedToNet == data.size(); }, kLimitMs));
    EXPECT_EQ(Entry().bytesToNet, 0u);
    // Nothing of it reaches the next connection.
    EXPECT_EQ(port->Connect(), 0u);
    Fd next = AcceptWithin(listener.get(), kLimitMs);
    ASSERT_TRUE(next.valid());
    EXPECT_TRUE(ReadSome(next.get(), 1, 200).empty());
}

}  // namespace
