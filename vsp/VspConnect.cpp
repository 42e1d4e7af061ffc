// Connect, Close and the connection made by dropping a device on a port.
#include "platform/UserPrompts.h"
#include "protocol/Address.h"
#include "vsp/VspPortCommands.h"
#include "vspd/WinErrors.h"

namespace {

const QString kConfigFailed = QStringLiteral("Virtual serial port configuration failed!");
const QString kAlreadyConnected = QStringLiteral(
    "Warning: This remote device has already established a connection with another virtual "
    "serial port!");
const QString kCancelled = QStringLiteral("Connection attempt cancelled");
const char kUnreachable[] = "Connection failed! (Remote host unreachable)";
const char kRefused[] = "Connection failed! (The remote host refused the network connection)";
const char kUnknownError[] = "Connection failed! (Unknown error, error code: 0x%x)";
const char kServerFailed[] = "IOCTL_SERVER failed (0x%x)\n";
const char kDisconnectFailed[] = "IOCTL_DISCONNECTION failed (0x%x)\n";
const char kDropConnectFailed[] = "IOCTL_CONNECTION failed (0x%x)\n";
const char kSetRemoteInfoFailed[] = "IOCTL_SET_REMOTE_INFO Failed (0x%x)\n";

}  // namespace

void VspPortCommands::Connect(const QString& name) {
    vspd::RemoteInfoReply config;
    const uint32_t error = driver_.GetRemoteInfo(name, &config);
    if (error == winerr::kAccessDenied || !Reached(error)) {
        TellOpenFailure(error);
        return;
    }
    if (error != winerr::kSuccess) {
        Inform(kConfigFailed);
        const VspPort* port = ports_.Find(name);
        if (!port) return;
        config = port->config;
    } else if (!Reached(driver_.SetRemoteInfo(name, VspConfigRequest(config)))) {
        return;
    }
    if (config.mode != 0) {
        ConnectClient(name, config);
    } else {
        StartServer(name);
    }
}

void VspPortCommands::ConnectClient(const QString& name, const vspd::RemoteInfoReply& config) {
    if (ports_.LinkedTo(config.remoteIp, name)) {
        Inform(kAlreadyConnected);
        return;
    }
    const int dmRow = frame_.DmFindRowByIp(FormatDotted(config.remoteIp));
    if (dmRow >= 0 && (config.protocol != 0) != frame_.DmRowUdp(dmRow)) {
        vspd::RemoteInfoReply udp = config;
        udp.protocol = frame_.DmRowUdp(dmRow) ? 1 : 0;
        if (driver_.SetRemoteInfo(name, VspConfigRequest(udp)) != winerr::kSuccess)
            Inform(kConfigFailed);
    }
    Attempt(name, VspConnector::Origin::kButton);
}

bool VspPortCommands::Attempt(const QString& name, VspConnector::Origin origin) {
    uint32_t error = 0;
    VspHandle handle = driver_.OpenPort(name, &error);
    if (TellOpenFailure(error)) return false;
    connector_.Start(name, std::move(handle), origin);
    ports_.SetAttempting(name, true);
    emit statusText(QStringLiteral("Connecting..."));
    Sync();
    return true;
}

void VspPortCommands::OnAttemptFinished(const QString& name, uint32_t error,
                                        VspConnector::Origin origin) {
    ports_.SetAttempting(name, false);
    Sync();
    const VspPort* port = ports_.Find(name);
    if (error == winerr::kSuccess && port) {
        emit statusText(QStringLiteral("Connected to remote host %1@%2 successfully")
                            .arg(FormatDotted(port->config.remoteIp))
                            .arg(port->config.remotePort));
    } else if (error == winerr::kConnectionAborted) {
        emit statusText(kCancelled);
    } else if (error != winerr::kSuccess) {
        emit statusText({});
        if (Reached(error)) TellConnectFailure(error, origin);
    }
    SaveTable();
}

void VspPortCommands::TellConnectFailure(uint32_t error, VspConnector::Origin origin) {
    switch (origin) {
        case VspConnector::Origin::kRepair:
            return;  // the repair tries again at the next start
        case VspConnector::Origin::kDrop:
            Inform(QString::asprintf(kDropConnectFailed, error));
            return;
        case VspConnector::Origin::kButton:
            break;
    }
    if (error == winerr::kSemTimeout) {
        Inform(QString::fromLatin1(kUnreachable));
    } else if (error == winerr::kConnectionRefused) {
        Inform(QString::fromLatin1(kRefused));
    } else {
        Inform(QString::asprintf(kUnknownError, error));
    }
}

void VspPortCommands::StartServer(const QString& name) {
    const uint32_t error = driver_.StartServer(name);
    if (error == winerr::kAccessDenied || !Reached(error)) {
        TellOpenFailure(error);
        return;
    }
    if (error != winerr::kSuccess) {
        Inform(QString::asprintf(kServerFailed, error));
        return;
    }
    // The port shows as "Server" once the pause has passed.
    serverWaits_ << name;
    frame_.Timers().SetTimer(this, kServerWaitTimer, kServerWaitMs);
}

bool VspPortCommands::Close(const QString& name) {
    if (connector_.Running(name)) {
        // The attempt's result ends the state; the user is told then.
        connector_.Cancel(name);
        return true;
    }
    const uint32_t error = driver_.Disconnect(name);
    if (error == winerr::kAccessDenied || !Reached(error)) {
        TellOpenFailure(error);
        return false;
    }
    if (error != winerr::kSuccess) {
        Inform(QString::asprintf(kDisconnectFailed, error));
    } else {
        emit statusText(QStringLiteral("Connection closed successfully"));
    }
    Sync();
    SaveTable();
    return error == winerr::kSuccess;
}

bool VspPortCommands::ConnectToDevice(const QString& name, uint32_t address, uint16_t port,
                                      bool udp) {
    if (!ports_.Find(name)) return false;
    vspd::RemoteInfoReply config;
    const uint32_t error = driver_.GetRemoteInfo(name, &config);
    if (error != winerr::kSuccess) {
        TellOpenFailure(error);
        return false;
    }
    if (ports_.LinkedTo(address, name)) {
        Inform(kAlreadyConnected);
        return false;
    }
    config.protocol = udp ? 1 : 0;
    config.mode = 1;
    config.remoteIp = address;
    config.remotePort = port;
    return Configure(name, VspConfigRequest(config)) && Attempt(name, VspConnector::Origin::kDrop);
}

bool VspPortCommands::Configure(const QString& name, const vspd::RemoteInfoRequest& request) {
    const uint32_t error = driver_.SetRemoteInfo(name, request);
    if (error == winerr::kSuccess) return true;
    if (error == winerr::kAccessDenied || !Reached(error)) {
        TellOpenFailure(error);
    } else {
        Inform(QString::asprintf(kSetRemoteInfoFailed, error));
    }
    return false;
}
