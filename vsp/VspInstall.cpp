// Adding, removing and renumbering virtual ports from the virtual serial port view.
#include <QFile>

#include "platform/UserPrompts.h"
#include "vsp/VspController.h"
#include "vsp/VspDriver.h"
#include "vsp/VspDriverPackage.h"
#include "vsp/VspDriverQueries.h"
#include "vsp/VspInstallService.h"
#include "vsp/VspPortTable.h"
#include "vspd/WinErrors.h"

namespace {

constexpr int kSmallList = 2;
constexpr int kProgressExtra = 5;
constexpr qsizetype kDevicePathPrefix = 4;  // \\?\ before root#ports#NNNN
constexpr qsizetype kInstancePartLength = 15;
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

bool VspController::ScanComUsage(VspComUsage* used) {
    const uint32_t error = frame_.VspInstaller().ComUsage(used);
    if (error == winerr::kSuccess) return true;
    frame_.Prompts().Inform(error == winerr::kServiceNotActive
                                ? QStringLiteral("Opend COM DB failed.")
                                : QStringLiteral("Get COM DB failed."));
    return false;
}

void VspController::OnAdd() {
    VspDriverQueries& busy = frame_.VspBusyCheck();
    busy.CheckBusy();
    if (busy.PortBusy()) {
        frame_.Prompts().Inform(
            QStringLiteral("You need to close all opened VSP ports before adding a new one!"));
        return;
    }
    VspComUsage used{};
    if (!ScanComUsage(&used)) return;
    const std::optional<int> chosen = chooser_ ? chooser_(used) : std::nullopt;
    if (!chosen || *chosen < 1 || *chosen > int(used.size())) return;
    addedName_ = QString::asprintf("COM%d", *chosen);
    if (used[size_t(*chosen - 1)] != 0) {
        frame_.Prompts().Inform(QStringLiteral("The selected port number is in used."));
        return;
    }
    AddPort(*chosen);
}

void VspController::AddPort(int comNumber) {
    SetStatusLine(QStringLiteral("Adding virtual serial port driver..."));
    WriteForm();
    frame_.Timers().SetTimer(this, kProgressTimer, kProgressMs);
    progressRange_ = {0, RowCount() < kSmallList ? kSmallList : RowCount() + kProgressExtra};
    progress_ = 1;
    emit controlsChanged();

    const int before = listedCount_;
    InstallPort(comNumber);
    Refresh(true);

    SetStatusLine(listedCount_ == before
                      ? QStringLiteral("Added a virtual serial port failed")
                      : QStringLiteral("Added a virtual serial port successfully"));
    WriteForm();
    frame_.Timers().KillTimer(this, kProgressTimer);
    progress_ = progressRange_.second;
    Enable(VspControl::kAdd, RowCount() < kVspMaxPorts);
    Enable({VspControl::kRemove, VspControl::kConnect, VspControl::kClose, VspControl::kSetting},
           false);
    frame_.RebuildPortTree();
    frame_.RefreshTerminalPortLists();
    SaveTable();
}

void VspController::InstallPort(int comNumber) {
    Enable({VspControl::kAdd}, false);
    QFile file(frame_.DriverPackagePath());
    if (!file.open(QIODevice::ReadOnly)) {
        frame_.Prompts().Inform(
            QString::asprintf("SetupOpenInfFile error, %d\n", int(winerr::kFileNotFound)));
        return;
    }
    uint32_t error = 0;
    const std::optional<QString> hardwareId = vspinf::FirstHardwareId(file.readAll(), &error);
    if (!hardwareId) {
        frame_.Prompts().Inform(
            QString::asprintf("search for specified device error, %d\n", int(error)));
        return;
    }
    QString instance;
    error = frame_.VspInstaller().InstallPort(*hardwareId, uint32_t(comNumber), &instance);
    if (error != winerr::kSuccess) {
        frame_.Prompts().Inform(QString::asprintf(
            "SetupDiCallClassInstaller(DIF_REGISTERDEVICE) error, %d\n", int(error)));
    }
}

QString VspController::InstanceIdOf(int portId) {
    const QString path = frame_.VspDriver().DevicePath(portId);
    if (path.isEmpty()) {
        if (RowCount() > kVspMaxPorts - 1) Enable({VspControl::kAdd}, false);
        return {};
    }
    QString part = path.mid(kDevicePathPrefix, kInstancePartLength);
    return '@' + part.replace('#', '\\');
}

void VspController::OnRemove() {
    if (!selected_) return;
    const int row = *selected_;
    const QString name = Cell(row, VspRow::kNameColumn);
    const int portId = PortIdOf(row);
    if (!TryOpen(portId)) return;
    Enable({VspControl::kRemove}, false);
    const QString pattern = InstanceIdOf(portId);
    // The service answers once the port is gone.
    if (pattern.isEmpty() || frame_.VspInstaller().RemovePort(pattern) != winerr::kSuccess) {
        frame_.Prompts().Inform(kRemoveFailed);
        Enable({VspControl::kRemove}, true);
        return;
    }
    rows_.erase(rows_.begin() + row);
    selected_.reset();
    emit rowRemoved(row);
    const bool several = table_.PortCount() >= 2;
    CloseTableGap(row);
    if (several) LoadFormFromRecord(int(table_.PortCount()) - 1);

    SetStatusLine(QStringLiteral("VSP removed successfully"));
    WriteForm();
    Enable(VspControl::kAdd, true);
    Enable({VspControl::kRemove, VspControl::kConnect, VspControl::kClose, VspControl::kSetting},
           false);
    frame_.RemovePortItem(name);
    frame_.RefreshTerminalPortLists();
    SaveTable();
}

void VspController::CloseTableGap(int row) {
    const int count = std::min<int>(int(table_.PortCount()), kVspMaxPorts);
    if (count >= 2) {
        for (int j = row; j <= count - 2; ++j) {
            if (j < RowCount()) SetCell(j, VspRow::kPortIdColumn, table_.Record(j).portId);
            const QString portId = table_.Record(j).portId;
            table_.Record(j) = table_.Record(j + 1);
            table_.Record(j).portId = portId;
        }
    }
    if (table_.PortCount() > 0) table_.SetPortCount(table_.PortCount() - 1);
}

bool VspController::RenumberPort(int row, int portId, int comNumber) {
    const QString pattern = InstanceIdOf(portId);
    const uint32_t error = pattern.isEmpty()
                               ? winerr::kFileNotFound
                               : frame_.VspInstaller().RenumberPort(pattern, uint32_t(comNumber));
    if (error != winerr::kSuccess) {
        frame_.Prompts().Inform(error == winerr::kServiceNotActive
                                    ? QStringLiteral("Open COM DB Failed")
                                    : QStringLiteral("Claim COM PORT Failed"));
        return false;
    }
    SetCell(row, VspRow::kNameColumn, QString::asprintf("COM%d", comNumber));
    frame_.RefreshTerminalPortLists();
    frame_.RebuildPortTree();
    return true;
}
