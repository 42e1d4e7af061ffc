#include "monitor/MonitorController.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <algorithm>

#include "monitor/StatusReply.h"
#include "platform/UserPrompts.h"
#include "protocol/BroadcastSocket.h"
#include "protocol/Ipv4Address.h"
#include "protocol/Message.h"
#include "protocol/OneHost.h"

namespace {

// Why a row's address names no single device; empty when it may be asked.
QString WhyNotOneDevice(const QString& ip, const std::vector<AdapterInfo>& subnets) {
    const std::optional<Ipv4Address> address = Ipv4Address::Parse(ip);
    return address ? WhyNotOneHost(*address, subnets, Ipv4Address())
                   : QStringLiteral("it is no IPv4 address");
}

}  // namespace

int MonitorController::ClampInterval(qint64 seconds) {
    return static_cast<int>(std::clamp<qint64>(seconds, kMinInterval, kMaxInterval));
}

MonitorController::MonitorController(MonitorFrame& frame, QObject* parent)
    : QObject(parent), frame_(frame), timers_(frame.Timers()), devicePort_(msg::kDevicePort) {
    frame_.BroadcastSocket().SetMonitorHandler(
        [this](const ReceivedDatagram& datagram) { HandleReply(datagram); });
}

MonitorController::~MonitorController() {
    timers_.KillAll(this);
    frame_.BroadcastSocket().SetMonitorHandler(nullptr);
}

void MonitorController::InitialUpdate() {
    interval_ = ClampInterval(frame_.MonitorInterval());
    running_ = false;
    socket_ = std::make_unique<COrvinSocket>(static_cast<OrvinSocketOwner*>(this),
                                             COrvinSocket::kMonitor);
    const QHostAddress host(frame_.HostAddress());
    socketReady_ = !host.isNull() && socket_->bind(host, 0);
    if (!socketReady_) frame_.Prompts().Inform(kSocketFailedText);
    emit controlsChanged();
}

uint16_t MonitorController::SocketPort() const {
    return socketReady_ ? socket_->localPort() : 0;
}

void MonitorController::OnMonitorSocketData(COrvinSocket& socket) {
    // Nothing is sent from this socket, so nothing that arrives on it is an answer.
    while (socket.hasPendingDatagrams()) socket.receiveDatagram();
}

void MonitorController::Fill() {
    if (running_) return;
    rows_.clear();
    for (const MonitorDevice& device : frame_.CheckedDevices())
        rows_.push_back(MonitorRow::FromDevice(device));
    current_ = 0;
    emit listReset();
    emit controlsChanged();
}

QString MonitorController::VersionOf(const QString& mac) const {
    const auto found = versions_.find(mac);
    return found == versions_.end() ? QString() : found->second;
}

void MonitorController::KeepVersionsOf(const QStringList& listedMacs) {
    std::erase_if(versions_, [&](const auto& entry) { return !listedMacs.contains(entry.first); });
}

int MonitorController::SetInterval(qint64 seconds) {
    interval_ = ClampInterval(seconds);
    frame_.SetMonitorInterval(interval_);
    return interval_;
}

void MonitorController::OnStartStop() {
    if (running_)
        Stop();
    else if (StartEnabled())
        Start();
}

void MonitorController::Start() {
    running_ = true;
    for (size_t row = 0; row < rows_.size(); ++row) {
        rows_[row].SetStatus(MonitorRow::kIdle);
        emit rowChanged(static_cast<int>(row));
    }
    frame_.AddLog(kStartLog);
    // Which rows name no single device is settled once; the socket may broadcast, so those
    // are never asked.
    subnets_ = frame_.Net().Subnets().value_or(std::vector<AdapterInfo>{});
    noHost_.clear();
    for (const MonitorRow& row : rows_) {
        noHost_.push_back(WhyNotOneDevice(row.Ip(), subnets_));
        if (!noHost_.back().isEmpty())
            frame_.AddLog(
                QStringLiteral("No status query sent to %1: %2").arg(row.Ip(), noHost_.back()));
    }
    emit controlsChanged();
    StartPass();
}

