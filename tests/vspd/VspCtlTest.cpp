// veltro-vspctl against a running service, as a user or a script drives it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"
#include "vspd/DriverRequests.h"
#include "vspd/VspdPaths.h"

namespace {

struct Result {
    int status = -1;
    std::string output;
};

class VspCtl : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(service.Start()); }
    Result Run(const std::string& args) {
        std::string command = std::string(VELTRO_VSPCTL_BINARY) + " --socket " + service.Socket() +
                              " " + args + " 2>&1";
        Result r;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        while (size_t n = fread(buffer, 1, sizeof(buffer), pipe)) r.output.append(buffer, n);
        int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
    VspdProcess service;
};

TEST_F(VspCtl, AddConfigureConnectListenRenumberMapRemove) {
    EXPECT_EQ(Run("add").output, "COM1 ROOT\\PORTS\\0000\n");  // the lowest free number
    EXPECT_EQ(Run("add COM7").output, "COM7 ROOT\\PORTS\\0001\n");
    EXPECT_NE(Run("add COM7").status, 0);

    uint16_t p = 0;
    Fd listener = TcpListen(&p);
    std::string remote = "127.0.0.1:" + std::to_string(p);
    EXPECT_EQ(
        Run("configure COM7 tcp client --remote " + remote + " --packet 512 --at-start on").status,
        0);
    EXPECT_EQ(Run("connect COM7").status, 0);
    Fd peer = AcceptWithin(listener.get(), 5000);
    ASSERT_TRUE(peer.valid());
    Result list = Run("list");
    EXPECT_NE(list.output.find("1 COM7   ROOT\\PORTS\\0001"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("tcp client " + remote + " packet 512, at start, connected with " +
                               remote),
              std::string::npos)
        << list.output;
    EXPECT_EQ(Run("disconnect COM7").status, 0);
    EXPECT_EQ(service.EntryOf(7).info.connected, 0u);

    uint16_t listen = FreePort();
    EXPECT_EQ(Run("configure COM1 udp").status, 0);
    EXPECT_EQ(Run("listen COM1 " + std::to_string(listen)).status, 0);
    EXPECT_NE(Run("list").output.find("udp server 0.0.0.0:" + std::to_string(listen)),
              std::string::npos);
    EXPECT_NE(service.EntryOf(1).info.connected, 0u);

    EXPECT_EQ(Run("renumber COM7 COM9").status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(service.ComLink(9)));
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    EXPECT_EQ(Run(std::string("map ") + ptsname(master) + " COM3").status, 0);
    EXPECT_EQ(Run("usage").output, "COM1\nCOM3\nCOM9\n");
    EXPECT_EQ(Run(std::string("unmap ") + ptsname(master)).status, 0);
    EXPECT_EQ(Run("remove COM9").status, 0);
    EXPECT_EQ(Run("remove @root\\\\ports\\\\0000").status, 0);
    EXPECT_EQ(Run("usage").output, "");
    close(master);

    Result bad = Run("connect COM5");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("no virtual port COM5"), std::string::npos);
    // A wrong command line is told apart from a failure.
    for (const char* wrong : {"frobnicate", "add COM7 --bogus", "configure COM1 --bogus x"}) {
        Result usage = Run(wrong);
        EXPECT_EQ(usage.status, 2) << wrong;
        EXPECT_NE(usage.output.find("see veltro-vspctl --help"), std::string::npos) << wrong;
    }
    service.Stop();
    Result down = Run("list");
    EXPECT_NE(down.status, 0);
    EXPECT_NE(down.output.find("the service is not running"), std::string::npos);
}

TEST_F(VspCtl, SaysWhyTheServiceRefusedInWords) {
    EXPECT_EQ(Run("add COM2").status, 0);
    const std::string closed = "127.0.0.1:" + std::to_string(FreePort());
    EXPECT_EQ(Run("configure COM2 tcp client --remote " + closed).status, 0);
    Result refused = Run("connect COM2");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output,
              "veltro-vspctl: failed: the remote host refused the network connection (1225)\n");
}

TEST_F(VspCtl, SessionsThatSendNothingOrHalfAFrameDoNotLockTheToolOut) {
    service.Install(5);
    PortSession handle(service, service.PathOf(5));
    ASSERT_EQ(handle.OpenStatus(), 0u);
    sockaddr_un address;
    ASSERT_TRUE(vspd::UnixAddress(service.Socket(), &address));
    const std::vector<uint8_t> cases[] = {{8, 0, 0, 0, 1, 0}, {}};  // half a frame, nothing
    for (const std::vector<uint8_t>& sent : cases) {
        SCOPED_TRACE(sent.size());
        std::vector<Fd> held;
        for (int i = 0; i < 200; ++i) {
            // Not blocking: a connection that waits in a full backlog must not stop the test.
            Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
                continue;
            if (!sent.empty()) send(fd.get(), sent.data(), sent.size(), MSG_NOSIGNAL);
            held.push_back(std::move(fd));
        }
        auto start = std::chrono::steady_clock::now();
        Result list = Run("list");
        EXPECT_EQ(list.status, 0) << list.output;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
    // The program's handle is never the one that gives way.
    EXPECT_EQ(handle.Ioctl(vspd::kIoctlGetDosName, {}, 12).status, 0u);
}

TEST(VspCtlIdle, ASessionThatStopsHalfwayThroughAFrameIsClosed) {
    VspdProcess service({.extraArgs = {"--session-idle-ms", "200"}});
    ASSERT_TRUE(service.Start());
    sockaddr_un address;
    ASSERT_TRUE(vspd::UnixAddress(service.Socket(), &address));
    Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const uint8_t half[] = {8, 0, 0, 0, 1, 0};
    ASSERT_EQ(send(fd.get(), half, sizeof(half), MSG_NOSIGNAL), ssize_t(sizeof(half)));
    ASSERT_TRUE(WaitReadable(fd.get(), 10000));
    uint8_t byte = 0;
    EXPECT_EQ(recv(fd.get(), &byte, 1, MSG_DONTWAIT), 0) << "the service closed it";
    // A session with no part of a frame waiting may stay.
    Fd quiet(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(connect(quiet.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_FALSE(WaitReadable(quiet.get(), 600));
}

}  // namespace
