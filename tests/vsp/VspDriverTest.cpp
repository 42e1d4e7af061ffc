// CVspDriver: the exact buffers it sends and reads (against a scripted service), the port it
// resolves by name, its error codes, and the busy and connected checks against a running
// veltro-vspd.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QTemporaryDir>

#include "platform/ScriptedPrompts.h"
#include "protocol/ByteOrder.h"
#include "tests/vspd/NetPeers.h"
#include "tests/vspd/ScriptedVspd.h"
#include "tests/vspd/VspdProcess.h"
#include "vsp/VspDriver.h"
#include "vspd/WinErrors.h"

using namespace vspd;

namespace {

const char kVirtualPath[] = "\\\\?\\root#ports#0000#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

PortEntry Entry(const std::string& path, const std::string& instance, const std::string& hwid) {
    PortEntry e;
    e.devicePath = path;
    e.instanceId = instance;
    e.hardwareId = hwid;
    e.portName = "COM5";
    return e;
}

// A system with a physical COM1 enumerated first and one virtual port.
std::vector<PortEntry> TwoPorts() {
    return {Entry("\\\\?\\acpi#pnp0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}",
                  "ACPI\\PNP0501\\1", "*PNP0501"),
            Entry(kVirtualPath, "ROOT\\PORTS\\0000", "QMDR\\Vser")};
}

class ScriptedDriver : public ::testing::Test {
  protected:
    Reply Answer(const Request& request) {
        Reply reply;
        reply.op = OpOf(request);
        if (reply.op == Op::List) {
            reply.status = listStatus;
            reply.ports = ports;
        } else if (reply.op == Op::Open) {
            reply.status = openStatus;
        } else if (reply.op == Op::Ioctl) {
            reply.status = ioctlStatus;
            reply.data = ioctlOutput;
        }
        return reply;
    }
    std::vector<IoctlRequest> Ioctls() const {
        std::vector<IoctlRequest> list;
        for (const Request& r : fake.Requests()) {
            if (auto* ioctl = std::get_if<IoctlRequest>(&r)) list.push_back(*ioctl);
        }
        return list;
    }