void MonitorController::Stop() {
    running_ = false;
    frame_.AddLog(kStopLog);
    timers_.KillTimer(this, kPassTimer);
    timers_.KillTimer(this, kReplyTimer);
    emit controlsChanged();
}

void MonitorController::StartPass() {
    current_ = 0;
    last_ = static_cast<int>(rows_.size()) - 1;
    passTimeElapsed_ = false;
    timers_.SetTimer(this, kPassTimer, interval_ * kMsPerSecond);
    QueryCurrent();
}

// A device the list now shows at another address is asked there.
void MonitorController::FollowDevice(size_t index) {
    MonitorRow& row = rows_[index];
    for (const MonitorDevice& device : frame_.ListedDevices()) {
        if (device.mac != row.mac || device.ip == row.Ip()) continue;
        row.cells[MonitorRow::kIpColumn] = device.ip;
        noHost_[index] = WhyNotOneDevice(device.ip, subnets_);
        if (!noHost_[index].isEmpty())
            frame_.AddLog(
                QStringLiteral("No status query sent to %1: %2").arg(device.ip, noHost_[index]));
        return;
    }
}

void MonitorController::QueryCurrent() {
    const size_t index = static_cast<size_t>(current_);
    FollowDevice(index);
    MonitorRow& row = rows_[index];
    if (!noHost_[index].isEmpty()) {
        row.ShowFailure();
        emit rowChanged(current_);
        Advance();
        return;
    }
    row.SetStatus(MonitorRow::kQuerying);
    emit rowChanged(current_);
    queried_ = row.Ip();
    frame_.BroadcastSocket().Send(msg::BuildStatusQuery(), queried_, devicePort_);
    timers_.SetTimer(this, kReplyTimer, kReplyTimeoutMs);
}

bool MonitorController::QueryOutstanding() {
    return running_ && timers_.IsRunning(this, kReplyTimer);
}

void MonitorController::Advance() {
    if (current_ < last_) {
        ++current_;
        QueryCurrent();
    } else if (passTimeElapsed_) {
        StartPass();
    }
}

// The row of the one device the list shows at `sender`; -1 when it shows none or several
// (during a search, say): then no one can tell whose the reply is.
int MonitorController::FindRowOfSender(const QString& sender) const {
    QString mac;
    for (const MonitorDevice& device : frame_.ListedDevices()) {
        if (device.ip != sender) continue;
        if (!mac.isEmpty()) return -1;
        mac = device.mac;
    }
    if (mac.isEmpty()) return -1;
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [&](const MonitorRow& row) { return row.mac == mac; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

void MonitorController::HandleReply(const ReceivedDatagram& datagram) {
    const auto reply =
        StatusReply::Decode(datagram.slot.first(static_cast<size_t>(std::max(datagram.length, 0))));
    if (!reply) return;
    // A reply belongs to the device that sent it; only the answer to the outstanding query
    // moves the pass on.
    const QString sender = Ipv4Address(datagram.sender.toIPv4Address()).ToString();
    const int row = FindRowOfSender(sender);
    if (row < 0) return;
    MonitorRow& shown = rows_[static_cast<size_t>(row)];
    shown.ShowReply(*reply);
    versions_[shown.mac] = shown.cells[MonitorRow::kVersionColumn];
    emit rowChanged(row);
    if (QueryOutstanding() && row == current_ && sender == queried_) {
        timers_.KillTimer(this, kReplyTimer);
        Advance();
    }
}

void MonitorController::OnTimer(int timerId) {
    if (timerId == kReplyTimer)
        OnReplyTimeout();
    else if (timerId == kPassTimer)
        OnPassTimer();
}

void MonitorController::OnReplyTimeout() {
    timers_.KillTimer(this, kReplyTimer);
    rows_[static_cast<size_t>(current_)].ShowFailure();
    emit rowChanged(current_);
    Advance();
}

void MonitorController::OnPassTimer() {
    timers_.KillTimer(this, kPassTimer);
    // The pass is over only when its last row has its answer or its failure.
    if (current_ == last_ && !QueryOutstanding())
        StartPass();
    else
        passTimeElapsed_ = true;
}
