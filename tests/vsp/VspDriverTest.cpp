// CVspDriver: the exact buffers it sends and reads (against a scripted service), its
// messages, and the busy and connected checks against a running veltro-vspd.
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
    hostText = "192.168.300.9";    // each part truncated to 8 bits: 300 -> 44
    driver.SetRemoteInfo(1, settings);

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
    ASSERT_TRUE(driver.GetRemoteInfo(1, &reply));
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
}

TEST_F(ScriptedDriver, FailedRequestsShowTheirMessages) {
    struct Case {
        const char* what;
        uint32_t open, ioctl;
        bool result;
        QStringList texts;
    } cases[] = {
        {"busy",
         5,
         0,
         false,
         {"Open serial device failed (0x5)\n", "Please stop terminal program first\n"}},
        {"bad command", 22, 0, false, {"Please stop terminal program first\n"}},
        {"request fails", 0, 31, true, {"IOCTL_GET_DOS_NAME Failed (0x1f)\n"}},
    };
    for (const Case& c : cases) {
        openStatus = c.open;
        ioctlStatus = c.ioctl;
        prompts.Clear();
        QString name = "x";
        EXPECT_EQ(driver.GetDosName(1, &name), c.result) << c.what;
        EXPECT_TRUE(name.isEmpty());
        EXPECT_EQ(prompts.Texts(), c.texts) << c.what;
    }
    prompts.Clear();
    ioctlStatus = 1225;
    RemoteInfoReply reply;
    EXPECT_TRUE(driver.GetRemoteInfo(1, &reply));
    EXPECT_TRUE(driver.SetDosName(1, 9));
    driver.SetRemoteInfo(1, {});
    EXPECT_EQ(prompts.Texts(), (QStringList{"IOCTL_GET_REMOTE_INFO Failed (0x4c9)\n",
                                            "IOCTL_SET_DOS_NAME Failed (0x4c9)\n",
                                            "IOCTL_SET_REMOTE_INFO Failed (0x4c9)\n"}));
    VspHandle handle = driver.OpenPort(1);
    ASSERT_TRUE(handle.IsValid());
    EXPECT_FALSE(driver.ConnectPort(handle));
    EXPECT_EQ(driver.LastError(), 1225u);
}

TEST_F(ScriptedDriver, EnumerationFailuresAreDiagnosed) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(driver.OpenPort(2).IsValid());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Enumerate interfaces             Failed (0x103)\n");
    ports[1].devicePath = "\\\\?\\root#ports#0000#" + std::string(260, 'x');
    testing::internal::CaptureStdout();
    EXPECT_FALSE(driver.OpenPort(1).IsValid());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error 122 getting interface detail\n");
    EXPECT_TRUE(driver.IsAnyPortConnected());
    EXPECT_EQ(prompts.Texts(), QStringList{"Error 122 getting interface detail\n"});

    listStatus = winerr::kGenFailure;
    prompts.Clear();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(driver.OpenPort(1).IsValid());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Enumeration device                Failed (0x1f)\n");
    EXPECT_TRUE(driver.IsAnyPortConnected());
    EXPECT_EQ(prompts.Texts(), QStringList{"Check VSP connection status failed (0x1f)\n"});
}

TEST(VspDriverIsOurPort, PathMarkInstanceRangeAndHardwareId) {
    auto devices = [](const std::string& hwid) {
        return std::vector<VspInterface>{
            {"", "ROOT\\PORTS\\0007", QString::fromStdString(hwid), "", "", ""},
            {"", "ROOT\\PORTS\\0100", "QMDR\\Vser", "", "", ""}};
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

TEST_F(ServiceDriver, BusyAndConnectedChecksFollowTheVirtualPorts) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    EXPECT_EQ(service.Call(MapRequest{ptsname(master), 1}).status, 0u);
    service.Install(5);
    uint32_t error = 0;
    auto list = driver.Enumerate(&error);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_FALSE(CVspDriver::IsOurPort((*list)[0].devicePath, *list));
    EXPECT_TRUE(CVspDriver::IsOurPort((*list)[1].devicePath, *list));  // port ID 1

    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());
    EXPECT_FALSE(driver.IsAnyPortConnected());
    {
        Fd terminal = OpenTty(service.ComLink(5));  // another program holds the port
        ASSERT_TRUE(terminal.valid());
        driver.CheckBusy();
        EXPECT_TRUE(driver.PortBusy());
        EXPECT_EQ(prompts.Texts(), QStringList{"Open serial device failed (0x5)\n"});
        EXPECT_FALSE(driver.IsAnyPortConnected());
    }
    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());

    uint16_t p = 0;
    Fd listener = TcpListen(&p);
    RemoteInfoRequest settings = ClientConfig(p, kProtocolTcp);
    driver.SetRemoteInfo(1, settings);
    {
        VspHandle handle = driver.OpenPort(1);
        ASSERT_TRUE(handle.IsValid());
        EXPECT_FALSE(driver.OpenPort(1).IsValid());  // one handle at a time
        EXPECT_EQ(driver.LastError(), winerr::kAccessDenied);
        EXPECT_TRUE(driver.ConnectPort(handle));
    }
    Fd remote = AcceptWithin(listener.get(), 5000);
    EXPECT_TRUE(driver.IsAnyPortConnected());
    RemoteInfoReply reply;
    ASSERT_TRUE(driver.GetRemoteInfo(1, &reply));
    EXPECT_EQ(reply.remotePort, p);
    EXPECT_EQ(reply.connected, 1u);
    EXPECT_EQ(service.EntryOf(5).hostIp, 0x7F000001u);
    {
        VspHandle handle = driver.OpenPort(1);
        EXPECT_TRUE(driver.DisconnectPort(handle));
    }
    EXPECT_FALSE(driver.IsAnyPortConnected());

    listener.reset();
    {
        VspHandle handle = driver.OpenPort(1);
        EXPECT_FALSE(driver.ConnectPort(handle));
        EXPECT_EQ(driver.LastError(), winerr::kConnectionRefused);
    }
    QString name;
    EXPECT_TRUE(driver.SetDosName(1, 9));
    EXPECT_TRUE(driver.GetDosName(1, &name));
    EXPECT_EQ(name, "COM9");
    close(master);
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
    // Ports that are not ours are never opened, busy or not.
    Fd terminal = OpenTty(service.ComLink(6));
    Fd other = OpenTty(service.ComLink(7));
    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());
    EXPECT_TRUE(prompts.shown.empty());
}

TEST(VspDriverWithoutService, NoServiceMeansNoVirtualPorts) {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    CVspDriver driver(
        prompts, [] { return QString(); }, dir.filePath("none.sock"));
    uint32_t error = 0;
    auto list = driver.Enumerate(&error);
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->empty());
    driver.CheckBusy();
    EXPECT_FALSE(driver.PortBusy());
    EXPECT_FALSE(driver.IsAnyPortConnected());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(driver.OpenPort(0).IsValid());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Enumerate interfaces             Failed (0x103)\n");
    EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace
