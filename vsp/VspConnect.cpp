// Connect, Close, the Setting's configuration and the connection made by dropping a device
// on a port.
#include "platform/UserPrompts.h"
#include "protocol/Ipv4Address.h"
#include "vsp/VspDriver.h"
#include "vsp/VspPortCommands.h"
#include "vspd/WinErrors.h"

namespace {

const QString kConfigFailed = QStringLiteral("Virtual serial port configuration failed!");
const QString kAlreadyConnected = QStringLiteral(
    "Warning: This remote device has already established a connection with another virtual "
    "serial port!");
const QString kCancelled = QStringLiteral("Connection attempt cancelled");
const QString kConnecting = QStringLiteral("Connecting...");
const char kUnreachable[] = "Connection failed! (Remote host unreachable)";
const char kRefused[] = "Connection failed! (The remote host refused the network connection)";
const char kUnknownError[] = "Connection failed! (Unknown error, error code: 0x%x)";
const char kServerFailed[] = "IOCTL_SERVER failed (0x%x)\n";
const char kDisconnectFailed[] = "IOCTL_DISCONNECTION failed (0x%x)\n";
const char kDropConnectFailed[] = "IOCTL_CONNECTION failed (0x%x)\n";
const char kSetRemoteInfoFailed[] = "IOCTL_SET_REMOTE_INFO Failed (0x%x)\n";

// A port's configuration as the service keeps it.
struct ReadConfig {
    uint32_t error = 0;
    vspd::RemoteInfoReply config;
    uint32_t rewriteError = 0;  // sending it back with the current host address
};

struct OpenedPort {
    uint32_t configError = 0;
    uint32_t error = 0;
    VspHandle handle;
};

struct AppliedConfig {
    uint32_t error = 0;
    bool renumbered = false;
    uint32_t renumberError = 0;
    VspListed listed;
};

}  // namespace

bool VspPortCommands::Connect(const QString& name) {
    const VspPort* port = ports_.Find(name);
    if (!port || Working(name)) return false;
    // The port shows the command at once; the answer ends it.
    if (port->Client()) ports_.SetAttempting(name, true);
    BeginWork(name);
    emit statusText(kConnecting);
    ConnectFlow(name);
    return true;
}

VspTask VspPortCommands::ConnectFlow(QString name) {
    auto request = service_.Ask([name](VspServiceTools& tools) {
        ReadConfig r;
        r.error = tools.driver.GetRemoteInfo(name, &r.config);
        if (r.error == winerr::kSuccess)
            r.rewriteError = tools.driver.SetRemoteInfo(name, VspConfigRequest(r.config));
        return r;
    });
    const ReadConfig read = co_await request;
    if (CancelledEarly(name)) co_return;
    vspd::RemoteInfoReply config = read.config;
    const VspPort* port = ports_.Find(name);
    bool ok = read.error != winerr::kAccessDenied && Reached(read.error);
    if (ok && read.error != winerr::kSuccess) {
        Inform(kConfigFailed);
        ok = port != nullptr;
        if (port) config = port->config;
    } else if (ok) {
        ok = Reached(read.rewriteError);
    }
    if (!ok || config.mode == 0) {
        ports_.SetAttempting(name, false);
        EndWork(name);
        if (read.error == winerr::kAccessDenied) {
            emit statusText({});
            TellOpenFailure(read.error);
        }
        if (ok) StartServerFlow(name);
        co_return;
    }
    if (ports_.LinkedTo(config.remoteIp, name)) {
        ports_.SetAttempting(name, false);
        EndWork(name);
        emit statusText({});
        Inform(kAlreadyConnected);
        co_return;
    }
    std::optional<vspd::RemoteInfoRequest> protocolFix;
    const int dmRow = frame_.DmFindRowByIp(Ipv4Address(config.remoteIp).ToString());
    if (dmRow >= 0 && (config.protocol != 0) != frame_.DmRowUdp(dmRow)) {
        vspd::RemoteInfoReply fixed = config;
        fixed.protocol = frame_.DmRowUdp(dmRow) ? 1 : 0;
        protocolFix = VspConfigRequest(fixed);
    }
    AttemptFlow(name, VspConnector::Origin::kButton, protocolFix);
}

VspTask VspPortCommands::AttemptFlow(QString name, VspConnector::Origin origin,
                                     std::optional<vspd::RemoteInfoRequest> configure) {
    ports_.SetAttempting(name, true);
    emit portsChanged();
    auto request = service_.Ask([name, configure](VspServiceTools& tools) {
        OpenedPort o;
        if (configure) o.configError = tools.driver.SetRemoteInfo(name, *configure);
        o.handle = tools.driver.OpenPort(name, &o.error);
        return o;
    });
    OpenedPort opened = co_await request;
    // The handle goes with `opened`: the service forgets the session.
    if (CancelledEarly(name)) co_return;
    EndWork(name);
    if (opened.configError != winerr::kSuccess) Inform(kConfigFailed);
    if (TellOpenFailure(opened.error) ||
        !connector_.Start(name, std::move(opened.handle), origin)) {
        ports_.SetAttempting(name, false);
        emit statusText({});
        Sync();
        co_return;
    }
    emit statusText(kConnecting);
    Sync();
}

bool VspPortCommands::CancelledEarly(const QString& name) {
    if (cancelledEarly_.erase(name) == 0) return false;
    ports_.SetAttempting(name, false);
    EndWork(name);
    emit statusText(kCancelled);
    Sync();
    return true;
}

void VspPortCommands::OnAttemptFinished(const QString& name, uint32_t error,
                                        VspConnector::Origin origin, bool cancelled) {
    ports_.SetAttempting(name, false);
    BeginWork(name);
    AttemptResultFlow(name, error, origin, cancelled);
}

VspTask VspPortCommands::AttemptResultFlow(QString name, uint32_t error,
                                           VspConnector::Origin origin, bool cancelled) {
    auto request = service_.Ask(VspList);
    const VspListed listed = co_await request;
    EndWork(name);
    Take(listed);
    const VspPort* port = ports_.Find(name);
    const bool connected = port && port->link == VspLink::kConnected;
    if (cancelled) {
        // The device answered as the user pressed Close: what the user is told is what the
        // service has, so the close goes on.
        if (connected && BeginWork(name)) {
            CloseFlow(name, false);
        } else {
            emit statusText(kCancelled);
            SaveTable();
        }
        co_return;
    }
    if (error == winerr::kSuccess && port) {
        intent_.insert(name);
        emit statusText(QStringLiteral("Connected to remote host %1@%2 successfully")
                            .arg(Ipv4Address(port->config.remoteIp).ToString())
                            .arg(port->config.remotePort));
    } else if (error != winerr::kSuccess) {
        emit statusText({});
        if (Reached(error)) TellConnectFailure(error, origin);
        if (origin == VspConnector::Origin::kRepair) RepairAfterFailure();
    }
    SaveTable();
}

