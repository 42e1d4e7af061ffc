// Adding, removing and renumbering virtual ports, and the list's refresh that follows them.
#include <QFile>

#include "platform/UserPrompts.h"
#include "vsp/VspDriver.h"
#include "vsp/VspDriverPackage.h"
#include "vsp/VspInstallService.h"
#include "vsp/VspPortCommands.h"
#include "vspd/WinErrors.h"

namespace {

const QString kRemoveFailed = QStringLiteral("Failed to remove the virtual serial port driver!");

struct Removal {
    uint32_t openError = 0;
    uint32_t error = 0;
    bool found = false;  // the port's instance was found
    VspListed listed;
};

}  // namespace

QStringList VspPortNumberEntries(const VspComUsage& used) {
    QStringList entries;
    for (size_t n = 1; n <= used.size(); ++n)
        entries << (used[n - 1] != 0 ? QString::asprintf("COM%d (in used)", int(n))
                                     : QString::asprintf("COM%d", int(n)));
    return entries;
}

int VspFirstFreePosition(const VspComUsage& used) {
    for (size_t i = 0; i < used.size(); ++i) {
        if (used[i] == 0) return int(i);
    }
    return 0;
}

void VspPortCommands::Refresh(const QString& added) {
    RefreshFlow(added);
}

std::vector<VspRewrite> VspPortCommands::Rewrites(const QString& added) const {
    std::vector<VspRewrite> rewrites;
    for (const VspPort& port : ports_.All()) {
        // A port another program holds keeps what it has; it is shown as the service has it.
        // So does one with a command under way.
        if (port.held || Working(port.name) || connector_.Running(port.name)) continue;
        vspd::RemoteInfoReply config = port.config;
        if (port.name == added) {
            config.remoteIp = kNewPortAddress;
            config.enableVcom = 0;
            config.maxPacketSize = kNewPortPacketSize;
        }
        if (config.protocol <= 1 && config.maxPacketSize > PacketSizeLimit(config.protocol))
            config.maxPacketSize = PacketSizeLimit(config.protocol);
        rewrites.push_back({port.devicePath, VspConfigRequest(config)});
    }
    return rewrites;
}

VspOutcome VspRewriteAll(VspServiceTools& tools, const std::vector<VspRewrite>& rewrites) {
    VspOutcome outcome;
    for (const VspRewrite& r : rewrites) {
        const uint32_t error = tools.driver.SetRemoteInfoAt(r.devicePath, r.request);
        if (outcome.error == winerr::kSuccess) outcome.error = error;
    }
    outcome.listed = VspList(tools);
    return outcome;
}

VspTask VspPortCommands::RefreshFlow(QString added) {
    auto request = service_.Ask(VspList);
    const VspListed listed = co_await request;
    if (!Take(listed)) co_return;
    const std::vector<VspRewrite> rewrites = Rewrites(added);
    auto request2 =
        service_.Ask([rewrites](VspServiceTools& tools) { return VspRewriteAll(tools, rewrites); });
    const VspOutcome outcome = co_await request2;
    if (Reached(outcome.error)) Take(outcome.listed);
}

void VspPortCommands::Install(int comNumber, std::function<void(bool)> done) {
    InstallFlow(comNumber, std::move(done));
}

VspTask VspPortCommands::InstallFlow(int comNumber, std::function<void(bool)> done) {
    QFile file(frame_.DriverPackagePath());
    if (!file.open(QIODevice::ReadOnly)) {
        Inform(QString::asprintf("SetupOpenInfFile error, %d\n", int(winerr::kFileNotFound)));
        done(false);
        co_return;
    }
    uint32_t error = 0;
    const std::optional<QString> hardwareId = vspinf::FirstHardwareId(file.readAll(), &error);
    if (!hardwareId) {
        Inform(QString::asprintf("search for specified device error, %d\n", int(error)));
        done(false);
        co_return;
    }
    const QString id = *hardwareId;
    auto request = service_.Ask([id, comNumber](VspServiceTools& tools) {
        QString instance;
        return VspOutcome{tools.installer.InstallPort(id, uint32_t(comNumber), &instance),
                          VspList(tools)};
    });
    const VspOutcome installed = co_await request;
    if (!Reached(installed.error)) {
        done(false);
        co_return;
    }
    if (installed.error != winerr::kSuccess) {
        Inform(QString::asprintf("SetupDiCallClassInstaller(DIF_REGISTERDEVICE) error, %d\n",
                                 int(installed.error)));
        done(false);
        co_return;
    }
    const QString name = QString::asprintf("COM%d", comNumber);
    Take(installed.listed);
    const std::vector<VspRewrite> rewrites = Rewrites(name);
    auto request2 =
        service_.Ask([rewrites](VspServiceTools& tools) { return VspRewriteAll(tools, rewrites); });
    const VspOutcome outcome = co_await request2;
    if (Reached(outcome.error)) Take(outcome.listed);
    done(ports_.Find(name) != nullptr);
}

bool VspPortCommands::Remove(const QString& name) {
    if (!ports_.Find(name) || !BeginWork(name)) return false;
    RemoveFlow(name);
    return true;
}

VspTask VspPortCommands::RemoveFlow(QString name) {
    auto request = service_.Ask(VspList);
    const VspListed list = co_await request;
    const bool listed = Take(list);
    const VspPort* port = ports_.Find(name);
    if (!listed || !port) {
        EndWork(name);
        co_return;
    }
    if (connector_.Running(name)) {
        EndWork(name);
        Inform(QStringLiteral("%1 is connecting: close it first.").arg(name));
        co_return;
    }
    if (port->link != VspLink::kIdle &&
        !frame_.Prompts().AskYesNo(QStringLiteral("%1 is in use (%2). Remove it anyway?")
                                       .arg(name, StatusWord(port->link)))) {
        EndWork(name);
        co_return;
    }
    auto request2 = service_.Ask([name](VspServiceTools& tools) {
        Removal r;
        // The port is opened once, as only a port that no program holds may go.
        tools.driver.OpenPort(name, &r.openError);
        if (r.openError == winerr::kSuccess) {
            const QString pattern = tools.driver.InstancePattern(name, &r.error);
            r.found = !pattern.isEmpty();
            if (r.found) r.error = tools.installer.RemovePort(pattern);
        }
        r.listed = VspList(tools);
        return r;
    });
    const Removal removal = co_await request2;
    EndWork(name);
    if (TellOpenFailure(removal.openError) || !Reached(removal.error)) co_return;
    if (!removal.found || removal.error != winerr::kSuccess) {
        Inform(kRemoveFailed);
        Take(removal.listed);
        co_return;
    }
    intent_.erase(name);
    emit statusText(QStringLiteral("VSP removed successfully"));
    Take(removal.listed);
    frame_.RefreshTerminalPortLists();
    SaveTable();
    emit removed(name);
}
