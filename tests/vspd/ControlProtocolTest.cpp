#include <gtest/gtest.h>

#include "vspd/ControlProtocol.h"
#include "vspd/DriverRequests.h"
#include "vspd/WinErrors.h"

using namespace vspd;

namespace {

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, method, FILE_ANY_ACCESS)
constexpr uint32_t CtlCode(uint32_t function, uint32_t method) {
    return 0x22u << 16 | function << 2 | method;
}

TEST(DriverRequests, ControlCodesComposeFromTheirFunctionsAndMethods) {
    constexpr uint32_t kBuffered = 0, kOutDirect = 2;
    struct Case {
        uint32_t code, function, method;
    } cases[] = {
        {kIoctlGetDosName, 0x809, kBuffered},    {kIoctlSetDosName, 0x811, kBuffered},
        {kIoctlSetRemoteInfo, 0x812, kBuffered}, {kIoctlGetRemoteInfo, 0x822, kBuffered},
        {kIoctlConnection, 0x813, kOutDirect},   {kIoctlDisconnection, 0x814, kOutDirect},
        {kIoctlServer, 0x816, kBuffered},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.code, CtlCode(c.function, c.method)) << std::hex << c.code;
}

TEST(DriverRequests, RemoteInfoRequestGoldenBytes) {
    RemoteInfoRequest r;
    r.remoteIp = 0xC0A80003;  // 192.168.0.3
    r.remotePort = 4001;
    r.protocol = kProtocolUdp;
    r.connectAtStart = 1;
    r.mode = 1;
    r.enableVcom = 0;
    r.maxPacketSize = 1400;
    r.hostIp = 0x7F000002;  // 127.0.0.2
    const std::array<uint8_t, 32> golden = {
        0xC0, 0xA8, 0x00, 0x03,  // remote address, first octet first
        0x0F, 0xA1, 0x00, 0x00,  // 4001 in network order, then two zero bytes
        0x01, 0x00, 0x00, 0x00,  // UDP
        0x01, 0x00, 0x00, 0x00,  // connect at start
        0x01, 0x00, 0x00, 0x00,  // client
        0x00, 0x00, 0x00, 0x00,  // VCOM off
        0x78, 0x05, 0x00, 0x00,  // 1400
        0x7F, 0x00, 0x00, 0x02,  // host interface address
    };
    EXPECT_EQ(r.Encode(), golden);
    EXPECT_EQ(RemoteInfoRequest::Decode(golden), r);
}

TEST(DriverRequests, RemoteInfoReplyKeepsModeAndReportedPortAsSent) {
    std::array<uint8_t, 36> golden = {
        0x7F, 0x00, 0x00, 0x01,  // 127.0.0.1
        0x0F, 0xA1, 0xEE, 0xEE,  // 4001; the two bytes after it are not read
        0x00, 0xEE, 0xEE, 0xEE,  // TCP
        0x00, 0x00, 0x00, 0x00,  // not at start
        0x01, 0x00, 0x00, 0x00,  // connected
        0x00, 0x01, 0x00, 0x00,  // mode 256
        0x01, 0x00, 0x00, 0x00,  // VCOM
        0xB4, 0x05, 0x00, 0x00,  // 1460
        0xC3, 0x51, 0xEE, 0xEE,  // reported port 0xC351 (50001) in network order
    };
    auto r = RemoteInfoReply::Decode(golden);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->remoteIp, 0x7F000001u);
    EXPECT_EQ(r->remotePort, 4001);
    EXPECT_EQ(r->connected, 1u);
    EXPECT_EQ(r->mode, 256u);
    EXPECT_EQ(r->enableVcom, 1u);
    EXPECT_EQ(r->maxPacketSize, 1460u);
    EXPECT_EQ(r->reportedPort, 0xC351);
    // Re-encoded, the fields the program reads come back byte for byte; unread bytes are 0.
    auto again = r->Encode();
    for (size_t i : {0, 1, 2, 3, 4, 5, 8, 16, 20, 21, 24, 28, 29, 32, 33})
        EXPECT_EQ(again[i], golden[i]);
    for (size_t i : {6, 7, 9, 10, 11, 34, 35}) EXPECT_EQ(again[i], 0);
}

TEST(DriverRequests, BuffersOfAnyOtherSizeAreRejected) {
    std::vector<uint8_t> buffer(40);
    for (size_t size = 0; size < buffer.size(); ++size) {
        std::span<const uint8_t> b(buffer.data(), size);
        EXPECT_EQ(RemoteInfoRequest::Decode(b).has_value(), size == 32) << size;
        EXPECT_EQ(RemoteInfoReply::Decode(b).has_value(), size == 36) << size;
        EXPECT_EQ(DecodeComNumber(b).has_value(), size == 4) << size;
    }
}

TEST(DriverRequests, DosNameIsTwelveBytesReadFromTheFirstSix) {
    auto b = EncodeDosName("COM5");
    EXPECT_EQ(std::string(b.begin(), b.begin() + 5), std::string("COM5\0", 5));
    EXPECT_TRUE(std::all_of(b.begin() + 4, b.end(), [](uint8_t c) { return c == 0; }));
    EXPECT_EQ(DecodeDosName(b), "COM5");
    EXPECT_EQ(DecodeDosName(EncodeDosName("COM256")), "COM256");
    const uint8_t noNul[12] = {'C', 'O', 'M', '1', '2', '3', '4', '5', 0, 0, 0, 0};
    EXPECT_EQ(DecodeDosName(noNul), "COM123");
    EXPECT_EQ(EncodeComNumber(7), (std::array<uint8_t, 4>{7, 0, 0, 0}));
}

std::vector<Request> SampleRequests() {
    return {
        ListRequest{},
        OpenRequest{kOpenShared, "\\\\?\\root#ports#0003#{86e0d1e0-8089-11d0-9ce4-08003e301f73}"},
        CloseRequest{},
        IoctlRequest{kIoctlSetRemoteInfo, 0, std::vector<uint8_t>(32, 0xAB)},
        IoctlRequest{kIoctlGetRemoteInfo, 36, {}},
        ComUsageRequest{},
        InstallRequest{5, kAnyInstance, "QMDR\\Vser"},
        RemoveRequest{"@root\\ports\\0003"},
        RenumberRequest{"@root\\ports\\0003", 9},
        MapRequest{"/dev/ttyUSB0", 3}};
}

TEST(ControlProtocol, RequestGoldenBytes) {
    const std::vector<uint8_t> open = {2, 0, 0, 0, 1, 0, 0, 0, 3, 0, 'a', 'b', 'c'};
    EXPECT_EQ(EncodeRequest(OpenRequest{kOpenShared, "abc"}), open);
    const std::vector<uint8_t> ioctl = {4, 0, 0, 0, 0x88, 0x20, 0x22, 0, 36, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(EncodeRequest(IoctlRequest{kIoctlGetRemoteInfo, 36, {}}), ioctl);
    EXPECT_EQ(Frame({1, 0, 0, 0}), (std::vector<uint8_t>{4, 0, 0, 0, 1, 0, 0, 0}));
}

TEST(ControlProtocol, EveryRequestRoundTripsAndEveryTruncationIsRefused) {
    for (const Request& request : SampleRequests()) {
        std::vector<uint8_t> body = EncodeRequest(request);
        DecodedRequest decoded = DecodeRequest(body);
        ASSERT_TRUE(decoded.request) << decoded.op;
        EXPECT_EQ(*decoded.request, request);
        for (size_t size = 0; size < body.size(); ++size) {
            DecodedRequest cut = DecodeRequest(std::span(body.data(), size));
            EXPECT_FALSE(cut.request) << "op " << decoded.op << " cut at " << size;
            EXPECT_EQ(cut.error, winerr::kInvalidParameter);
        }
        body.push_back(0);
        EXPECT_EQ(DecodeRequest(body).error, winerr::kInvalidParameter) << "trailing byte";
    }
}

TEST(ControlProtocol, BadRequestsNameTheirError) {
    struct Case {
        std::vector<uint8_t> body;
        uint32_t op, error;
    } cases[] = {
        {{}, 0, winerr::kInvalidParameter},
        {{1, 0}, 0, winerr::kInvalidParameter},
        {{0, 0, 0, 0}, 0, winerr::kInvalidFunction},
        {{99, 0, 0, 0}, 99, winerr::kInvalidFunction},
        {{2, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, 2, winerr::kInvalidParameter},  // path too long
        {{4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0}, 4, winerr::kInvalidParameter},
    };
    for (const Case& c : cases) {
        DecodedRequest d = DecodeRequest(c.body);
        EXPECT_FALSE(d.request);
        EXPECT_EQ(d.op, c.op);
        EXPECT_EQ(d.error, c.error);
    }
}

TEST(ControlProtocol, RepliesRoundTripAndTruncationsAreRefused) {
    PortEntry e;
    e.devicePath = "\\\\?\\root#ports#0000#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
    e.instanceId = "ROOT\\PORTS\\0000";
    e.hardwareId = "QMDR\\Vser";
    e.portName = "COM5";
    e.friendlyName = "QMDR Virtual Serial Port (COM5)";
    e.ttyPath = "/dev/pts/4";
    e.isVirtual = 1;
    e.state = PortState::Connected;
    e.info.remotePort = 4001;
    e.info.reportedPort = 50001;
    e.peerIp = 0x7F000001;
    e.bytesToNet = 1ull << 40;
    Reply list{Op::List, 0, {e, e}, {}, {}};
    Reply usage{Op::ComUsage, 0, {}, std::vector<uint8_t>(256, 1), {}};
    Reply install{Op::Install, 0, {}, {}, "ROOT\\PORTS\\0007"};
    Reply ioctl{Op::Ioctl, 0, {}, {1, 2, 3}, {}};
    Reply failed{Op::Ioctl, winerr::kAccessDenied, {}, {}, {}};
    for (const Reply& reply : {list, usage, install, ioctl, failed}) {
        std::vector<uint8_t> body = EncodeReply(reply);
        EXPECT_EQ(DecodeReply(body), reply);
        for (size_t size = 0; size < body.size(); ++size) {
            EXPECT_FALSE(DecodeReply(std::span(body.data(), size))) << size;
        }
    }
    EXPECT_FALSE(DecodeReply(EncodeReply({Op::ComUsage, 0, {}, std::vector<uint8_t>(255), {}})));
}

}  // namespace
