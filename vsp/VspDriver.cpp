#include "vsp/VspDriver.h"

#include "protocol/Ipv4Address.h"
#include "vspd/ControlClient.h"
#include "vspd/VspdPaths.h"
#include "vspd/WinErrors.h"

namespace {

// Device paths longer than this are not supported.
constexpr qsizetype kMaxDevicePath = 271;
constexpr qsizetype kDevicePathPrefix = 4;  // \\?\ before root#ports#NNNN
constexpr qsizetype kInstancePartLength = 15;
const char kCheckStatusFailed[] = "Check VSP connection status failed (0x%x)\n";
const char kOurPathMark[] = "root#ports#00";

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

VspInterface FromEntry(const vspd::PortEntry& e) {
    VspInterface port;
    port.devicePath = Text(e.devicePath);
    port.instanceId = Text(e.instanceId);
    port.hardwareId = Text(e.hardwareId);
    port.portName = Text(e.portName);
    port.busy = e.ttyOpen != 0;
    port.state = e.state;
    port.info = e.info;
    port.peerIp = e.peerIp;
    port.peerPort = e.peerPort;
    port.bytesToNet = e.bytesToNet;
    port.bytesFromNet = e.bytesFromNet;
    port.droppedToNet = e.droppedToNet;
    port.droppedFromNet = e.droppedFromNet;
    return port;
}

}  // namespace

VspHandle::VspHandle() = default;
VspHandle::VspHandle(std::unique_ptr<vspd::ControlClient> session) : session_(std::move(session)) {}
VspHandle::~VspHandle() = default;
VspHandle::VspHandle(VspHandle&&) noexcept = default;
VspHandle& VspHandle::operator=(VspHandle&&) noexcept = default;

void VspHandle::Close() {
    session_.reset();
}

int VspHandle::SessionSocket() const {
    return session_ ? session_->Socket() : -1;
}

uint32_t VspHandle::Ioctl(uint32_t code, std::span<const uint8_t> input, uint32_t outputSize,
                          std::vector<uint8_t>* output) {
    if (!session_) return winerr::kInvalidHandle;
    auto reply = session_->Call(
        vspd::IoctlRequest{code, outputSize, std::vector<uint8_t>(input.begin(), input.end())});
    if (!reply) return winerr::kGenFailure;
    if (reply->status == winerr::kSuccess && output) *output = reply->data;
    return reply->status;
}

CVspDriver::CVspDriver(UserPrompts& prompts, std::function<QString()> hostAddressText,
                       QString socketPath)
    : prompts_(prompts),
      hostAddressText_(std::move(hostAddressText)),
      socketPath_(std::move(socketPath)) {}

QString CVspDriver::DefaultSocketPath() {
    return Text(vspd::DefaultSocketPath());
}

std::optional<std::vector<VspInterface>> CVspDriver::Enumerate(uint32_t* error) const {
    vspd::ControlClient client(socketPath_.toStdString());
    auto reply = client.Call(vspd::ListRequest{});
    if (!reply || reply->status != winerr::kSuccess) {
        *error = reply                 ? reply->status
                 : client.NotRunning() ? winerr::kServiceNotActive
                                       : winerr::kGenFailure;
        return std::nullopt;
    }
    std::vector<VspInterface> list;
    for (const vspd::PortEntry& e : reply->ports) list.push_back(FromEntry(e));
    return list;
}

bool CVspDriver::IsOurPort(const QString& devicePath, const std::vector<VspInterface>& devices) {
    if (devicePath.size() > kMaxDevicePath || !devicePath.contains(QLatin1String(kOurPathMark)))
        return false;
    const QString instance = devicePath.mid(devicePath.indexOf(QLatin1String("00")), 4);
    const QString key = QStringLiteral("ROOT\\PORTS\\") + instance;
    for (const VspInterface& d : devices) {
        if (d.instanceId.compare(key, Qt::CaseInsensitive) == 0) {
            return d.hardwareId.compare(QLatin1String(vspd::kVirtualHardwareId),
                                        Qt::CaseInsensitive) == 0;
        }
    }
    return false;
}

std::optional<VspInterface> CVspDriver::FindPort(const QString& name, uint32_t* error) const {
    auto list = Enumerate(error);
    if (!list) return std::nullopt;
    for (const VspInterface& port : *list) {
        if (port.portName == name && IsOurPort(port.devicePath, *list)) return port;
    }
    *error = winerr::kFileNotFound;
    return std::nullopt;
}

