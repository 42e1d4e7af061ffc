// The control side of veltro-vspd against a running instance: ports, COM names, handles
// and what happens to requests that are wrong.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "protocol/ByteOrder.h"
#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"
#include "vspd/VspdPaths.h"
#include "vspd/WinErrors.h"

using namespace vspd;

namespace {

constexpr const char* kGuid = "{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

std::string LinkTarget(const std::string& link) {
    std::error_code ec;
    return std::filesystem::read_symlink(link, ec).string();
}

class ServiceControl : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(service.Start()); }
    VspdProcess service;
};

TEST_F(ServiceControl, SocketIsPrivateToTheUser) {
    struct stat st {};
    ASSERT_EQ(stat(service.Socket().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((service.Dir() + "/run").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A second service refuses the socket and the state directory of a running one.
    std::string run = std::string(VELTRO_VSPD_BINARY) + " --no-auto-map --com-dir " +
                      service.Dir() + "/com2 2>/dev/null";
    EXPECT_NE(std::system((run + " --socket " + service.Socket() + " --state-dir " + service.Dir() +
                           "/state2")
                              .c_str()),
              0);
    EXPECT_NE(std::system((run + " --socket " + service.Dir() + "/run/other.sock --state-dir " +
                           service.StateDir())
                              .c_str()),
              0);
    EXPECT_EQ(service.List().size(), 0u);
}

TEST_F(ServiceControl, PortsAreInstalledListedRenumberedAndRemoved) {
    EXPECT_EQ(service.Install(5), "ROOT\\PORTS\\0000");
    EXPECT_EQ(service.Install(6), "ROOT\\PORTS\\0001");
    EXPECT_EQ(service.Install(7, 100, "qmdr\\VSER"), "ROOT\\PORTS\\0100");
    EXPECT_EQ(service.Call(InstallRequest{5, kAnyInstance, kVirtualHardwareId}).status,
              winerr::kSharingViolation);
    EXPECT_EQ(service.Call(InstallRequest{8, 100, kVirtualHardwareId}).status,
              winerr::kAlreadyExists);
    EXPECT_EQ(service.Call(InstallRequest{0, kAnyInstance, kVirtualHardwareId}).status,
              winerr::kInvalidParameter);
    EXPECT_EQ(service.Call(InstallRequest{257, kAnyInstance, kVirtualHardwareId}).status,
              winerr::kInvalidParameter);

    auto list = service.List();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].devicePath, std::string("\\\\?\\root#ports#0000#") + kGuid);
    EXPECT_EQ(list[0].hardwareId, "QMDR\\Vser");
    EXPECT_EQ(list[0].portName, "COM5");
    EXPECT_EQ(list[0].friendlyName, "QMDR Virtual Serial Port (COM5)");
    EXPECT_EQ(list[2].devicePath, std::string("\\\\?\\root#ports#0100#") + kGuid);
    EXPECT_EQ(list[2].hardwareId, "qmdr\\VSER");
    EXPECT_EQ(LinkTarget(service.ComLink(5)), list[0].ttyPath);

    auto usage = service.Call(ComUsageRequest{}).data;
    ASSERT_EQ(usage.size(), 256u);
    for (unsigned n = 1; n <= 256; ++n) EXPECT_EQ(usage[n - 1] != 0, n >= 5 && n <= 7) << n;

    EXPECT_EQ(service.Call(RenumberRequest{"@root\\ports\\0001", 7}).status,
              winerr::kSharingViolation);
    EXPECT_EQ(service.Call(RenumberRequest{"@ROOT\\PORTS\\0001", 9}).status, 0u);
    EXPECT_EQ(service.EntryOf(9).friendlyName, "QMDR Virtual Serial Port (COM9)");
    EXPECT_EQ(LinkTarget(service.ComLink(9)), list[1].ttyPath);
    EXPECT_FALSE(std::filesystem::exists(service.ComLink(6)));

    EXPECT_EQ(service.Call(RemoveRequest{"@root\\ports\\0000"}).status, 0u);
    EXPECT_EQ(service.Call(RemoveRequest{"@root\\ports\\0000"}).status, winerr::kNoSuchDevinst);
    EXPECT_EQ(service.Call(RemoveRequest{"root\\ports\\00"}).status, winerr::kNoSuchDevinst);
    EXPECT_FALSE(std::filesystem::exists(service.ComLink(5)));
    ASSERT_EQ(service.List().size(), 2u);
    // The lowest free instance number is used again.
    EXPECT_EQ(service.Install(5), "ROOT\\PORTS\\0000");
}

TEST_F(ServiceControl, PhysicalPortsAreMappedAndEnumeratedFirst) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string device = ptsname(master);
    service.Install(5, 2);
    service.Install(6, 0);
    EXPECT_EQ(service.Call(MapRequest{device, 5}).status, winerr::kSharingViolation);
    EXPECT_EQ(service.Call(MapRequest{"/dev/no-such-tty", 1}).status, winerr::kFileNotFound);
    EXPECT_EQ(service.Call(MapRequest{device, 1}).status, 0u);

    auto list = service.List();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].portName, "COM1");
    EXPECT_EQ(list[0].ttyPath, device);
    EXPECT_FALSE(list[0].isVirtual);
    EXPECT_EQ(list[0].devicePath.find("root#ports#"), std::string::npos);
    EXPECT_EQ(list[1].instanceId, "ROOT\\PORTS\\0000");
    EXPECT_EQ(list[2].instanceId, "ROOT\\PORTS\\0002");
    EXPECT_EQ(LinkTarget(service.ComLink(1)), device);
    EXPECT_NE(service.Call(ComUsageRequest{}).data[0], 0);

    // Driver requests are for virtual ports only.
    PortSession physical(service, list[0].devicePath);
    EXPECT_EQ(physical.OpenStatus(), 0u);
    EXPECT_EQ(physical.Ioctl(kIoctlGetRemoteInfo, {}, 36).status, winerr::kInvalidFunction);

    EXPECT_EQ(service.Call(MapRequest{device, 0}).status, 0u);
    EXPECT_FALSE(std::filesystem::exists(service.ComLink(1)));
    EXPECT_EQ(service.List().size(), 2u);
    close(master);
}

