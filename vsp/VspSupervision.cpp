#include "vsp/VspSupervision.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <array>

#include "platform/UserPrompts.h"
#include "protocol/Address.h"
#include "protocol/ByteOrder.h"
#include "protocol/Message.h"
#include "vsp/VspController.h"
#include "vsp/VspDriver.h"
#include "vsp/VspPortTable.h"

namespace {

const char kDatedLine[] = "date: %d hour: %d min: %d \r\n";
const char kDisconnectionFailed[] = "PortID %d fail to do IOCTL_DISCONNECTION (0x%x)\n";

QString AddressText(uint32_t address) {
    return QString::asprintf("%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                             (address >> 8) & 0xFF, address & 0xFF);
}

}  // namespace

QByteArray VspProbeAnswer::Encode() const {
    QByteArray out = msg::WithHeader(kSize, msg::kSearchReply);
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    bytes::PutBE32(p + kAddressOffset, deviceAddress);
    p[kStateOffset] = state;
    return out;
}

std::optional<VspProbeAnswer> VspProbeAnswer::Decode(std::span<const uint8_t> datagram) {
    if (datagram.size() < size_t(kSize) || !msg::HasMagic(datagram) ||
        datagram[msg::kCommandOffset] != msg::kSearchReply) {
        return std::nullopt;
    }
    return VspProbeAnswer{bytes::GetBE32(&datagram[kAddressOffset]), datagram[kStateOffset]};
}

vsppoll::Verdict vsppoll::Evaluate(uint32_t& word) {
    Verdict verdict = Verdict::kConnected;
    if (word & kNoAnswerBit) {
        verdict = word <= kDisconnectAbove ? Verdict::kDisconnecting : Verdict::kDisconnect;
        if (verdict == Verdict::kDisconnecting) word += kCountStep;
    } else if (word == kAnsweredClosed) {
        verdict = Verdict::kClose;
    }
    word |= kNoAnswerBit;
    return verdict;
}

VspSupervision::VspSupervision(VspController& view)
    : view_(view), socket_(this, COrvinSocket::kVsp) {}

void VspSupervision::Start() {
    if (!view_.frame_.VspSettings().connectionCheck) return;
    view_.frame_.Timers().SetTimer(&view_, VspController::kProbeTimer, kFirstProbeMs);
}

bool VspSupervision::Supervised(int row) const {
    const QString status = view_.Cell(row, VspRow::kStatusColumn);
    return row < int(view_.pollState_.size()) && status != VspController::kIdle &&
           status != VspController::kServer;
}

void VspSupervision::OnProbeTimer() {
    view_.frame_.Timers().KillTimer(&view_, VspController::kProbeTimer);
    for (int row = 0; row < view_.RowCount(); ++row) {
        if (Supervised(row)) Probe(row);
    }
    view_.frame_.Timers().SetTimer(&view_, VspController::kEvaluationTimer, kEvaluationMs);
}

bool VspSupervision::OpenProbeSocket() {
    if (!socketOpen_) {
        socketOpen_ = socket_.bind(QHostAddress(view_.frame_.HostAddress()), msg::kProbeSocketPort);
    }
    return socketOpen_;
}

void VspSupervision::Probe(int row) {
    if (!OpenProbeSocket()) return;
    const QHostAddress device(view_.Cell(row, VspRow::kRemoteIpColumn));
    if (socket_.writeDatagram(msg::BuildStatusProbe(), device, msg::kDeviceProbePort) < 0) {
        view_.ShowStatus(row, VspController::kDisconnecting);
    }
}

void VspSupervision::OnVspSocketData(COrvinSocket& socket) {
    // One notification may stand for several datagrams; each is read so none is left behind.
    while (socket.hasPendingDatagrams()) {
        const QByteArray data = socket.receiveDatagram(kReceiveBufferSize).data();
        const auto answer = VspProbeAnswer::Decode(
            {reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())});
        if (answer) TakeAnswer(*answer);
    }
}

void VspSupervision::TakeAnswer(const VspProbeAnswer& answer) {
    const QString address = AddressText(answer.deviceAddress);
    for (int row = 0; row < view_.RowCount() && row < int(view_.pollState_.size()); ++row) {
        if (view_.Cell(row, VspRow::kRemoteIpColumn) == address) {
            view_.pollState_[size_t(row)] =
                answer.state != 0 ? vsppoll::kAnsweredOpen : vsppoll::kAnsweredClosed;
            return;
        }
    }
}

void VspSupervision::OnEvaluationTimer() {
    view_.frame_.Timers().KillTimer(&view_, VspController::kEvaluationTimer);
    // The row count is read again at each step: a message box shown on the way lets the user
    // change the list.
    for (int row = 0; row < view_.RowCount(); ++row) {
        if (Supervised(row)) EvaluateRow(row);
    }
    view_.frame_.Timers().SetTimer(&view_, VspController::kProbeTimer, kNextProbeMs);
}

