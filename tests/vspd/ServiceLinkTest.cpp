// Links that drop and come back, and server ports that keep their peer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"
#include "vspd/WinErrors.h"

using namespace vspd;

namespace {

constexpr int kLimitMs = 10000;
constexpr size_t kQueueBound = 64 * 1024;
constexpr uint32_t kSecondLoopback = 0x7F000002;  // 127.0.0.2, also on lo

class ServiceLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.Start());
        service.Install(5);
        port = std::make_unique<PortSession>(service, service.PathOf(5), true);
    }
    PortEntry Entry() const { return service.EntryOf(5); }
    bool Connected() { return port->Info().connected != 0; }

    VspdProcess service{{.extraArgs = {"--reconnect-ms", "50", "--reconnect-max-ms", "400"}}};
    std::unique_ptr<PortSession> port;
};

// One connection, then it ends: a probe of ours would use it up.
std::unique_ptr<Child> SocatEcho(uint16_t port) {
    return std::make_unique<Child>(std::vector<std::string>{
        "socat", "TCP4-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr", "PIPE"});
}

TEST_F(ServiceLink, ADroppedClientLinkComesBackAndCarriesTheOutputOfTheGap) {
    uint16_t p = FreePort();
    auto echo = SocatEcho(p);
    EXPECT_EQ(port->Configure(ClientConfig(p, kProtocolTcp)), 0u);
    ASSERT_TRUE(PollUntil([&] { return port->Connect() == 0; }, kLimitMs));
    Fd tty = OpenTty(service.ComLink(5));
    Bytes before = RandomBytes(10000, 1);
    ASSERT_TRUE(EchoThrough(tty.get(), before, 4096, kLimitMs) == before);

    echo.reset();  // the device goes away
    ASSERT_TRUE(PollUntil([&] { return !Connected(); }, kLimitMs));
    // The program's output meanwhile is kept up to the bound; the rest is counted.
    Bytes gap = RandomBytes(kQueueBound + 30000, 2);
    for (size_t sent = 0; sent < gap.size();) {
        ASSERT_TRUE(WaitWritable(tty.get(), kLimitMs)) << "the writer is held at " << sent;
        ssize_t n = write(tty.get(), gap.data() + sent, gap.size() - sent);
        if (n > 0) sent += size_t(n);
    }
    ASSERT_TRUE(
        PollUntil([&] { return Entry().droppedToNet == gap.size() - kQueueBound; }, kLimitMs));

    echo = SocatEcho(p);  // back: the port reconnects by itself
    Bytes back;
    ASSERT_TRUE(PollUntil(
        [&] {
            Bytes more = ReadSome(tty.get(), kQueueBound, 0);
            back.insert(back.end(), more.begin(), more.end());
            return back.size() >= kQueueBound;
        },
        kLimitMs));
    EXPECT_TRUE(back == Bytes(gap.begin(), gap.begin() + long(kQueueBound)));
    EXPECT_TRUE(Connected());
    Bytes after = RandomBytes(10000, 3);
    EXPECT_TRUE(EchoThrough(tty.get(), after, 4096, kLimitMs) == after);
}

TEST_F(ServiceLink, ADisconnectedPortStaysDown) {
    uint16_t p = 0;
    Fd listener = TcpListen(&p);
    EXPECT_EQ(port->Configure(ClientConfig(p, kProtocolTcp)), 0u);
    EXPECT_EQ(port->Connect(), 0u);
    Fd first = AcceptWithin(listener.get(), kLimitMs);
    EXPECT_EQ(port->Disconnect(), 0u);
    EXPECT_TRUE(ReadSome(first.get(), 1, kLimitMs).empty());
    EXPECT_FALSE(WaitReadable(listener.get(), 500)) << "a link closed by request came back";
}

