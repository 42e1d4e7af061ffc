// Serial data through veltro-vspd's ports to real peers on loopback, and the outcomes
// of connection attempts.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"
#include "vspd/WinErrors.h"

using namespace vspd;

namespace {

constexpr int kLimitMs = 10000;
constexpr uint32_t kUdpPacket = 512;

class ServiceData : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.Start());
        service.Install(5);
        path = service.PathOf(5);
    }
    // A management session, so that the test's own tty does not make the port busy.
    std::unique_ptr<PortSession> Port() {
        return std::make_unique<PortSession>(service, path, true);
    }

    VspdProcess service;
    std::string path;
};

// Connects the port as a TCP client to a new listener of the test's (*listener, on
// *listenPort); returns the accepted connection.
Fd ConnectToListener(PortSession& port, Fd* listener, uint16_t* listenPort = nullptr) {
    uint16_t p = 0;
    *listener = TcpListen(&p);
    if (listenPort) *listenPort = p;
    EXPECT_EQ(port.Configure(ClientConfig(p, kProtocolTcp)), 0u);
    EXPECT_EQ(port.Connect(), 0u);
    return AcceptWithin(listener->get(), kLimitMs);
}

enum class Mode { TcpClient, UdpClient, TcpServer, UdpServer };

class ServiceModes : public ServiceData, public ::testing::WithParamInterface<Mode> {};

// The remote side as a test-owned socket, connected to the port as the mode wants.
struct Remote {
    Fd fd;
    Fd listener;
    PumpSide side;
};

Remote SetUpRemote(Mode mode, PortSession& port) {
    Remote r;
    uint16_t p = 0;
    switch (mode) {
        case Mode::TcpClient:
            r.fd = ConnectToListener(port, &r.listener);
            break;
        case Mode::UdpClient:
            r.fd = UdpBind(&p);
            EXPECT_EQ(port.Configure(ClientConfig(p, kProtocolUdp, kUdpPacket)), 0u);
            EXPECT_EQ(port.Connect(), 0u);
            // The port's own UDP port is what it reports for the host announcement.
            r.side.dest = Loopback(port.Info().reportedPort);
            r.side.hasDest = true;
            r.side.datagram = true;
            break;
        case Mode::TcpServer:
            p = FreePort();
            EXPECT_EQ(port.Configure(ServerConfig(p, kProtocolTcp)), 0u);
            EXPECT_EQ(port.Listen(), 0u);
            r.fd = TcpConnect(p);
            break;
        case Mode::UdpServer:
            p = FreePort();
            EXPECT_EQ(port.Configure(ServerConfig(p, kProtocolUdp, kUdpPacket)), 0u);
            EXPECT_EQ(port.Listen(), 0u);
            EXPECT_EQ(port.Info().reportedPort, p);
            r.fd = UdpBind(&(p = 0));
            r.side.dest = Loopback(port.Info().remotePort);
            r.side.hasDest = true;
            r.side.datagram = true;
            break;
    }
    r.side.fd = r.fd.get();
    r.side.chunk = r.side.datagram ? kUdpPacket : 16384;
    return r;
}

TEST_P(ServiceModes, DataArrivesByteForByteBothWays) {
    auto port = Port();
    Remote remote = SetUpRemote(GetParam(), *port);
    ASSERT_TRUE(remote.fd.valid());
    EXPECT_NE(port->Info().connected, 0u);
    Fd tty = OpenTty(service.ComLink(5));
    ASSERT_TRUE(tty.valid());

    bool udp = remote.side.datagram;
    size_t size = udp ? 64 * 1024 : 1024 * 1024;
    PumpSide local;
    local.fd = tty.get();
    local.send = RandomBytes(size, 1);
    local.datagram = udp;  // paced, so that no datagram is lost on the way
    local.chunk = udp ? 1000 : 16384;
    remote.side.send = RandomBytes(size, 2);
    ASSERT_TRUE(Pump(local, remote.side, size, size, kLimitMs))
        << local.received.size() << " / " << remote.side.received.size();
    EXPECT_TRUE(local.received == remote.side.send);
    EXPECT_TRUE(remote.side.received == local.send);
    if (udp) {
        for (size_t d : remote.side.datagramSizes) EXPECT_LE(d, kUdpPacket);
    }
    auto entry = service.EntryOf(5);
    EXPECT_EQ(entry.bytesToNet, size);
    EXPECT_EQ(entry.bytesFromNet, size);
}

INSTANTIATE_TEST_SUITE_P(AllModes, ServiceModes,
                         ::testing::Values(Mode::TcpClient, Mode::UdpClient, Mode::TcpServer,
                                           Mode::UdpServer));