    QTemporaryDir dir;
    QString socket = dir.filePath("control.sock");
    std::vector<PortEntry> ports = TwoPorts();
    uint32_t listStatus = 0, openStatus = 0, ioctlStatus = 0;
    std::vector<uint8_t> ioctlOutput;
    ScriptedVspd fake{socket.toStdString(), [this](const Request& r) { return Answer(r); }};
    ScriptedPrompts prompts;
    QString hostText = "127.0.0.2";
    CVspDriver driver{prompts, [this] { return hostText; }, socket};
};

TEST_F(ScriptedDriver, SetRemoteInfoSendsTheRequestBufferByteForByte) {
    RemoteInfoRequest settings;
    settings.remoteIp = 0xC0A80003;
    settings.remotePort = 4001;
    settings.protocol = 1;
    settings.connectAtStart = 1;
    settings.mode = 1;
    settings.maxPacketSize = 1400;
    settings.hostIp = 0x01020304;  // replaced by the host address text
    hostText = "192.168.44.9";
    EXPECT_EQ(driver.SetRemoteInfo("COM5", settings), 0u);

    auto requests = fake.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(std::get<OpenRequest>(requests[1]), (OpenRequest{0, kVirtualPath}));  // exclusive
    auto ioctls = Ioctls();
    ASSERT_EQ(ioctls.size(), 1u);
    EXPECT_EQ(ioctls[0].code, 0x00222048u);
    const std::vector<uint8_t> golden = {0xC0, 0xA8, 0x00, 0x03, 0x0F, 0xA1, 0x00, 0x00,
                                         0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                         0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0x78, 0x05, 0x00, 0x00, 0xC0, 0xA8, 0x2C, 0x09};
    EXPECT_EQ(ioctls[0].input, golden);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ScriptedDriver, GetRemoteInfoKeepsModeAndReportedPortAsReceived) {
    ioctlOutput = {0x7F, 0x00, 0x00, 0x01, 0x0F, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                   0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                   0x00, 0x00, 0x00, 0x00, 0xB4, 0x05, 0x00, 0x00, 0xC3, 0x51, 0x00, 0x00};
    RemoteInfoReply reply;
    ASSERT_EQ(driver.GetRemoteInfo("COM5", &reply), 0u);
    EXPECT_EQ(reply.remoteIp, 0x7F000001u);
    EXPECT_EQ(reply.remotePort, 4001);
    EXPECT_EQ(reply.connectAtStart, 1u);
    EXPECT_EQ(reply.connected, 1u);
    EXPECT_EQ(reply.mode, 256u);
    EXPECT_EQ(reply.maxPacketSize, 1460u);
    uint8_t announced[2];
    bytes::PutBE16(announced, reply.reportedPort);
    EXPECT_EQ(announced[0], 0xC3);
    EXPECT_EQ(announced[1], 0x51);
    EXPECT_EQ(Ioctls().at(0).code, 0x00222088u);
    EXPECT_EQ(Ioctls().at(0).outputSize, 36u);
    EXPECT_TRUE(Ioctls().at(0).input.empty());

    ioctlOutput.resize(20);  // a reply cut short is refused, not read past its end
    EXPECT_EQ(driver.GetRemoteInfo("COM5", &reply), winerr::kInvalidParameter);
}

TEST_F(ScriptedDriver, EveryCallAnswersWithTheServiceCodeAndShowsNothing) {
    struct Case {
        const char* what;
        uint32_t list, open, ioctl;
        const char* name;
        uint32_t expected;
    } cases[] = {
        {"held by another program", 0, 5, 0, "COM5", 5},
        {"request fails", 0, 0, 1225, "COM5", 1225},
        {"no such name", 0, 0, 0, "COM6", winerr::kFileNotFound},
        {"a physical port is not ours", 0, 0, 0, "COM1", winerr::kFileNotFound},
        {"the name differs in case", 0, 0, 0, "com5", winerr::kFileNotFound},
        {"list refused", 31, 0, 0, "COM5", 31},
    };
    ports[0].portName = "COM1";
    for (const Case& c : cases) {
        listStatus = c.list;
        openStatus = c.open;
        ioctlStatus = c.ioctl;
        RemoteInfoReply reply;
        EXPECT_EQ(driver.GetRemoteInfo(c.name, &reply), c.expected) << c.what;
        EXPECT_EQ(driver.SetRemoteInfo(c.name, {}), c.expected) << c.what;
        EXPECT_EQ(driver.Disconnect(c.name), c.expected) << c.what;
    }
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ScriptedDriver, ConnectionCheckFailsSafeWhenTheListIsRefused) {
    EXPECT_FALSE(driver.IsAnyPortConnected());
    ports[1].info.connected = 1;
    EXPECT_TRUE(driver.IsAnyPortConnected());
    ports[1].info.connected = 0;
    listStatus = winerr::kGenFailure;
    EXPECT_TRUE(driver.IsAnyPortConnected());
    EXPECT_EQ(prompts.Texts(), QStringList{"Check VSP connection status failed (0x1f)\n"});
}

TEST(VspDriverIsOurPort, PathMarkInstanceRangeHardwareIdAndPathLimit) {
    auto devices = [](const std::string& hwid) {
        VspInterface ours, high;
        ours.instanceId = "ROOT\\PORTS\\0007";
        ours.hardwareId = QString::fromStdString(hwid);
        high.instanceId = "ROOT\\PORTS\\0100";
        high.hardwareId = "QMDR\\Vser";
        return std::vector<VspInterface>{ours, high};
    };
    const QString guid = "#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
    struct Case {
        QString path;
        std::string hwid;
        bool ours;
    } cases[] = {
        {"\\\\?\\root#ports#0007" + guid, "QMDR\\Vser", true},
        {"\\\\?\\root#ports#0007" + guid, "qmdr\\vSER", true},
        {"\\\\?\\root#ports#0007" + guid, "QMDR\\Vser2", false},
        {"\\\\?\\root#ports#0007" + guid, "ACME\\Port", false},
        {"\\\\?\\ROOT#PORTS#0007" + guid, "QMDR\\Vser", false},  // the mark is case-sensitive
        {"\\\\?\\root#ports#0100" + guid, "QMDR\\Vser", false},  // only 0000 to 0099
        {"\\\\?\\root#ports#0042" + guid, "QMDR\\Vser", false},  // no such instance
        {"\\\\?\\acpi#pnp0501#1" + guid, "QMDR\\Vser", false},
        {"\\\\?\\root#ports#0007" + QString(260, 'x'), "QMDR\\Vser", false},  // too long
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CVspDriver::IsOurPort(c.path, devices(c.hwid)), c.ours)
            << c.path.toStdString() << " " << c.hwid;
    }
}

class ServiceDriver : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(service.Start()); }
    VspdProcess service;
    ScriptedPrompts prompts;
    CVspDriver driver{prompts, [] { return QStringLiteral("127.0.0.1"); },
                      QString::fromStdString(service.Socket())};
};

