// Adding, removing and renumbering virtual ports, and the list's refresh that follows them.
#include <QFile>

#include "platform/UserPrompts.h"
#include "vsp/VspDriverPackage.h"
#include "vsp/VspInstallService.h"
#include "vsp/VspPortCommands.h"
#include "vspd/WinErrors.h"

namespace {

const QString kRemoveFailed = QStringLiteral("Failed to remove the virtual serial port driver!");

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

bool VspPortCommands::ScanComUsage(VspComUsage* used) {
    const uint32_t error = frame_.VspInstaller().ComUsage(used);
    if (error == winerr::kSuccess) return true;
    if (Reached(error)) Inform(QStringLiteral("Get COM DB failed."));
    return false;
}

void VspPortCommands::Refresh(const QString& added) {
    if (!Sync()) return;
    for (const VspPort& port : ports_.All()) {
        // A port another program holds keeps what it has; it is shown as the service has it.
        if (!port.held) RewriteConfig(port, port.name == added);
    }
    Sync();
}

void VspPortCommands::RewriteConfig(const VspPort& port, bool added) {
    vspd::RemoteInfoReply config = port.config;
    if (added) {
        config.remoteIp = kNewPortAddress;
        config.enableVcom = 0;
        config.maxPacketSize = kNewPortPacketSize;
    }
    if (config.protocol <= 1 && config.maxPacketSize > PacketSizeLimit(config.protocol))
        config.maxPacketSize = PacketSizeLimit(config.protocol);
    Reached(driver_.SetRemoteInfoAt(port.devicePath, VspConfigRequest(config)));
}

QString VspPortCommands::Install(int comNumber) {
    QFile file(frame_.DriverPackagePath());
    if (!file.open(QIODevice::ReadOnly)) {
        Inform(QString::asprintf("SetupOpenInfFile error, %d\n", int(winerr::kFileNotFound)));
        return {};
    }
    uint32_t error = 0;
    const std::optional<QString> hardwareId = vspinf::FirstHardwareId(file.readAll(), &error);
    if (!hardwareId) {
        Inform(QString::asprintf("search for specified device error, %d\n", int(error)));
        return {};
    }
    QString instance;
    error = frame_.VspInstaller().InstallPort(*hardwareId, uint32_t(comNumber), &instance);
    if (!Reached(error)) return {};
    if (error != winerr::kSuccess) {
        Inform(QString::asprintf("SetupDiCallClassInstaller(DIF_REGISTERDEVICE) error, %d\n",
                                 int(error)));
        return {};
    }
    const QString name = QString::asprintf("COM%d", comNumber);
    Refresh(name);
    return ports_.Find(name) ? name : QString();
}

bool VspPortCommands::Remove(const QString& name) {
    if (!Sync()) return false;
    const VspPort* port = ports_.Find(name);
    if (!port) return false;
    if (port->attempting) {
        Inform(QStringLiteral("%1 is connecting: close it first.").arg(name));
        return false;
    }
    if (port->link != VspLink::kIdle &&
        !frame_.Prompts().AskYesNo(QStringLiteral("%1 is in use (%2). Remove it anyway?")
                                       .arg(name, StatusWord(port->link))))
        return false;
    uint32_t error = 0;
    driver_.OpenPort(name, &error);
    if (TellOpenFailure(error)) return false;
    const QString pattern = driver_.InstancePattern(name, &error);
    if (!pattern.isEmpty()) error = frame_.VspInstaller().RemovePort(pattern);
    if (!Reached(error)) return false;
    if (pattern.isEmpty() || error != winerr::kSuccess) {
        Inform(kRemoveFailed);
        return false;
    }
    emit statusText(QStringLiteral("VSP removed successfully"));
    Sync();
    frame_.RefreshTerminalPortLists();
    SaveTable();
    return true;
}

bool VspPortCommands::Renumber(const QString& name, int comNumber) {
    uint32_t error = 0;
    const QString pattern = driver_.InstancePattern(name, &error);
    if (!pattern.isEmpty())
        error = frame_.VspInstaller().RenumberPort(pattern, uint32_t(comNumber));
    if (!Reached(error)) return false;
    if (error != winerr::kSuccess) {
        Inform(error == winerr::kServiceNotActive ? QStringLiteral("Open COM DB Failed")
                                                  : QStringLiteral("Claim COM PORT Failed"));
        return false;
    }
    Sync();
    frame_.RefreshTerminalPortLists();
    return true;
}
