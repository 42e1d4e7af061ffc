// The state file: what veltro-vspd acknowledged survives a restart and a SIGKILL.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"
#include "vspd/ControlClient.h"
#include "vspd/WinErrors.h"

using namespace vspd;

namespace {

constexpr int kLimitMs = 10000;
constexpr int kPorts = 3;

RemoteInfoRequest Generation(uint32_t n) {
    RemoteInfoRequest c = ClientConfig(uint16_t(1000 + n % 60000), uint8_t(n % 2), 100 + n);
    c.remoteIp = 0x7F000000 + n;
    c.enableVcom = n % 3 == 0;
    c.hostIp = n;
    return c;
}

RemoteInfoRequest ConfigOf(const PortEntry& e) {
    const RemoteInfoReply& i = e.info;
    return {i.remoteIp, i.remotePort, i.protocol,      i.connectAtStart,
            i.mode,     i.enableVcom, i.maxPacketSize, e.hostIp};
}

TEST(ServicePersistence, PortsMapsAndSettingsSurviveARestart) {
    VspdProcess service;
    ASSERT_TRUE(service.Start());
    service.Install(5);
    service.Install(6, 42);
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    std::string device = ptsname(master);
    EXPECT_EQ(service.Call(MapRequest{device, 2}).status, 0u);
    {
        PortSession port(service, service.PathOf(6));
        EXPECT_EQ(port.Configure(Generation(7)), 0u);
    }
    auto before = service.List();
    service.Stop();
    // The links go with the service, a physical device's as well; its name is kept.
    EXPECT_FALSE(std::filesystem::is_symlink(service.ComLink(5)));
    EXPECT_FALSE(std::filesystem::is_symlink(service.ComLink(2)));

    ASSERT_TRUE(service.Start());
    EXPECT_EQ(std::filesystem::read_symlink(service.ComLink(2)), device);
    auto after = service.List();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].devicePath, before[i].devicePath);
        EXPECT_EQ(after[i].portName, before[i].portName);
        EXPECT_EQ(ConfigOf(after[i]), ConfigOf(before[i]));
        if (after[i].isVirtual) {
            EXPECT_EQ(std::filesystem::read_symlink(
                          service.ComLink(std::stoi(after[i].portName.substr(3)))),
                      after[i].ttyPath);
        }
    }
    close(master);
}

// Changes settings of several ports as fast as the service acknowledges them.
struct Changer {
    std::atomic<uint32_t> acknowledged{0};
    uint32_t lastAcked[kPorts] = {};
    uint32_t inFlight[kPorts] = {};
    bool stopped = false;

    void Run(const VspdProcess& service, const std::vector<std::string>& paths, uint32_t first) {
        std::vector<std::unique_ptr<ControlClient>> sessions;
        for (const std::string& path : paths) {
            sessions.push_back(std::make_unique<ControlClient>(service.Socket()));
            auto open = sessions.back()->Call(OpenRequest{kOpenShared, path});
            if (!open || open->status != 0) return;
        }
        for (uint32_t n = first;; ++n) {
            int port = int(n % kPorts);
            inFlight[port] = n;
            auto input = Generation(n).Encode();
            auto reply = sessions[size_t(port)]->Call(
                IoctlRequest{kIoctlSetRemoteInfo, 0, {input.begin(), input.end()}});
            if (!reply) return;
            EXPECT_EQ(reply->status, 0u);
            lastAcked[port] = n;
            ++acknowledged;
        }
    }
};

TEST(ServicePersistence, SigkillAmidChangesKeepsTheLastAcknowledgedSettings) {
    VspdProcess service;
    ASSERT_TRUE(service.Start());
    std::vector<std::string> paths;
    for (int i = 0; i < kPorts; ++i) {
        service.Install(unsigned(5 + i));
        paths.push_back(service.PathOf(unsigned(5 + i)));
    }
    uint32_t first = kPorts;  // generations below kPorts are the defaults
    for (int round = 0; round < 4; ++round) {
        Changer changer;
        std::thread worker([&] { changer.Run(service, paths, first); });
        uint32_t killAt = 5 + uint32_t(round) * 9;
        ASSERT_TRUE(PollUntil([&] { return changer.acknowledged >= killAt; }, kLimitMs));
        service.Kill();
        worker.join();
        ASSERT_TRUE(service.Start());
        auto list = service.List();
        ASSERT_EQ(list.size(), size_t(kPorts));
        for (int i = 0; i < kPorts; ++i) {
            RemoteInfoRequest now = ConfigOf(list[size_t(i)]);
            bool acked = now == Generation(changer.lastAcked[i]);
            bool pending = now == Generation(changer.inFlight[i]);
            EXPECT_TRUE(acked || pending)
                << "round " << round << " port " << i << " has " << now.maxPacketSize - 100
                << ", acknowledged " << changer.lastAcked[i];
        }
        first = *std::max_element(changer.inFlight, changer.inFlight + kPorts) + 1;
    }
    auto leftovers = std::filesystem::directory_iterator(service.StateDir());
    for (const auto& entry : leftovers) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
}

