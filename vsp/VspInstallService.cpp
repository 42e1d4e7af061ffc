#include "vsp/VspInstallService.h"

#include <algorithm>
#include <optional>

#include "vspd/ControlClient.h"
#include "vspd/WinErrors.h"

namespace {

// One request in its own session; the reply, or nullopt with *error set.
std::optional<vspd::Reply> Call(const QString& socketPath, const vspd::Request& request,
                                uint32_t* error) {
    vspd::ControlClient client(socketPath.toStdString());
    auto reply = client.Call(request);
    if (!reply) {
        *error = client.NotRunning() ? winerr::kServiceNotActive : winerr::kGenFailure;
        return std::nullopt;
    }
    *error = reply->status;
    if (reply->status != winerr::kSuccess) return std::nullopt;
    return reply;
}

}  // namespace

CVspInstallService::CVspInstallService(QString socketPath) : socketPath_(std::move(socketPath)) {}

uint32_t CVspInstallService::ComUsage(std::array<uint8_t, vspd::kComUsageSize>* usage) {
    uint32_t error = 0;
    auto reply = Call(socketPath_, vspd::ComUsageRequest{}, &error);
    if (reply) std::copy_n(reply->data.begin(), usage->size(), usage->begin());
    return error;
}

uint32_t CVspInstallService::InstallPort(const QString& hardwareId, uint32_t comNumber,
                                         QString* instanceId) {
    uint32_t error = 0;
    auto reply =
        Call(socketPath_,
             vspd::InstallRequest{comNumber, vspd::kAnyInstance, hardwareId.toStdString()}, &error);
    if (reply) *instanceId = QString::fromStdString(reply->text);
    return error;
}

uint32_t CVspInstallService::RemovePort(const QString& pattern) {
    uint32_t error = 0;
    Call(socketPath_, vspd::RemoveRequest{pattern.toStdString()}, &error);
    return error;
}

uint32_t CVspInstallService::RenumberPort(const QString& pattern, uint32_t comNumber) {
    uint32_t error = 0;
    Call(socketPath_, vspd::RenumberRequest{pattern.toStdString(), comNumber}, &error);
    return error;
}