TEST_F(ServiceData, SocatPeersEchoWhatTheTtyWrites) {
    auto port = Port();
    Bytes data = RandomBytes(128 * 1024, 3);
    uint16_t p = FreePort();
    {
        Child echo({"socat", "TCP4-LISTEN:" + std::to_string(p) + ",bind=127.0.0.1,reuseaddr,fork",
                    "PIPE"});
        ASSERT_TRUE(WaitTcpListening(p, kLimitMs));
        EXPECT_EQ(port->Configure(ClientConfig(p, kProtocolTcp)), 0u);
        EXPECT_EQ(port->Connect(), 0u);
        Fd tty = OpenTty(service.ComLink(5));
        EXPECT_TRUE(EchoThrough(tty.get(), data, 8192, kLimitMs) == data) << "tcp client";
        EXPECT_EQ(port->Disconnect(), 0u);
    }
    {
        Child echo({"socat", "UDP4-LISTEN:" + std::to_string(p) + ",bind=127.0.0.1", "PIPE"});
        EXPECT_EQ(port->Configure(ClientConfig(p, kProtocolUdp)), 0u);
        EXPECT_EQ(port->Connect(), 0u);
        Fd tty = OpenTty(service.ComLink(5));
        // socat may not listen yet when the first datagram leaves: resend until it echoes.
        ASSERT_TRUE(
            PollUntil([&] { return EchoThrough(tty.get(), {1}, 1, 100) == Bytes{1}; }, kLimitMs));
        EXPECT_TRUE(EchoThrough(tty.get(), data, 1000, kLimitMs) == data) << "udp client";
        EXPECT_EQ(port->Disconnect(), 0u);
    }
    {
        EXPECT_EQ(port->Configure(ServerConfig(p, kProtocolTcp)), 0u);
        EXPECT_EQ(port->Listen(), 0u);
        Child device({"socat", "TCP4:127.0.0.1:" + std::to_string(p), "PIPE"});
        ASSERT_TRUE(PollUntil([&] { return service.EntryOf(5).peerPort != 0; }, kLimitMs));
        Fd tty = OpenTty(service.ComLink(5));
        EXPECT_TRUE(EchoThrough(tty.get(), data, 8192, kLimitMs) == data) << "tcp server";
    }
}

TEST_F(ServiceData, RefusedAndUnreachableRemotesFailWithTheirCodes) {
    auto port = Port();
    EXPECT_EQ(port->Configure(ClientConfig(FreePort(), kProtocolTcp)), 0u);
    EXPECT_EQ(port->Connect(), winerr::kConnectionRefused);
    EXPECT_EQ(port->Info().connected, 0u);

    // A listener whose accept queue is full drops further SYNs: the remote never answers.
    uint16_t p = 0;
    Fd full = TcpListen(&p, 0);
    Fd queued = TcpConnect(p);
    ASSERT_TRUE(queued.valid());
    EXPECT_EQ(port->Configure(ClientConfig(p, kProtocolTcp)), 0u);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port->Connect(), winerr::kSemTimeout);
    // The bound is 1 s here; a loaded machine may answer late, never early.
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_LT(took, std::chrono::milliseconds(kLimitMs));
    EXPECT_EQ(port->Info().connected, 0u);

    // No remote configured.
    EXPECT_EQ(port->Configure(ClientConfig(0, kProtocolTcp)), 0u);
    EXPECT_EQ(port->Connect(), winerr::kInvalidParameter);
}

TEST_F(ServiceData, DisconnectionCancelsAPendingAttempt) {
    uint16_t p = 0;
    Fd full = TcpListen(&p, 0);
    Fd queued = TcpConnect(p);
    auto waiting = Port();
    EXPECT_EQ(waiting->Configure(ClientConfig(p, kProtocolTcp)), 0u);
    std::thread attempt([&] { EXPECT_EQ(waiting->Connect(), winerr::kConnectionAborted); });
    ASSERT_TRUE(
        PollUntil([&] { return service.EntryOf(5).state == PortState::Connecting; }, kLimitMs));
    EXPECT_EQ(Port()->Disconnect(), 0u);
    attempt.join();
}

TEST_F(ServiceData, AServerWhosePeerLeavesTakesTheNextOne) {
    auto port = Port();
    Fd tty = OpenTty(service.ComLink(5));
    uint16_t listen = FreePort();
    EXPECT_EQ(port->Configure(ServerConfig(listen, kProtocolTcp)), 0u);
    EXPECT_EQ(port->Listen(), 0u);
    Fd first = TcpConnect(listen);
    ASSERT_TRUE(PollUntil([&] { return service.EntryOf(5).peerPort != 0; }, kLimitMs));
    first.reset();
    ASSERT_TRUE(PollUntil([&] { return service.EntryOf(5).peerPort == 0; }, kLimitMs));
    EXPECT_NE(port->Info().connected, 0u);  // still listening
    Fd second = TcpConnect(listen);
    ASSERT_TRUE(second.valid());
    ASSERT_TRUE(PollUntil([&] { return service.EntryOf(5).peerPort != 0; }, kLimitMs));
    PumpSide device{second.get()}, program{tty.get()};
    device.send = {'o', 'k'};
    ASSERT_TRUE(Pump(program, device, 2, 0, kLimitMs));
}

TEST_F(ServiceData, NewSettingsTakeEffectAtTheNextConnectionRequest) {
    auto port = Port();
    uint16_t p = 0, other = 0;
    Fd listener;
    Fd peer = ConnectToListener(*port, &listener, &p);
    Fd otherListener = TcpListen(&other);
    Fd tty = OpenTty(service.ComLink(5));

    // Storing settings leaves the link alone.
    EXPECT_EQ(port->Configure(ClientConfig(other, kProtocolTcp, 100)), 0u);
    EXPECT_NE(port->Info().connected, 0u);
    EXPECT_EQ(port->Info().remotePort, other);
    PumpSide remote{peer.get()}, local{tty.get()};
    local.send = RandomBytes(50000, 5);
    remote.send = RandomBytes(50000, 6);
    ASSERT_TRUE(Pump(local, remote, 50000, 50000, kLimitMs));
    EXPECT_TRUE(remote.received == local.send);
    EXPECT_TRUE(local.received == remote.send);

    // A connection request makes the link anew with them; the old peer sees the end.
    EXPECT_EQ(port->Connect(), 0u);
    Fd moved = AcceptWithin(otherListener.get(), kLimitMs);
    ASSERT_TRUE(moved.valid());
    EXPECT_TRUE(ReadSome(peer.get(), 10, kLimitMs).empty());
    uint16_t newPeerPort = service.EntryOf(5).peerPort;
    EXPECT_EQ(newPeerPort, other);
    PumpSide device{moved.get()}, program{tty.get()};
    program.send = {'n', 'e', 'w'};
    ASSERT_TRUE(Pump(program, device, 0, 3, kLimitMs));

    // With nothing changed, a request keeps the link.
    EXPECT_EQ(port->Connect(), 0u);
    EXPECT_FALSE(WaitReadable(moved.get(), 200));
    EXPECT_EQ(service.EntryOf(5).peerPort, other);
}

TEST_F(ServiceData, SlowTtyReaderHoldsTheRemoteBackWithoutLoss) {
    auto port = Port();
    Fd listener;
    Fd peer = ConnectToListener(*port, &listener);
    Fd tty = OpenTty(service.ComLink(5));

    // Nobody reads the tty: the remote's writes stall once the buffers on the way are full.
    Bytes data = RandomBytes(8 * 1024 * 1024, 7);
    size_t accepted = 0;
    while (accepted < data.size() && WaitWritable(peer.get(), 200)) {
        ssize_t n = send(peer.get(), data.data() + accepted, data.size() - accepted, MSG_DONTWAIT);
        if (n > 0) accepted += size_t(n);
    }
    EXPECT_LT(accepted, data.size());
    PumpSide remote{peer.get()}, local{tty.get()};
    remote.send.assign(data.begin() + long(accepted), data.end());
    ASSERT_TRUE(Pump(local, remote, data.size(), 0, 30000));
    EXPECT_TRUE(local.received == data);
}

TEST_F(ServiceData, AClosedTtyCostsNoTimeSendsItsLastWordsAndGetsNothingOld) {
    auto port = Port();
    Fd listener;
    Fd peer = ConnectToListener(*port, &listener);
    for (int round = 0; round < 5; ++round) {
        Fd tty = OpenTty(service.ComLink(5));
        ASSERT_EQ(write(tty.get(), "last words", 10), 10);
    }
    Bytes received;
    ASSERT_TRUE(PollUntil(
        [&] {
            Bytes more = ReadSome(peer.get(), 1000, 0);
            received.insert(received.end(), more.begin(), more.end());
            return received.size() >= 50;
        },
        kLimitMs))
        << received.size() << " received; the service sent " << service.EntryOf(5).bytesToNet
        << " and dropped " << service.EntryOf(5).droppedToNet;
    std::string expected;
    for (int round = 0; round < 5; ++round) expected += "last words";
    EXPECT_EQ(std::string(received.begin(), received.end()), expected);

    // Data from the remote while no program holds the tty is discarded, at no cost.
    ASSERT_EQ(send(peer.get(), "while closed", 12, 0), 12);
    ASSERT_TRUE(PollUntil([&] { return service.EntryOf(5).droppedFromNet == 12; }, kLimitMs));
    // A spinning service would take most of a CPU over the window, even on a loaded machine.
    long before = CpuTicks(service.Pid());
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_LE(CpuTicks(service.Pid()) - before, 10) << "the service spins on a hung-up master";
    Fd tty = OpenTty(service.ComLink(5));
    ASSERT_TRUE(PollUntil([&] { return service.EntryOf(5).ttyOpen != 0; }, kLimitMs));
    PumpSide local{tty.get()}, remote{peer.get()};
    remote.send = {'n', 'e', 'w'};
    ASSERT_TRUE(Pump(local, remote, 3, 0, kLimitMs));
    EXPECT_EQ(std::string(local.received.begin(), local.received.end()), "new");
}

}  // namespace