TEST_F(ServiceControl, HandleIsRefusedWhileTheTtyOrAnotherHandleIsOpen) {
    service.Install(5);
    std::string path = service.PathOf(5);
    {
        Fd tty = OpenTty(service.ComLink(5));
        ASSERT_TRUE(tty.valid());
        EXPECT_TRUE(service.EntryOf(5).ttyOpen);
        EXPECT_EQ(PortSession(service, path).OpenStatus(), winerr::kAccessDenied);
        EXPECT_EQ(PortSession(service, path, true).OpenStatus(), 0u);  // management handle
    }
    EXPECT_FALSE(service.EntryOf(5).ttyOpen);
    auto first = std::make_unique<PortSession>(service, path);
    EXPECT_EQ(first->OpenStatus(), 0u);
    EXPECT_EQ(PortSession(service, path).OpenStatus(), winerr::kAccessDenied);
    std::string upper = path;  // device paths are not case-sensitive
    for (char& c : upper) c = char(std::toupper(c));
    EXPECT_EQ(PortSession(service, upper).OpenStatus(), winerr::kAccessDenied);
    EXPECT_EQ(PortSession(service, path + "x").OpenStatus(), winerr::kFileNotFound);
    // Ending the session that holds the handle frees the port.
    first.reset();
    EXPECT_EQ(PortSession(service, path).OpenStatus(), 0u);
}

TEST_F(ServiceControl, RequestBuffersAreCheckedAsTheDriverChecksThem) {
    service.Install(5);
    PortSession port(service, service.PathOf(5));
    ASSERT_EQ(port.OpenStatus(), 0u);
    EXPECT_EQ(port.Ioctl(kIoctlGetDosName, {}, 11).status, winerr::kInsufficientBuffer);
    Reply name = port.Ioctl(kIoctlGetDosName, {}, 12);
    EXPECT_EQ(name.data, (std::vector<uint8_t>{'C', 'O', 'M', '5', 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(port.Ioctl(kIoctlGetRemoteInfo, {}, 35).status, winerr::kInsufficientBuffer);
    EXPECT_EQ(port.Ioctl(kIoctlSetRemoteInfo, std::vector<uint8_t>(31)).status,
              winerr::kInvalidParameter);
    EXPECT_EQ(port.Ioctl(kIoctlSetRemoteInfo, std::vector<uint8_t>(33)).status,
              winerr::kInvalidParameter);
    EXPECT_EQ(port.Ioctl(kIoctlSetDosName, {9, 0, 0}).status, winerr::kInvalidParameter);
    EXPECT_EQ(port.Ioctl(kIoctlConnection, {1}).status, winerr::kInvalidParameter);
    EXPECT_EQ(port.Ioctl(0x00222000).status, winerr::kInvalidFunction);

    RemoteInfoRequest config = ClientConfig(4001, kProtocolTcp, 1460);
    config.mode = 256;
    config.connectAtStart = 1;
    config.enableVcom = 1;
    EXPECT_EQ(port.Configure(config), 0u);
    Reply info = port.Ioctl(kIoctlGetRemoteInfo, {}, 36);
    ASSERT_EQ(info.data.size(), 36u);
    EXPECT_EQ(std::vector<uint8_t>(info.data.begin(), info.data.begin() + 8),
              (std::vector<uint8_t>{127, 0, 0, 1, 0x0F, 0xA1, 0, 0}));
    EXPECT_EQ(bytes::GetLE32(&info.data[16]), 0u);    // not connected
    EXPECT_EQ(bytes::GetLE32(&info.data[20]), 256u);  // mode as stored
    EXPECT_EQ(bytes::GetLE32(&info.data[28]), 1460u);

    EXPECT_EQ(port.Ioctl(kIoctlSetDosName, {9, 0, 0, 0}).status, 0u);
    EXPECT_EQ(service.EntryOf(9).instanceId, "ROOT\\PORTS\\0000");
    EXPECT_TRUE(std::filesystem::is_symlink(service.ComLink(9)));
    EXPECT_EQ(port.Ioctl(kIoctlSetDosName, {1, 1, 0, 0}).status, winerr::kInvalidParameter);  // 257
}

// Raw frames on a session of its own.
class RawSession {
  public:
    explicit RawSession(const std::string& path) : fd_(socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un a;
        connected_ = UnixAddress(path, &a) &&
                     connect(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    }
    bool Send(const std::vector<uint8_t>& data) {
        return send(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL) == ssize_t(data.size());
    }
    // The status of the next reply, or -1 when the session ended.
    int64_t Status() {
        uint8_t header[4];
        if (!WaitReadable(fd_.get(), 2000) || recv(fd_.get(), header, 4, MSG_WAITALL) != 4)
            return -1;
        std::vector<uint8_t> body(bytes::GetLE32(header));
        if (recv(fd_.get(), body.data(), body.size(), MSG_WAITALL) != ssize_t(body.size()))
            return -1;
        return body.size() >= 8 ? bytes::GetLE32(&body[4]) : -1;
    }
    bool connected_ = false;

  private:
    Fd fd_;
};

TEST_F(ServiceControl, BadRequestsGetErrorRepliesAndDisturbNoOtherSession) {
    service.Install(5);
    PortSession held(service, service.PathOf(5));
    ASSERT_EQ(held.OpenStatus(), 0u);

    RawSession raw(service.Socket());
    ASSERT_TRUE(raw.connected_);
    struct Case {
        std::vector<uint8_t> frame;
        int64_t status;
    } cases[] = {
        {{0, 0, 0, 0}, winerr::kInvalidParameter},                             // empty body
        {{2, 0, 0, 0, 1, 0}, winerr::kInvalidParameter},                       // truncated op
        {{4, 0, 0, 0, 77, 0, 0, 0}, winerr::kInvalidFunction},                 // unknown op
        {{6, 0, 0, 0, 2, 0, 0, 0, 0, 0}, winerr::kInvalidParameter},           // open cut short
        {{4, 0, 0, 0, 4, 0, 0, 0}, winerr::kInvalidParameter},                 // ioctl cut short
        {{4, 0, 0, 0, 3, 0, 0, 0}, winerr::kInvalidHandle},                    // close, no handle
        {{10, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, winerr::kFileNotFound},  // no such port
        {{8, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0}, winerr::kInvalidParameter},     // trailing bytes
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(raw.Send(c.frame));
        EXPECT_EQ(raw.Status(), c.status);
    }
    // Requests split across writes are put together.
    ASSERT_TRUE(raw.Send({4, 0, 0}));
    ASSERT_TRUE(raw.Send({0, 1, 0, 0, 0}));
    EXPECT_EQ(raw.Status(), 0);

    RawSession oversized(service.Socket());
    ASSERT_TRUE(oversized.Send({0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0}));
    EXPECT_EQ(oversized.Status(), winerr::kInvalidParameter);
    EXPECT_EQ(oversized.Status(), -1);  // and the session ends

    for (uint32_t seed = 0; seed < 200; ++seed) {
        RawSession noise(service.Socket());
        Bytes junk = RandomBytes(4 + seed % 64, seed);
        junk[0] = uint8_t(junk.size() - 4);
        junk[1] = junk[2] = junk[3] = 0;
        noise.Send(junk);
    }
    // The handle opened before is still held and works; the service still answers.
    EXPECT_EQ(PortSession(service, service.PathOf(5)).OpenStatus(), winerr::kAccessDenied);
    EXPECT_EQ(held.Ioctl(kIoctlGetDosName, {}, 12).status, 0u);
    EXPECT_EQ(service.List().size(), 1u);
}

}  // namespace
