#include "vsp/VspDriver.h"

#include <cstdio>

#include "protocol/Address.h"
#include "vspd/ControlClient.h"
#include "vspd/VspdPaths.h"
#include "vspd/WinErrors.h"

namespace {

constexpr qsizetype kMaxDevicePath = 271;

// Diagnostics without user interface go to standard output.
const char kEnumDeviceFailed[] = "Enumeration device                Failed (0x%x)\n";
const char kEnumInterfacesFailed[] = "Enumerate interfaces             Failed (0x%x)\n";
const char kDetailFailed[] = "Error %d getting interface detail\n";
const char kOpenFailed[] = "Open serial device failed (0x%x)\n";
const char kStopTerminal[] = "Please stop terminal program first\n";
const char kGetDosNameFailed[] = "IOCTL_GET_DOS_NAME Failed (0x%x)\n";
const char kSetDosNameFailed[] = "IOCTL_SET_DOS_NAME Failed (0x%x)\n";
const char kSetRemoteInfoFailed[] = "IOCTL_SET_REMOTE_INFO Failed (0x%x)\n";
const char kGetRemoteInfoFailed[] = "IOCTL_GET_REMOTE_INFO Failed (0x%x)\n";
const char kCheckStatusFailed[] = "Check VSP connection status failed (0x%x)\n";
const char kOurPathMark[] = "root#ports#00";

void Diagnose(const char* format, uint32_t code) {
    std::printf(format, code);
    std::fflush(stdout);
}

QString Text(const std::string& s) {
    return QString::fromStdString(s);
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

bool VspHandle::Ioctl(uint32_t code, std::span<const uint8_t> input, uint32_t outputSize,
                      std::vector<uint8_t>* output, uint32_t* error) {
    if (!session_) {
        *error = winerr::kInvalidHandle;
        return false;
    }
    auto reply = session_->Call(
        vspd::IoctlRequest{code, outputSize, std::vector<uint8_t>(input.begin(), input.end())});
    if (!reply) {
        *error = winerr::kGenFailure;
        return false;
    }
    if (reply->status != winerr::kSuccess) {
        *error = reply->status;
        return false;
    }
    if (output) *output = reply->data;
    return true;
}

CVspDriver::CVspDriver(UserPrompts& prompts, std::function<QString()> hostAddressText,
                       QString socketPath)
    : prompts_(prompts),
      hostAddressText_(std::move(hostAddressText)),
      socketPath_(std::move(socketPath)) {}

QString CVspDriver::DefaultSocketPath() {
    return Text(vspd::DefaultSocketPath());
}

void CVspDriver::Show(const QString& text) {
    prompts_.Inform(text);
}

std::optional<std::vector<VspInterface>> CVspDriver::Enumerate(uint32_t* error) const {
    vspd::ControlClient client(socketPath_.toStdString());
    std::vector<VspInterface> list;
    if (!client.Connect()) {
        if (client.NotRunning()) return list;  // no service: no virtual ports
        *error = winerr::kGenFailure;
        return std::nullopt;
    }
    auto reply = client.Call(vspd::ListRequest{});
    if (!reply || reply->status != winerr::kSuccess) {
        *error = reply ? reply->status : winerr::kGenFailure;
        return std::nullopt;
    }
    for (const vspd::PortEntry& e : reply->ports) {
        list.push_back({Text(e.devicePath), Text(e.instanceId), Text(e.hardwareId),
                        Text(e.portName), Text(e.friendlyName), Text(e.ttyPath),
                        e.ttyOpen != 0 || e.handleOpen != 0});
    }
    return list;
}

bool CVspDriver::IsOurPort(const QString& devicePath, const std::vector<VspInterface>& devices) {
    if (!devicePath.contains(QLatin1String(kOurPathMark))) return false;
    QString instance = devicePath.mid(devicePath.indexOf(QLatin1String("00")), 4);
    QString key = QStringLiteral("ROOT\\PORTS\\") + instance;
    for (const VspInterface& d : devices) {
        if (d.instanceId.compare(key, Qt::CaseInsensitive) == 0) {
            return d.hardwareId.compare(QLatin1String(vspd::kVirtualHardwareId),
                                        Qt::CaseInsensitive) == 0;
        }
    }
    return false;
}

QString CVspDriver::DevicePath(int portId) {
    uint32_t error = 0;
    auto list = Enumerate(&error);
    if (!list) {
        Diagnose(kEnumDeviceFailed, error);
        return {};
    }
    if (portId < 0 || size_t(portId) >= list->size()) {
        Diagnose(kEnumInterfacesFailed, winerr::kNoMoreItems);
        return {};
    }
    QString path = (*list)[size_t(portId)].devicePath;
    if (path.size() > kMaxDevicePath) {
        Diagnose(kDetailFailed, winerr::kInsufficientBuffer);
        return {};
    }
    return path;
}

VspHandle CVspDriver::OpenPort(int portId) {
    QString path = DevicePath(portId);
    if (path.isEmpty()) {
        lastError_ = winerr::kFileNotFound;
        return {};
    }
    auto session = std::make_unique<vspd::ControlClient>(socketPath_.toStdString());
    auto reply = session->Call(vspd::OpenRequest{0, path.toStdString()});
    lastError_ = !reply ? (session->NotRunning() ? winerr::kFileNotFound : winerr::kGenFailure)
                        : reply->status;
    if (lastError_ == winerr::kSuccess) return VspHandle(std::move(session));
    if (lastError_ != winerr::kBadCommand) Show(QString::asprintf(kOpenFailed, lastError_));
    return {};
}

bool CVspDriver::Request(VspHandle& handle, uint32_t code, std::span<const uint8_t> input,
                         uint32_t outputSize, std::vector<uint8_t>* output) {
    uint32_t error = 0;
    if (handle.Ioctl(code, input, outputSize, output, &error)) return true;
    lastError_ = error;
    return false;
}

bool CVspDriver::GetDosName(int portId, QString* name) {
    name->clear();
    VspHandle handle = OpenPort(portId);
    if (!handle.IsValid()) {
        Show(QLatin1String(kStopTerminal));
        return false;
    }
    std::vector<uint8_t> output;
    if (Request(handle, vspd::kIoctlGetDosName, {}, vspd::kDosNameSize, &output)) {
        *name = Text(vspd::DecodeDosName(output));
    } else {
        Show(QString::asprintf(kGetDosNameFailed, lastError_));
    }
    return true;
}

bool CVspDriver::SetDosName(int portId, uint32_t comNumber) {
    VspHandle handle = OpenPort(portId);
    if (!handle.IsValid()) {
        Show(QLatin1String(kStopTerminal));
        return false;
    }
    auto input = vspd::EncodeComNumber(comNumber);
    if (!Request(handle, vspd::kIoctlSetDosName, input)) {
        Show(QString::asprintf(kSetDosNameFailed, lastError_));
    }
    return true;
}

void CVspDriver::SetRemoteInfo(int portId, const vspd::RemoteInfoRequest& settings) {
    VspHandle handle = OpenPort(portId);
    if (!handle.IsValid()) return;
    vspd::RemoteInfoRequest request = settings;
    request.hostIp = ParseDottedAddress(hostAddressText_ ? hostAddressText_() : QString());
    auto input = request.Encode();
    if (!Request(handle, vspd::kIoctlSetRemoteInfo, input)) {
        Show(QString::asprintf(kSetRemoteInfoFailed, lastError_));
    }
}

bool CVspDriver::GetRemoteInfo(int portId, vspd::RemoteInfoReply* reply) {
    *reply = {};
    VspHandle handle = OpenPort(portId);
    if (!handle.IsValid()) {
        Show(QLatin1String(kStopTerminal));
        return false;
    }
    std::vector<uint8_t> output;
    std::optional<vspd::RemoteInfoReply> decoded;
    if (Request(handle, vspd::kIoctlGetRemoteInfo, {}, vspd::kRemoteInfoReplySize, &output)) {
        decoded = vspd::RemoteInfoReply::Decode(output);
        if (!decoded) lastError_ = winerr::kInvalidParameter;
    }
    if (decoded) {
        *reply = *decoded;
    } else {
        Show(QString::asprintf(kGetRemoteInfoFailed, lastError_));
    }
    return true;
}

bool CVspDriver::ConnectPort(VspHandle& handle) {
    return Request(handle, vspd::kIoctlConnection);
}

bool CVspDriver::DisconnectPort(VspHandle& handle) {
    return Request(handle, vspd::kIoctlDisconnection);
}

bool CVspDriver::StartServer(VspHandle& handle) {
    return Request(handle, vspd::kIoctlServer);
}

void CVspDriver::CheckBusy() {
    portBusy_ = false;
    uint32_t error = 0;
    auto list = Enumerate(&error);
    if (!list) return;
    for (size_t k = 0; k < list->size(); ++k) {
        if ((*list)[k].devicePath.size() > kMaxDevicePath) return;
        if (!IsOurPort((*list)[k].devicePath, *list)) continue;
        VspHandle handle = OpenPort(int(k));
        if (!handle.IsValid()) {
            portBusy_ = true;
            return;
        }
    }
}

bool CVspDriver::IsAnyPortConnected() {
    uint32_t error = 0;
    auto list = Enumerate(&error);
    if (!list) {
        Show(QString::asprintf(kCheckStatusFailed, error));
        return true;
    }
    for (size_t k = 0; k < list->size(); ++k) {
        if ((*list)[k].devicePath.size() > kMaxDevicePath) {
            Show(QString::asprintf(kDetailFailed, winerr::kInsufficientBuffer));
            return true;
        }
        if (!IsOurPort((*list)[k].devicePath, *list)) continue;
        vspd::RemoteInfoReply reply;
        if (GetRemoteInfo(int(k), &reply) && reply.connected != 0) return true;
    }
    return false;
}
