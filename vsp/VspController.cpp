#include "vsp/VspController.h"

#include <algorithm>
#include <cstdio>

#include "platform/NetInterfaces.h"
#include "platform/UserPrompts.h"
#include "protocol/Address.h"
#include "vsp/VspDriver.h"
#include "vsp/VspPortTable.h"

namespace {

// A reply's mode as the form keeps it: the driver's 256 and any other nonzero value is client.
int32_t ClientModeOf(uint32_t mode) {
    return mode != 0 ? 1 : 0;
}

}  // namespace

VspController::VspController(VspFrame& frame, QObject* parent)
    : QObject(parent), frame_(frame), table_(frame.PortTable()) {
    pollState_.fill(kPollIdle);
}

VspController::~VspController() {
    frame_.Timers().KillAll(this);
}

void VspController::InitialUpdate() {
    listedCount_ = 0;
    settingMode_ = false;
    form_.remoteIp = 0;
    enabled_.fill(false);
    Enable({VspControl::kAdd, VspControl::kList}, true);
    pollState_.fill(kPollIdle);
    frame_.Timers().SetTimer(this, kRefreshTimer, kRefreshMs);
    supervision_.Start();
    WriteForm();
    emit controlsChanged();
}

void VspController::SaveTable() {
    table_.Save(RowCount(), frame_.Prompts(), frame_.PortTablePath());
}

void VspController::OnTimer(int timerId) {
    switch (timerId) {
        case kProgressTimer:
            progress_ = std::min(progress_ + 1, progressRange_.second);
            emit controlsChanged();
            break;
        case kRefreshTimer:
            frame_.Timers().KillTimer(this, kRefreshTimer);
            ScanMtu();
            Refresh(false);
            break;
        case kProbeTimer:
            supervision_.OnProbeTimer();
            break;
        case kEvaluationTimer:
            supervision_.OnEvaluationTimer();
            break;
        case kReconnectTimer:
            supervision_.OnReconnectTimer();
            break;
        case kServerWaitTimer:
            frame_.Timers().KillTimer(this, kServerWaitTimer);
            FinishServerStart();
            break;
        default:
            break;
    }
}

void VspController::Enable(VspControl control, bool on) {
    enabled_[Index(control)] = on;
}

void VspController::Enable(std::initializer_list<VspControl> controls, bool on) {
    for (VspControl control : controls) Enable(control, on);
    emit controlsChanged();
}

void VspController::SetStatusLine(const QString& text) {
    form_.statusLine = text;
}

QString VspController::Cell(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    return rows_[size_t(row)].cells[size_t(column)];
}

void VspController::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= RowCount()) return;
    rows_[size_t(row)].cells[size_t(column)] = text;
    emit rowChanged(row);
}

int VspController::PortIdOf(int row) const {
    return Cell(row, VspRow::kPortIdColumn).toInt();
}

int VspController::FindRowByName(const QString& name) const {
    for (int row = 0; row < RowCount(); ++row) {
        if (Cell(row, VspRow::kNameColumn) == name) return row;
    }
    return -1;
}

int VspController::FindRowByPortId(int portId) const {
    for (int row = 0; row < RowCount(); ++row) {
        if (PortIdOf(row) == portId) return row;
    }
    return -1;
}

void VspController::SetPollState(int row, uint32_t state) {
    if (row >= 0 && size_t(row) < pollState_.size()) pollState_[size_t(row)] = state;
}

void VspController::SetConnectCaption() {
    connectCaption_ = form_.clientMode != 0 ? QStringLiteral("Connect") : QStringLiteral("Server");
    emit controlsChanged();
}

void VspController::ScanMtu() {
    minMtu_ = kDefaultMtu;
    for (uint32_t mtu : frame_.Net().Mtus()) minMtu_ = std::min(minMtu_, mtu & 0xFFFF);
}

uint32_t VspController::PacketSizeLimit(int32_t protocol) const {
    return minMtu_ - (protocol == 0 ? kTcpOverhead : kUdpOverhead);
}

void VspController::OnPacketSizeChanged() {
    const uint32_t limit = PacketSizeLimit(form_.protocol);
    if (form_.maxPacketSize > limit) form_.maxPacketSize = limit;
    WriteForm();
}

void VspController::ShowStatus(int row, const QString& word) {
    if (row < 0 || row >= RowCount()) return;
    VspRow& r = rows_[size_t(row)];
    r.cells[VspRow::kStatusColumn] = word;
    const int dmRow = frame_.DmFindRowByIp(FormatDotted(form_.remoteIp));
    if (word == kConnected || word == kServer) {
        r.back = kVspConnectedBack;
    } else if (word == kDisconnecting) {
        r.back = kVspDisconnectingBack;
    } else if (word == kIdle) {
        r.back = kVspIdleBack;
    }
    if ((word == kConnected || word == kIdle) && dmRow >= 0) frame_.DmSetStatusText(dmRow, word);
    emit rowChanged(row);
}

void VspController::SetRemoteColumns(int row, uint32_t address, uint16_t port) {
    if (row < 0 || row >= RowCount()) return;
    const QString ip = address != 0 && form_.clientMode > 0 ? FormatDotted(address) : QString();
    const QString portText = port != 0 ? QString::number(port) : QString();
    SetCell(row, VspRow::kRemoteIpColumn, ip);
    SetCell(row, VspRow::kRemotePortColumn, portText);
    if (row < kVspMaxPorts) {
        table_.Record(row).remoteIpText = ip;
        table_.Record(row).remotePortText = portText;
    }
}

void VspController::ShowPortAndAddress(uint16_t port, uint32_t address) {
    form_.remotePortText.clear();
    form_.listenPortText.clear();
    (form_.clientMode != 0 ? form_.remotePortText : form_.listenPortText) = QString::number(port);
    form_.remoteIp = address;
}

void VspController::TakeReplyIntoForm(const vspd::RemoteInfoReply& reply) {
    form_.connectAtStart = int32_t(reply.connectAtStart);
    form_.clientMode = ClientModeOf(reply.mode);
    form_.enableVcom = int32_t(reply.enableVcom);
    form_.maxPacketSize = reply.maxPacketSize;
}

vspd::RemoteInfoRequest VspController::FormRequest(uint32_t address, uint16_t port) const {
    vspd::RemoteInfoRequest request;
    request.remoteIp = address;
    request.remotePort = port;
    request.protocol = uint8_t(form_.protocol);
    request.connectAtStart = uint32_t(form_.connectAtStart);
    request.mode = uint32_t(form_.clientMode);
    request.enableVcom = uint32_t(form_.enableVcom);
    request.maxPacketSize = form_.maxPacketSize;
    return request;
}

void VspController::LoadFormFromRecord(int index) {
    const VspPortRecord& record = table_.Record(index);
    form_.connectAtStart = record.connectAtStart;
    form_.enableVcom = record.enableVcom;
    form_.maxPacketSize = record.maxPacketSize;
    form_.protocol = record.protocol;
    form_.clientMode = record.clientMode;
    ShowPortAndAddress(record.remotePort, record.remoteIp);
}

void VspController::InsertRow(int row, const QString& portId, const QString& name,
                              const QString& status) {
    VspRow r;
    r.cells[VspRow::kPortIdColumn] = portId;
    r.cells[VspRow::kNameColumn] = name;
    r.cells[VspRow::kStatusColumn] = status;
    rows_.insert(rows_.begin() + row, r);
    emit rowInserted(row);
}

bool VspController::TryOpen(int portId) {
    VspHandle handle = frame_.VspDriver().OpenPort(portId);
    if (handle.IsValid()) return true;
    frame_.Prompts().Inform(kStopTerminal);
    return false;
}

void VspController::ClickRow(int row) {
    selected_ = row >= 0 && row < RowCount() ? std::optional<int>(row) : std::nullopt;
    if (!selected_) {
        Enable(
            {VspControl::kRemove, VspControl::kConnect, VspControl::kClose, VspControl::kSetting},
            false);
        SetConnectCaption();
        return;
    }
    CVspDriver& driver = frame_.VspDriver();
    const int portId = PortIdOf(row);
    vspd::RemoteInfoReply reply;
    if (driver.GetRemoteInfo(portId, &reply)) {
        TakeReplyIntoForm(reply);
        if (reply.connected != 0) {
            ShowStatus(row, form_.clientMode != 0 ? kConnected : kServer);
        } else {
            ShowStatus(row, kIdle);
            SetRemoteColumns(row, 0, 0);
            frame_.ResetPortItem(Cell(row, VspRow::kNameColumn));
        }
    }
    const QString status = Cell(row, VspRow::kStatusColumn);
    if (status == kConnected || status == kServer || status == kDisconnecting) {
        Enable(VspControl::kConnect, false);
        Enable(VspControl::kClose, status != kDisconnecting);
        Enable({VspControl::kRemove, VspControl::kSetting}, false);
        if (driver.GetRemoteInfo(portId, &reply)) {
            TakeReplyIntoForm(reply);
            form_.protocol = reply.protocol;
            ShowPortAndAddress(reply.remotePort, reply.remoteIp);
            WriteForm();
        }
    } else if (status == kIdle) {
        ClickIdleRow(portId);
    }
    SetConnectCaption();
}

void VspController::ClickIdleRow(int portId) {
    vspd::RemoteInfoReply reply;
    if (!frame_.VspDriver().GetRemoteInfo(portId, &reply)) {
        Enable({VspControl::kAdd, VspControl::kRemove, VspControl::kConnect, VspControl::kClose,
                VspControl::kSetting},
               false);
        return;
    }
    TakeReplyIntoForm(reply);
    form_.protocol = reply.protocol;
    ShowPortAndAddress(reply.remotePort, reply.remoteIp);
    WriteForm();
    Enable({VspControl::kConnect, VspControl::kAdd, VspControl::kRemove, VspControl::kSetting},
           true);
    Enable({VspControl::kClose}, false);
}

void VspController::OnClientRadio() {
    Enable(VspControl::kListenPort, false);
    Enable({VspControl::kRemotePort, VspControl::kAddress}, true);
    form_.clientMode = 1;
    form_.remotePortText = form_.listenPortText;
    form_.listenPortText.clear();
    WriteForm();
}

void VspController::OnServerRadio() {
    Enable({VspControl::kRemotePort, VspControl::kAddress}, false);
    Enable({VspControl::kListenPort}, true);
    form_.clientMode = 0;
    form_.listenPortText = form_.remotePortText;
    form_.remotePortText.clear();
    WriteForm();
}