QString CVspDriver::InstancePattern(const QString& name, uint32_t* error) const {
    auto port = FindPort(name, error);
    if (!port) return {};
    QString part = port->devicePath.mid(kDevicePathPrefix, kInstancePartLength);
    return '@' + part.replace('#', '\\');
}

VspHandle CVspDriver::OpenPort(const QString& name, uint32_t* error) {
    auto port = FindPort(name, error);
    if (!port) return {};
    return OpenDevice(port->devicePath, error);
}

VspHandle CVspDriver::OpenDevice(const QString& devicePath, uint32_t* error) {
    auto session = std::make_unique<vspd::ControlClient>(socketPath_.toStdString());
    auto reply = session->Call(vspd::OpenRequest{0, devicePath.toStdString()});
    *error = reply                   ? reply->status
             : session->NotRunning() ? winerr::kServiceNotActive
                                     : winerr::kGenFailure;
    if (*error != winerr::kSuccess) return {};
    return VspHandle(std::move(session));
}

uint32_t CVspDriver::OneRequest(const QString& name, uint32_t code, std::span<const uint8_t> input,
                                uint32_t outputSize, std::vector<uint8_t>* output) {
    uint32_t error = 0;
    VspHandle handle = OpenPort(name, &error);
    if (!handle.IsValid()) return error;
    return handle.Ioctl(code, input, outputSize, output);
}

uint32_t CVspDriver::GetRemoteInfo(const QString& name, vspd::RemoteInfoReply* reply) {
    std::vector<uint8_t> output;
    const uint32_t error =
        OneRequest(name, vspd::kIoctlGetRemoteInfo, {}, vspd::kRemoteInfoReplySize, &output);
    if (error != winerr::kSuccess) return error;
    const auto decoded = vspd::RemoteInfoReply::Decode(output);
    if (!decoded) return winerr::kInvalidParameter;
    *reply = *decoded;
    return winerr::kSuccess;
}

vspd::RemoteInfoRequest CVspDriver::WithHostAddress(const vspd::RemoteInfoRequest& settings) const {
    vspd::RemoteInfoRequest request = settings;
    const QString host = hostAddressText_ ? hostAddressText_() : QString();
    request.hostIp = Ipv4Address::Parse(host).value_or(Ipv4Address()).HostOrder();
    return request;
}

uint32_t CVspDriver::SetRemoteInfo(const QString& name, const vspd::RemoteInfoRequest& settings) {
    const auto input = WithHostAddress(settings).Encode();
    return OneRequest(name, vspd::kIoctlSetRemoteInfo, input);
}

uint32_t CVspDriver::SetRemoteInfoAt(const QString& devicePath,
                                     const vspd::RemoteInfoRequest& settings) {
    uint32_t error = 0;
    VspHandle handle = OpenDevice(devicePath, &error);
    if (!handle.IsValid()) return error;
    const auto input = WithHostAddress(settings).Encode();
    return handle.Ioctl(vspd::kIoctlSetRemoteInfo, input);
}

uint32_t CVspDriver::Disconnect(const QString& name) {
    return OneRequest(name, vspd::kIoctlDisconnection);
}

uint32_t CVspDriver::StartServer(const QString& name) {
    return OneRequest(name, vspd::kIoctlServer);
}

void CVspDriver::CheckBusy() {
    portBusy_ = false;
    uint32_t error = 0;
    const auto list = Enumerate(&error);
    if (!list) return;
    for (const VspInterface& port : *list) {
        if (port.busy && IsOurPort(port.devicePath, *list)) {
            portBusy_ = true;
            return;
        }
    }
}

bool CVspDriver::IsAnyPortConnected() {
    uint32_t error = 0;
    const auto list = Enumerate(&error);
    // Without a service there are no virtual ports to keep connected.
    if (!list && error == winerr::kServiceNotActive) return false;
    if (!list) {
        prompts_.Inform(QString::asprintf(kCheckStatusFailed, error));
        return true;
    }
    for (const VspInterface& port : *list) {
        if (IsOurPort(port.devicePath, *list) && port.info.connected != 0) return true;
    }
    return false;
}
