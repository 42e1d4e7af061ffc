#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "vspd/DriverRequests.h"

// The control protocol between the program (or veltro-vspctl) and veltro-vspd, over a
// Unix stream socket. Every message is a frame: a 32-bit little-endian body length, then
// the body. A request body starts with its 32-bit operation; a reply body with the
// operation it answers and a 32-bit Windows error code (0 = success), then the payload of
// a successful reply. One request is answered before the next is read.
namespace vspd {

enum class Op : uint32_t {
    List = 1,      // every COM-port interface with its properties and state
    Open = 2,      // opens a port by device path; the session then holds the handle
    Close = 3,     // releases the session's handle
    Ioctl = 4,     // one driver control request on the open port
    ComUsage = 5,  // 256 bytes, entry n-1 nonzero when COMn is taken
    Install = 6,   // a new virtual port with a chosen COM number
    Remove = 7,    // by instance pattern, @root\ports\NNNN
    Renumber = 8,  // another COM number for a port, by instance pattern
    Map = 9,       // a COM name for a physical device (COM number 0 removes the mapping)
};

constexpr size_t kFrameHeaderSize = 4;
constexpr uint32_t kMaxRequestBody = 4096;
constexpr uint32_t kMaxReplyBody = 4 * 1024 * 1024;
constexpr size_t kMaxPathLength = 271;  // device paths the program supports
constexpr size_t kMaxTextLength = 1024;
constexpr uint32_t kMaxIoctlOutput = 4096;
constexpr uint32_t kComNumberMax = 256;
constexpr size_t kComUsageSize = 256;
constexpr uint32_t kAnyInstance = 0xFFFFFFFF;
constexpr uint32_t kMaxInstance = 9999;  // ROOT\PORTS\0000 to ROOT\PORTS\9999
// The hardware ID that the driver package installs virtual ports with.
constexpr const char* kVirtualHardwareId = "QMDR\\Vser";

// Open flag: a management handle (veltro-vspctl) that neither is refused while the port
// is busy nor makes it busy. The program's handles are exclusive.
constexpr uint32_t kOpenShared = 1;

struct ListRequest {
    bool operator==(const ListRequest&) const = default;
};
struct OpenRequest {
    uint32_t flags = 0;
    std::string path;
    bool operator==(const OpenRequest&) const = default;
};
struct CloseRequest {
    bool operator==(const CloseRequest&) const = default;
};
struct IoctlRequest {
    uint32_t code = 0;
    uint32_t outputSize = 0;  // room the caller offers for output, as in DeviceIoControl
    std::vector<uint8_t> input;
    bool operator==(const IoctlRequest&) const = default;
};
struct ComUsageRequest {
    bool operator==(const ComUsageRequest&) const = default;
};
struct InstallRequest {
    uint32_t comNumber = 0;
    uint32_t instance = kAnyInstance;  // kAnyInstance: the lowest free instance number
    std::string hardwareId;
    bool operator==(const InstallRequest&) const = default;
};
struct RemoveRequest {
    std::string pattern;
    bool operator==(const RemoveRequest&) const = default;
};
struct RenumberRequest {
    std::string pattern;
    uint32_t comNumber = 0;
    bool operator==(const RenumberRequest&) const = default;
};
struct MapRequest {
    std::string device;
    uint32_t comNumber = 0;
    bool operator==(const MapRequest&) const = default;
};

using Request = std::variant<ListRequest, OpenRequest, CloseRequest, IoctlRequest, ComUsageRequest,
                             InstallRequest, RemoveRequest, RenumberRequest, MapRequest>;

Op OpOf(const Request& request);
std::vector<uint8_t> EncodeRequest(const Request& request);

struct DecodedRequest {
    uint32_t op = 0;                 // as read, 0 when the body is too short to hold one
    uint32_t error = 0;              // 0, or the code of the error reply to send
    std::optional<Request> request;  // set exactly when error is 0
};
// Unknown operation: kInvalidFunction; short, long or inconsistent body: kInvalidParameter.
DecodedRequest DecodeRequest(std::span<const uint8_t> body);

enum class PortState : uint8_t { Idle = 0, Connecting = 1, Connected = 2, Listening = 3 };

// One COM-port interface in enumeration order. Physical ports carry only the properties.
struct PortEntry {
    std::string devicePath;    // \\?\root#ports#0003#{86e0d1e0-...}
    std::string instanceId;    // ROOT\PORTS\0003
    std::string hardwareId;    // QMDR\Vser
    std::string portName;      // COM5
    std::string friendlyName;  // QMDR Virtual Serial Port (COM5)
    std::string ttyPath;       // the Linux device behind the COM link
    uint8_t isVirtual = 0;
    PortState state = PortState::Idle;
    uint8_t ttyOpen = 0;     // another program has the tty open
    uint8_t handleOpen = 0;  // an exclusive control handle is open
    RemoteInfoReply info;    // configuration, connected flag and reported port
    uint32_t hostIp = 0;
    uint32_t peerIp = 0;  // the current network peer, host order
    uint16_t peerPort = 0;
    uint64_t bytesToNet = 0;
    uint64_t bytesFromNet = 0;
    uint64_t droppedToNet = 0;       // the program's output that no link took
    uint64_t droppedFromNet = 0;     // network data that no program held the port for
    uint64_t strangerDatagrams = 0;  // from addresses other than the peer's
    bool operator==(const PortEntry&) const = default;
};

struct Reply {
    Op op = Op::List;
    uint32_t status = 0;
    std::vector<PortEntry> ports;  // List
    std::vector<uint8_t> data;     // Ioctl output, ComUsage bytes
    std::string text;              // Install: the new instance ID
    bool operator==(const Reply&) const = default;
};

std::vector<uint8_t> EncodeReply(const Reply& reply);
// nullopt for a body that does not match its operation.
std::optional<Reply> DecodeReply(std::span<const uint8_t> body);

// Length prefix plus body.
std::vector<uint8_t> Frame(const std::vector<uint8_t>& body);

}  // namespace vspd