void VspSupervision::EvaluateRow(int row) {
    uint32_t& word = view_.pollState_[size_t(row)];
    switch (vsppoll::Evaluate(word)) {
        case vsppoll::Verdict::kDisconnecting:
            view_.WriteForm();
            view_.ShowStatus(row, VspController::kDisconnecting);
            view_.Enable({VspControl::kClose}, false);
            break;
        case vsppoll::Verdict::kDisconnect:
            DisconnectSilent(row);
            break;
        case vsppoll::Verdict::kClose:
            CloseAnswered(row);
            break;
        case vsppoll::Verdict::kConnected:
            view_.WriteForm();
            view_.ShowStatus(row, VspController::kConnected);
            break;
    }
}

void VspSupervision::DisconnectSilent(int row) {
    CVspDriver& driver = view_.frame_.VspDriver();
    const QString name = view_.Cell(row, VspRow::kNameColumn);
    VspHandle handle = driver.OpenPort(view_.PortIdOf(row));
    if (handle.IsValid() && driver.DisconnectPort(handle)) {
        view_.WriteForm();
        view_.ShowStatus(row, VspController::kIdle);
        view_.SetRemoteColumns(row, 0, 0);
        // The tree no longer shows a connection that is gone, so the device can be chosen
        // again.
        view_.frame_.ResetPortItem(name);
    } else {
        ReportFailedDisconnection(row, driver.LastError());
    }
    handle.Close();
}

void VspSupervision::ReportFailedDisconnection(int row, uint32_t error) {
    const QDateTime now = localTime_();
    view_.frame_.Prompts().Inform(
        QString::asprintf(kDatedLine, now.date().day(), now.time().hour(), now.time().minute()) +
        QString::asprintf(kDisconnectionFailed, row, error));
}

void VspSupervision::CloseAnswered(int row) {
    const QString name = view_.Cell(row, VspRow::kNameColumn);
    view_.selected_ = row;
    emit view_.rowSelected(row);
    if (view_.CloseByName(name)) view_.frame_.ResetPortItem(name);
}

void VspSupervision::RunStartupRepair() {
    CVspPortTable& table = view_.table_;
    if (!table.TableLoaded()) return;
    const int count = std::min<int>(int(table.PortCount()), kVspMaxPorts);
    for (int index = 0; index < count; ++index) {
        const VspPortRecord& record = table.Record(index);
        if (record.clientMode == 1 && record.status == VspController::kConnected) {
            RepairRecord(index);
        }
    }
}

void VspSupervision::RepairRecord(int index) {
    vspd::RemoteInfoReply reply;
    if (!view_.frame_.VspDriver().GetRemoteInfo(view_.table_.Record(index).portId.toInt(),
                                                &reply)) {
        return;
    }
    view_.TakeReplyIntoForm(reply);
    if (reply.connected != 0) return;
    std::array<uint8_t, 2> reportedPort{};
    bytes::PutBE16(reportedPort.data(), reply.reportedPort);
    view_.frame_.SendHostAnnouncement(FormatDotted(reply.remoteIp), reportedPort);
    if (reply.connectAtStart != 0) {
        view_.frame_.Timers().SetTimer(&view_, VspController::kReconnectTimer, kReconnectMs);
    }
}

void VspSupervision::OnReconnectTimer() {
    view_.frame_.Timers().KillTimer(&view_, VspController::kReconnectTimer);
    CVspPortTable& table = view_.table_;
    const int count = std::min<int>(int(table.PortCount()), kVspMaxPorts);
    for (int index = 0; index < count; ++index) {
        if (table.Record(index).clientMode == 1 && !ReconnectRecord(index)) return;
    }
}

bool VspSupervision::ReconnectRecord(int index) {
    CVspDriver& driver = view_.frame_.VspDriver();
    vspd::RemoteInfoReply reply;
    if (!driver.GetRemoteInfo(view_.table_.Record(index).portId.toInt(), &reply) ||
        reply.connected != 0 || reply.connectAtStart == 0) {
        return true;
    }
    VspHandle handle = driver.OpenPort(view_.table_.Record(index).portId.toInt());
    if (!handle.IsValid()) {
        view_.frame_.Prompts().Inform(VspController::kStopTerminal);
        return false;
    }
    if (view_.ConnectWhilePainting(handle)) {
        view_.ShowStatus(index, VspController::kConnected);
        view_.SetRemoteColumns(index, reply.remoteIp, reply.remotePort);
        view_.SetPollState(index, VspController::kPollClient);
        view_.frame_.SetPortItemText(view_.Cell(index, VspRow::kNameColumn) + " (" +
                                     view_.Cell(index, VspRow::kRemoteIpColumn) + ")");
    }
    handle.Close();
    return true;
}