void VspPortCommands::TellConnectFailure(uint32_t error, VspConnector::Origin origin) {
    switch (origin) {
        case VspConnector::Origin::kRepair:
            return;  // the repair tries again later
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

VspTask VspPortCommands::StartServerFlow(QString name) {
    BeginWork(name);
    auto request =
        service_.Ask([name](VspServiceTools& tools) { return tools.driver.StartServer(name); });
    const uint32_t error = co_await request;
    EndWork(name);
    if (error == winerr::kAccessDenied || !Reached(error)) {
        TellOpenFailure(error);
        co_return;
    }
    if (error != winerr::kSuccess) {
        emit statusText({});
        Inform(QString::asprintf(kServerFailed, error));
        co_return;
    }
    const VspPort* port = ports_.Find(name);
    emit statusText(
        QStringLiteral("Server started on port %1").arg(port ? port->config.remotePort : 0));
    // The port shows as "Server" once the pause has passed.
    serverWaits_ << name;
    frame_.Timers().SetTimer(this, kServerWaitTimer, kServerWaitMs);
}

bool VspPortCommands::Close(const QString& name) {
    // What the user asked for goes first: no repair brings the port back.
    intent_.erase(name);
    if (connector_.Running(name)) {
        // The attempt's result ends the state; the user is told then.
        connector_.Cancel(name);
        return true;
    }
    const VspPort* port = ports_.Find(name);
    if (port && port->attempting) {
        // The attempt still waits for its request: it ends when the answer comes.
        cancelledEarly_.insert(name);
        return true;
    }
    if (!ports_.Find(name) || !BeginWork(name)) return false;
    CloseFlow(name, false);
    return true;
}

VspTask VspPortCommands::CloseFlow(QString name, bool supervised) {
    auto request = service_.Ask([name](VspServiceTools& tools) {
        return VspOutcome{tools.driver.Disconnect(name), VspList(tools)};
    });
    const VspOutcome outcome = co_await request;
    EndWork(name);
    if (outcome.error == winerr::kAccessDenied || !Reached(outcome.error)) {
        TellOpenFailure(outcome.error);
    } else if (outcome.error != winerr::kSuccess) {
        Inform(QString::asprintf(kDisconnectFailed, outcome.error));
    } else {
        emit statusText(QStringLiteral("Connection closed successfully"));
    }
    if (supervised) supervision_.Release();
    if (outcome.listed.error == winerr::kSuccess) Take(outcome.listed);
    SaveTable();
}

bool VspPortCommands::ConnectToDevice(const QString& name, uint32_t address, uint16_t port,
                                      bool udp) {
    if (!ports_.Find(name) || !BeginWork(name)) return false;
    DropFlow(name, address, port, udp);
    return true;
}

VspTask VspPortCommands::DropFlow(QString name, uint32_t address, uint16_t port, bool udp) {
    auto request = service_.Ask([name](VspServiceTools& tools) {
        ReadConfig r;
        r.error = tools.driver.GetRemoteInfo(name, &r.config);
        return r;
    });
    const ReadConfig read = co_await request;
    if (read.error != winerr::kSuccess || ports_.LinkedTo(address, name)) {
        EndWork(name);
        if (!TellOpenFailure(read.error)) Inform(kAlreadyConnected);
        co_return;
    }
    vspd::RemoteInfoReply config = read.config;
    config.protocol = udp ? 1 : 0;
    config.mode = 1;
    config.remoteIp = address;
    config.remotePort = port;
    const vspd::RemoteInfoRequest configured = VspConfigRequest(config);
    auto request2 = service_.Ask([name, configured](VspServiceTools& tools) {
        return tools.driver.SetRemoteInfo(name, configured);
    });
    const uint32_t error = co_await request2;
    if (error != winerr::kSuccess) {
        EndWork(name);
        TellConfigureFailure(error);
        co_return;
    }
    AttemptFlow(name, VspConnector::Origin::kDrop, std::nullopt);
}

void VspPortCommands::TellConfigureFailure(uint32_t error) {
    if (error == winerr::kAccessDenied || !Reached(error)) {
        TellOpenFailure(error);
    } else {
        Inform(QString::asprintf(kSetRemoteInfoFailed, error));
    }
}

bool VspPortCommands::Apply(const QString& name, const vspd::RemoteInfoRequest& request,
                            int renumber, Applied done) {
    if (!BeginWork(name)) return false;
    ApplyFlow(name, request, renumber, std::move(done));
    return true;
}

VspTask VspPortCommands::ApplyFlow(QString name, vspd::RemoteInfoRequest config, int renumber,
                                   Applied done) {
    auto request = service_.Ask([name, config, renumber](VspServiceTools& tools) {
        AppliedConfig a;
        a.error = tools.driver.SetRemoteInfo(name, config);
        if (a.error == winerr::kSuccess && renumber > 0) {
            a.renumbered = true;
            const QString pattern = tools.driver.InstancePattern(name, &a.renumberError);
            if (!pattern.isEmpty())
                a.renumberError = tools.installer.RenumberPort(pattern, uint32_t(renumber));
        }
        a.listed = VspList(tools);
        return a;
    });
    const AppliedConfig applied = co_await request;
    EndWork(name);
    if (applied.listed.error == winerr::kSuccess) Take(applied.listed);
    if (applied.error != winerr::kSuccess) {
        TellConfigureFailure(applied.error);
        done(name, false);
        co_return;
    }
    QString now = name;
    if (config.mode == 0) intent_.erase(name);
    if (applied.renumbered && applied.renumberError == winerr::kSuccess) {
        now = QString::asprintf("COM%d", renumber);
        if (intent_.erase(name)) intent_.insert(now);
        frame_.RefreshTerminalPortLists();
    } else if (applied.renumbered && Reached(applied.renumberError)) {
        Inform(QStringLiteral("Claim COM PORT Failed"));
    }
    SaveTable();
    done(now, true);
}
