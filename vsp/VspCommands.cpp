// The port commands of the virtual serial port view: Setting, Connect, Close and the calls
// of the navigation tree.
#include <QtGlobal>

#include "platform/UserPrompts.h"
#include "protocol/Address.h"
#include "vsp/VspController.h"
#include "vsp/VspDriver.h"
#include "vsp/VspInstallService.h"
#include "vsp/VspPortTable.h"
#include "vsp/VspWaitLoop.h"
#include "vspd/WinErrors.h"

namespace {

const QString kConfigFailed = QStringLiteral("Virtual serial port configuration failed!");
const QString kNoConnectionType = QStringLiteral("Not Select The Connection Type!");
const QString kAlreadyConnected = QStringLiteral(
    "Warning: This remote device has already established a connection with another virtual "
    "serial port!");
const char kUnreachable[] = "Connection failed! (Remote host unreachable)";
const char kRefused[] = "Connection failed! (The remote host refused the network connection)";
const char kUnknownError[] = "Connection failed! (Unknown error, error code: 0x%x)";
const char kServerFailed[] = "IOCTL_SERVER failed (0x%x)\n";
const char kDisconnectFailed[] = "IOCTL_DISCONNECTION failed (0x%x)\n";
const char kDropConnectFailed[] = "IOCTL_CONNECTION failed (0x%x)\n";

uint16_t PortOf(const QString& text) {
    return uint16_t(text.toUInt());
}

QString Octets(uint32_t address) {
    return QString::asprintf("%d.%d.%d.%d", int(address >> 24), int((address >> 16) & 0xFF),
                             int((address >> 8) & 0xFF), int(address & 0xFF));
}

}  // namespace

void VspController::OnSetting() {
    if (settingMode_) {
        SettingSecondPress();
    } else {
        SettingFirstPress();
    }
}

void VspController::SettingFirstPress() {
    if (!selected_ || !TryOpen(PortIdOf(*selected_))) return;
    EnterEditState();
    VspComUsage used{};
    if (!ScanComUsage(&used)) return;
    portNumbers_ = VspPortNumberEntries(used);
    portNumberIndex_ = Cell(*selected_, VspRow::kNameColumn).mid(3).toInt() - 1;
    emit controlsChanged();
}

void VspController::EnterEditState() {
    const bool client = form_.clientMode == 1;
    // No renumbering unless this edit's usage scan filled the list.
    portNumbers_.clear();
    portNumberIndex_ = -1;
    settingMode_ = true;
    settingCaption_ = QStringLiteral("OK");
    Enable(VspControl::kList, false);
    Enable(VspControl::kAddress, client);
    Enable(VspControl::kRemotePort, client);
    Enable(VspControl::kListenPort, !client);
    Enable({VspControl::kAdd, VspControl::kRemove, VspControl::kConnect, VspControl::kClose},
           false);
    Enable({VspControl::kPacketSize, VspControl::kPortNumber, VspControl::kConnectAtStart,
            VspControl::kEnableVcom, VspControl::kTcp, VspControl::kUdp, VspControl::kServer,
            VspControl::kClient},
           true);
}

void VspController::SettingSecondPress() {
    if (!selected_ || !TryOpen(PortIdOf(*selected_))) return;
    const int row = *selected_;
    const int portId = PortIdOf(row);
    Enable({VspControl::kList}, true);
    if (form_.clientMode == -1) {
        frame_.Prompts().Inform(kNoConnectionType);
        return;
    }
    const uint16_t port =
        PortOf(form_.clientMode == 1 ? form_.remotePortText : form_.listenPortText);
    frame_.VspDriver().SetRemoteInfo(portId, FormRequest(form_.remoteIp, port));

    settingMode_ = false;
    settingCaption_ = QStringLiteral("Setting");
    Enable({VspControl::kAddress, VspControl::kRemotePort}, false);
    Enable({VspControl::kAdd, VspControl::kRemove, VspControl::kConnect}, true);
    Enable({VspControl::kClose, VspControl::kPacketSize, VspControl::kPortNumber,
            VspControl::kConnectAtStart, VspControl::kEnableVcom, VspControl::kTcp,
            VspControl::kUdp, VspControl::kServer, VspControl::kClient, VspControl::kListenPort},
           false);
    SetConnectCaption();

    const int chosen = portNumberIndex_ + 1;
    const QString chosenName = QString::asprintf("COM%d", chosen);
    if (portNumberIndex_ > 0 &&
        chosenName.compare(Cell(row, VspRow::kNameColumn), Qt::CaseInsensitive) != 0 &&
        !RenumberPort(row, portId, chosen)) {
        return;
    }
    VspPortRecord& record = table_.Record(row);
    record.portName = record.treeName = Cell(row, VspRow::kNameColumn);
    record.remoteIp = form_.remoteIp;
    record.remotePort = port;
    record.protocol = uint8_t(form_.protocol);
    record.connectAtStart = form_.connectAtStart;
    record.status = Cell(row, VspRow::kStatusColumn);
    record.clientMode = form_.clientMode;
    record.enableVcom = form_.enableVcom;
    record.maxPacketSize = form_.maxPacketSize;
    SaveTable();
}

void VspController::OnConnect() {
    if (!selected_) return;
    const int portId = PortIdOf(*selected_);
    CVspDriver& driver = frame_.VspDriver();
    vspd::RemoteInfoReply reply;
    if (driver.GetRemoteInfo(portId, &reply)) {
        TakeReplyIntoForm(reply);
        form_.protocol = reply.protocol;
        driver.SetRemoteInfo(portId, FormRequest(reply.remoteIp, reply.remotePort));
    } else {
        frame_.Prompts().Inform(kConfigFailed);
    }
    if (form_.clientMode != 0) {
        ConnectClient(portId);
    } else {
        StartServer(portId);
    }
}

void VspController::ConnectClient(int portId) {
    CVspDriver& driver = frame_.VspDriver();
    const uint16_t port = PortOf(form_.remotePortText);
    const QString address = FormatDotted(form_.remoteIp);
    if (frame_.TreeShowsText(address)) {
        frame_.Prompts().Inform(kAlreadyConnected);
        return;
    }
    const int dmRow = frame_.DmFindRowByIp(address);
    if (dmRow >= 0 && int32_t(frame_.DmRowUdp(dmRow)) != form_.protocol) {
        vspd::RemoteInfoReply reply;
        if (driver.GetRemoteInfo(portId, &reply)) {
            TakeReplyIntoForm(reply);
            form_.protocol = frame_.DmRowUdp(dmRow) ? 1 : 0;
            driver.SetRemoteInfo(portId, FormRequest(reply.remoteIp, reply.remotePort));
        } else {
            frame_.Prompts().Inform(kConfigFailed);
        }
    }
    VspHandle handle = driver.OpenPort(portId);
    if (!handle.IsValid()) {
        frame_.Prompts().Inform(kStopTerminal);
        return;
    }
    Enable({VspControl::kConnect}, false);
    SetStatusLine(QStringLiteral("Connecting..."));
    WriteForm();
    const bool connected = ConnectWhilePainting(handle);
    handle.Close();
    // The list may have changed while the attempt ran: find the port's row again.
    const int row = FindRowByPortId(portId);
    if (row < 0) return;
    if (connected) {
        SetStatusLine(QStringLiteral("Connected to remote host %1@%2 successfully")
                          .arg(Octets(form_.remoteIp))
                          .arg(port));
        WriteForm();
        ShowStatus(row, kConnected);
        MarkConnected();
        SetRemoteColumns(row, form_.remoteIp, port);
        SetPollState(row, kPollClient);
        frame_.SetPortItemText(Cell(row, VspRow::kNameColumn) + " (" +
                               Cell(row, VspRow::kRemoteIpColumn) + ")");
    } else {
        ReportConnectFailure(driver.LastError());
        SetStatusLine({});
        WriteForm();
        Enable({VspControl::kConnect}, true);
    }
    CopyColumnsToRecord(row);
    SaveTable();
}

bool VspController::ConnectWhilePainting(VspHandle& handle) {
    CVspDriver& driver = frame_.VspDriver();
    bool connected = false;
    RunWhilePainting([&] { connected = driver.ConnectPort(handle); });
    return connected;
}

void VspController::ReportConnectFailure(uint32_t error) {
    if (error == winerr::kSemTimeout) {
        frame_.Prompts().Inform(QString::fromLatin1(kUnreachable));
    } else if (error == winerr::kConnectionRefused) {
        frame_.Prompts().Inform(QString::fromLatin1(kRefused));
    } else {
        frame_.Prompts().Inform(QString::asprintf(kUnknownError, error));
    }
}

void VspController::MarkConnected() {
    Enable({VspControl::kConnect, VspControl::kSetting, VspControl::kRemove, VspControl::kAddress,
            VspControl::kRemotePort},
           false);
    Enable({VspControl::kClose}, true);
}

void VspController::StartServer(int portId) {
    CVspDriver& driver = frame_.VspDriver();
    VspHandle handle = driver.OpenPort(portId);
    if (!handle.IsValid()) {
        frame_.Prompts().Inform(kStopTerminal);
        return;
    }
    const bool started = driver.StartServer(handle);
    handle.Close();
    if (!started) {
        frame_.Prompts().Inform(QString::asprintf(kServerFailed, driver.LastError()));
        return;
    }
    // The port shows as "Server" once the pause has passed; Connect stays off meanwhile.
    serverWaitPort_ = portId;
    Enable({VspControl::kConnect}, false);
    frame_.Timers().SetTimer(this, kServerWaitTimer, kServerWaitMs);
}