TEST_F(ServiceLink, ASecondConnectionToAServerPortIsRefused) {
    uint16_t p = FreePort();
    EXPECT_EQ(port->Configure(ServerConfig(p, kProtocolTcp)), 0u);
    EXPECT_EQ(port->Listen(), 0u);
    Fd device = TcpConnect(p);
    ASSERT_TRUE(PollUntil([&] { return Entry().peerPort != 0; }, kLimitMs));
    uint16_t devicePort = Entry().peerPort;
    Fd tty = OpenTty(service.ComLink(5));

    Fd intruder = TcpConnect(p);
    ASSERT_TRUE(intruder.valid());
    EXPECT_TRUE(ReadSome(intruder.get(), 100, kLimitMs).empty()) << "closed at once";
    EXPECT_EQ(Entry().peerPort, devicePort);

    PumpSide remote{device.get()}, program{tty.get()};
    remote.send = RandomBytes(200000, 4);
    program.send = RandomBytes(200000, 5);
    ASSERT_TRUE(Pump(program, remote, 200000, 200000, kLimitMs));
    EXPECT_TRUE(program.received == remote.send);
    EXPECT_TRUE(remote.received == program.send);

    // A peer that is gone (reset here; keep-alive giving up ends the same way) leaves a
    // line in the log, and the next one is taken.
    linger reset{1, 0};
    ASSERT_EQ(setsockopt(device.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof(reset)), 0);
    device.reset();
    std::string gone = "the connection from 127.0.0.1:" + std::to_string(devicePort) +
                       " ended (Connection reset by peer); waiting for the next";
    EXPECT_TRUE(
        PollUntil([&] { return service.LogText().find(gone) != std::string::npos; }, kLimitMs))
        << service.LogText();
    EXPECT_NE(service.LogText().find("refused a connection from 127.0.0.1"), std::string::npos);
    Fd next = TcpConnect(p);
    PumpSide nextRemote{next.get()}, reader{tty.get()};
    nextRemote.send = {'n', 'e', 'x', 't'};
    ASSERT_TRUE(Pump(reader, nextRemote, 4, 0, kLimitMs));
    EXPECT_TRUE(reader.received == nextRemote.send);
}

TEST_F(ServiceLink, AUdpServerKeepsItsFirstSendersAddress) {
    uint16_t p = FreePort();
    EXPECT_EQ(port->Configure(ServerConfig(p, kProtocolUdp)), 0u);
    EXPECT_EQ(port->Listen(), 0u);
    Fd tty = OpenTty(service.ComLink(5));
    ASSERT_TRUE(PollUntil([&] { return Entry().ttyOpen != 0; }, kLimitMs));
    sockaddr_in dest = Loopback(p);
    auto sendFrom = [&](int fd, const char* text) {
        sendto(fd, text, strlen(text), 0, reinterpret_cast<sockaddr*>(&dest), sizeof(dest));
    };
    uint16_t any = 0;
    Fd device = UdpBind(&any);
    sendFrom(device.get(), "one");
    Bytes got = ReadSome(tty.get(), 100, kLimitMs);
    EXPECT_EQ(std::string(got.begin(), got.end()), "one");

    Fd stranger(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in other = Loopback(0);
    other.sin_addr.s_addr = htonl(kSecondLoopback);
    ASSERT_EQ(bind(stranger.get(), reinterpret_cast<sockaddr*>(&other), sizeof(other)), 0);
    sendFrom(stranger.get(), "bad");
    ASSERT_TRUE(PollUntil([&] { return Entry().strangerDatagrams == 1; }, kLimitMs));

    // The device restarted: same address, new source port.
    any = 0;
    Fd restarted = UdpBind(&any);
    sendFrom(restarted.get(), "two");
    got = ReadSome(tty.get(), 100, kLimitMs);
    EXPECT_EQ(std::string(got.begin(), got.end()), "two");
    ASSERT_EQ(write(tty.get(), "back", 4), 4);
    got = ReadSome(restarted.get(), 100, kLimitMs);
    EXPECT_EQ(std::string(got.begin(), got.end()), "back");
}

TEST_F(ServiceLink, AServerListensOnTheConfiguredAddressOnly) {
    uint16_t p = FreePort();
    RemoteInfoRequest config = ServerConfig(p, kProtocolTcp);
    config.hostIp = kSecondLoopback;
    EXPECT_EQ(port->Configure(config), 0u);
    EXPECT_EQ(port->Listen(), 0u);
    EXPECT_FALSE(TcpConnect(p).valid()) << "127.0.0.1 is not the configured address";
    Fd device(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in to = Loopback(p);
    to.sin_addr.s_addr = htonl(kSecondLoopback);
    EXPECT_EQ(connect(device.get(), reinterpret_cast<sockaddr*>(&to), sizeof(to)), 0);

    // An address of no interface here cannot be listened on (bound only, nothing is sent).
    EXPECT_EQ(port->Disconnect(), 0u);
    config.hostIp = 0xC0000201;  // 192.0.2.1, a documentation address
    EXPECT_EQ(port->Configure(config), 0u);
    EXPECT_EQ(port->Listen(), winerr::kInvalidParameter);
}

}  // namespace