TEST(ServicePersistence, ConnectAtStartPortsConnectWhenTheServiceStarts) {
    VspdProcess service;
    ASSERT_TRUE(service.Start());
    service.Install(5);
    service.Install(6);
    uint16_t p = 0;
    Fd listener = TcpListen(&p);
    uint16_t listen = FreePort();
    uint16_t late = FreePort();
    {
        PortSession client(service, service.PathOf(5));
        RemoteInfoRequest c = ClientConfig(p, kProtocolTcp);
        c.connectAtStart = 1;
        EXPECT_EQ(client.Configure(c), 0u);
        PortSession server(service, service.PathOf(6));
        RemoteInfoRequest s = ServerConfig(listen, kProtocolTcp);
        s.connectAtStart = 1;
        EXPECT_EQ(server.Configure(s), 0u);
    }
    service.Kill();
    ASSERT_TRUE(service.Start());
    Fd accepted = AcceptWithin(listener.get(), kLimitMs);
    EXPECT_TRUE(accepted.valid());
    EXPECT_TRUE(PollUntil([&] { return service.EntryOf(5).info.connected != 0; }, kLimitMs));
    Fd device = TcpConnect(listen);
    EXPECT_TRUE(device.valid());
    EXPECT_NE(service.EntryOf(6).info.connected, 0u);

    // A remote that is not there yet is tried again until it is.
    {
        PortSession client(service, service.PathOf(5), true);
        RemoteInfoRequest c = ClientConfig(late, kProtocolTcp);
        c.connectAtStart = 1;
        EXPECT_EQ(client.Configure(c), 0u);
    }
    service.Kill();
    ASSERT_TRUE(service.Start());
    EXPECT_EQ(service.EntryOf(5).info.connected, 0u);
    Fd lateListener = TcpListen(&late);
    EXPECT_TRUE(AcceptWithin(lateListener.get(), kLimitMs).valid());
}

TEST(ServicePersistence, ADamagedLineIsDroppedAndTheFileKeptBesideTheNewOne) {
    VspdProcess service;
    std::filesystem::create_directories(service.StateDir());
    std::string damaged =
        "veltro-vspd-state 1\n"
        "port instance=1 com=5 hwid=QMDR%5CVser mode=1 packet=1400\n"
        "port instance=2 com=six hwid=QMDR%5CVser\n"
        "port instance=3 com=5 hwid=QMDR%5CVser\n";
    std::ofstream(service.StateDir() + "/vspd.state") << damaged;
    ASSERT_TRUE(service.Start());
    EXPECT_EQ(service.List().size(), 1u);
    service.Install(7);  // rewrites the state file
    std::ifstream kept(service.StateDir() + "/vspd.state.damaged");
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, damaged);
}

TEST(ServicePersistence, AServiceSharingTheComFolderLeavesTheOthersLinksAlone) {
    VspdProcess first;
    ASSERT_TRUE(first.Start());
    first.Install(5);
    std::string live = std::filesystem::read_symlink(first.ComLink(5));
    std::filesystem::create_symlink("/dev/pts/no-such-tty", first.ComLink(9));

    VspdProcess second({.extraArgs = {"--com-dir", first.ComDir()}});
    ASSERT_TRUE(second.Start());
    EXPECT_TRUE(second.List().empty());
    second.Install(6);
    EXPECT_TRUE(std::filesystem::is_symlink(first.ComLink(6)));
    EXPECT_EQ(std::filesystem::read_symlink(first.ComLink(5)), live);
    EXPECT_FALSE(std::filesystem::is_symlink(first.ComLink(9))) << "a link to nowhere goes";
    second.Stop();
    // Its own links from an earlier run are made anew at its next start.
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.List().size(), 1u);  // answers once its start is done
    EXPECT_EQ(std::filesystem::read_symlink(first.ComLink(5)), live);
    EXPECT_TRUE(std::filesystem::is_symlink(first.ComLink(6)));
}

}  // namespace

// Two new physical ports and one free COM number: the one that got it keeps it across a
// restart, even after another number has come free in between.
TEST(ServicePersistence, AutomaticComNamesAreKeptWhenTheNumbersRunOut) {
    namespace fs = std::filesystem;
    char rootTemplate[] = "/tmp/vspd-tty-XXXXXX";
    ASSERT_NE(mkdtemp(rootTemplate), nullptr);
    const fs::path root = rootTemplate;
    for (const char* tty : {"ttyUSB0", "ttyUSB1"}) fs::create_directories(root / tty / "device");
    VspdProcess service({.sysClassTty = root.string()});
    fs::create_directories(service.ComDir());
    for (unsigned n = 1; n < kComNumberMax; ++n) std::ofstream(service.ComLink(n)).put('x');
    // The service names ports once it has started listening: a first request waits for that.
    ASSERT_TRUE(service.Start());
    service.List();
    std::error_code missing;
    EXPECT_EQ(fs::read_symlink(service.ComLink(kComNumberMax), missing), "/dev/ttyUSB0");
    service.Kill();

    fs::remove(service.ComLink(5));
    ASSERT_TRUE(service.Start());
    service.List();
    EXPECT_EQ(fs::read_symlink(service.ComLink(kComNumberMax), missing), "/dev/ttyUSB0");
    EXPECT_EQ(fs::read_symlink(service.ComLink(5), missing), "/dev/ttyUSB1");
    service.Stop();
    fs::remove_all(root);
}