void VspController::FinishServerStart() {
    const int row = serverWaitPort_ ? FindRowByPortId(*serverWaitPort_) : -1;
    serverWaitPort_.reset();
    if (row < 0) return;
    ShowStatus(row, kServer);
    MarkConnected();
    SetPollState(row, kPollServer);
    frame_.SetPortItemText(Cell(row, VspRow::kNameColumn) + " (" +
                           Cell(row, VspRow::kStatusColumn) + ")");
    table_.Record(row).status = Cell(row, VspRow::kStatusColumn);
    table_.Record(row).remotePortText = form_.listenPortText;
}

void VspController::OnClose() {
    if (!selected_) return;
    const int row = *selected_;
    const QString name = Cell(row, VspRow::kNameColumn);
    frame_.CloseTerminalsOnPort(name);
    if (Disconnect(row)) frame_.ResetPortItem(name);
}

bool VspController::CloseByName(const QString& name) {
    const int row = FindRowByName(name);
    return row >= 0 && Disconnect(row);
}

bool VspController::Disconnect(int row) {
    CVspDriver& driver = frame_.VspDriver();
    VspHandle handle = driver.OpenPort(PortIdOf(row));
    if (!handle.IsValid()) {
        frame_.Prompts().Inform(kStopTerminal);
        return false;
    }
    const bool closed = driver.DisconnectPort(handle);
    if (closed) {
        SetStatusLine(QStringLiteral("Connection closed successfully"));
        WriteForm();
        ShowStatus(row, kIdle);
        Enable({VspControl::kConnect, VspControl::kSetting, VspControl::kRemove}, true);
        Enable({VspControl::kClose}, false);
        SetRemoteColumns(row, 0, 0);
    } else {
        frame_.Prompts().Inform(QString::asprintf(kDisconnectFailed, driver.LastError()));
    }
    Enable({VspControl::kAdd, VspControl::kRemove}, true);
    handle.Close();
    VspPortRecord& record = table_.Record(row);
    record.status = Cell(row, VspRow::kStatusColumn);
    record.remoteIpText = record.remotePortText = kNoConnection;
    SaveTable();
    return closed;
}

bool VspController::RemoveByName(const QString& name) {
    const int row = FindRowByName(name);
    if (row < 0) return false;
    selected_ = row;
    emit rowSelected(row);
    OnRemove();
    return true;
}

bool VspController::ConnectByDrop(const QString& portName, const QString& ipText,
                                  const QString& portText, bool udp) {
    int row = FindRowByName(portName);
    if (row < 0) return false;
    const int portId = PortIdOf(row);
    CVspDriver& driver = frame_.VspDriver();
    vspd::RemoteInfoReply reply;
    if (!driver.GetRemoteInfo(portId, &reply)) return false;
    TakeReplyIntoForm(reply);
    form_.protocol = udp ? 1 : 0;
    form_.clientMode = 1;
    form_.remotePortText = portText;
    form_.remoteIp = ParseDottedAddress(ipText);
    selected_ = row;
    emit rowSelected(row);
    const uint16_t port = PortOf(portText);
    driver.SetRemoteInfo(portId, FormRequest(form_.remoteIp, port));
    VspHandle handle = driver.OpenPort(portId);
    if (!handle.IsValid()) {
        frame_.Prompts().Inform(kStopTerminal);
        return false;
    }
    const bool connected = ConnectWhilePainting(handle);
    handle.Close();
    row = FindRowByPortId(portId);
    if (row < 0) return false;
    if (connected) {
        SetStatusLine(
            QStringLiteral("Connected to remote host %1@%2 successfully").arg(ipText).arg(port));
        WriteForm();
        ShowStatus(row, kConnected);
        MarkConnected();
        SetRemoteColumns(row, form_.remoteIp, port);
    } else {
        frame_.Prompts().Inform(QString::asprintf(kDropConnectFailed, driver.LastError()));
        SetStatusLine({});
        WriteForm();
        Enable({VspControl::kConnect}, true);
    }
    CopyColumnsToRecord(row);
    SaveTable();
    return connected;
}

void VspController::CopyColumnsToRecord(int row) {
    if (row < 0 || row >= RowCount()) return;
    VspPortRecord& record = table_.Record(row);
    record.status = Cell(row, VspRow::kStatusColumn);
    record.remoteIpText = Cell(row, VspRow::kRemoteIpColumn);
    record.remotePortText = Cell(row, VspRow::kRemotePortColumn);
}