TEST_F(ServiceDriver, APortIsTheOneItsNameNamesWhateverIsMappedBeforeIt) {
    service.Install(5);
    service.Install(6);
    uint16_t p = 0;
    Fd listener = TcpListen(&p);
    ASSERT_EQ(driver.SetRemoteInfo("COM6", ClientConfig(p, kProtocolTcp)), 0u);
    // A device mapped now takes the first place in the enumeration.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    EXPECT_EQ(service.Call(MapRequest{ptsname(master), 1}).status, 0u);
    uint32_t error = 0;
    VspHandle handle = driver.OpenPort("COM6", &error);
    ASSERT_TRUE(handle.IsValid());
    EXPECT_EQ(handle.Ioctl(kIoctlConnection), 0u);
    Fd remote = AcceptWithin(listener.get(), 5000);
    EXPECT_TRUE(remote.valid());
    EXPECT_EQ(service.EntryOf(6).state, PortState::Connected);
    EXPECT_EQ(service.EntryOf(5).state, PortState::Idle);
    close(master);
}

TEST_F(ServiceDriver, BusyAndConnectedChecksFollowTheVirtualPorts) {
    service.Install(5);
    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());
    EXPECT_FALSE(driver.IsAnyPortConnected());
    {
        Fd terminal = OpenTty(service.ComLink(5));  // another program holds the port
        ASSERT_TRUE(terminal.valid());
        driver.CheckBusy();
        EXPECT_TRUE(driver.PortBusy());
        EXPECT_FALSE(driver.IsAnyPortConnected());
        uint32_t error = 0;
        EXPECT_FALSE(driver.OpenPort("COM5", &error).IsValid());
        EXPECT_EQ(error, winerr::kAccessDenied);
    }
    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());

    uint16_t p = 0;
    Fd listener = TcpListen(&p);
    EXPECT_EQ(driver.SetRemoteInfo("COM5", ClientConfig(p, kProtocolTcp)), 0u);
    {
        uint32_t error = 0;
        VspHandle handle = driver.OpenPort("COM5", &error);
        ASSERT_TRUE(handle.IsValid());
        EXPECT_FALSE(driver.OpenPort("COM5", &error).IsValid());  // one handle at a time
        EXPECT_EQ(error, winerr::kAccessDenied);
        EXPECT_EQ(handle.Ioctl(kIoctlConnection), 0u);
    }
    Fd remote = AcceptWithin(listener.get(), 5000);
    EXPECT_TRUE(driver.IsAnyPortConnected());
    RemoteInfoReply reply;
    ASSERT_EQ(driver.GetRemoteInfo("COM5", &reply), 0u);
    EXPECT_EQ(reply.remotePort, p);
    EXPECT_EQ(reply.connected, 1u);
    EXPECT_EQ(service.EntryOf(5).hostIp, 0x7F000001u);
    EXPECT_EQ(driver.Disconnect("COM5"), 0u);
    EXPECT_FALSE(driver.IsAnyPortConnected());
    uint32_t error = 0;
    EXPECT_EQ(driver.InstancePattern("COM5", &error), "@root\\ports\\0000");
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ServiceDriver, OnlyInstancesBelow100WithOurHardwareIdCount) {
    service.Install(5, 5, "qmdr\\VSER");
    service.Install(6, 100);
    service.Install(7, 6, "ACME\\Port");
    uint32_t error = 0;
    auto list = driver.Enumerate(&error);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3u);
    EXPECT_TRUE(CVspDriver::IsOurPort((*list)[0].devicePath, *list));
    EXPECT_FALSE(CVspDriver::IsOurPort((*list)[1].devicePath, *list));
    EXPECT_FALSE(CVspDriver::IsOurPort((*list)[2].devicePath, *list));
    EXPECT_FALSE(driver.FindPort("COM6", &error));
    // Ports that are not ours never count as busy.
    Fd terminal = OpenTty(service.ComLink(6));
    Fd other = OpenTty(service.ComLink(7));
    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());
    EXPECT_TRUE(prompts.shown.empty());
}

TEST(VspDriverWithoutService, EveryCallSaysTheServiceIsNotRunning) {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    CVspDriver driver(
        prompts, [] { return QString(); }, dir.filePath("none.sock"));
    uint32_t error = 0;
    EXPECT_FALSE(driver.Enumerate(&error));
    EXPECT_EQ(error, winerr::kServiceNotActive);
    EXPECT_FALSE(driver.OpenPort("COM5", &error).IsValid());
    EXPECT_EQ(error, winerr::kServiceNotActive);
    EXPECT_EQ(driver.Disconnect("COM5"), winerr::kServiceNotActive);
    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());
    EXPECT_FALSE(driver.IsAnyPortConnected());
    EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace
