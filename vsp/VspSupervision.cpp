#include "vsp/VspSupervision.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <algorithm>

#include "protocol/ByteOrder.h"
#include "protocol/Message.h"

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

VspSupervision::VspSupervision(VspSupervisionHost& host, TimerHost& timers)
    : host_(host), timers_(timers), socket_(this, COrvinSocket::kVsp) {}

VspSupervision::~VspSupervision() {
    timers_.KillAll(this);
}

void VspSupervision::Start(bool connectionCheck) {
    if (connectionCheck) timers_.SetTimer(this, kProbeTimer, kFirstProbeMs);
}

void VspSupervision::Watch(const QString& name) {
    words_[name] = vsppoll::kAnsweredOpen;
}

void VspSupervision::Forget(const QString& name) {
    words_.erase(name);
}

uint32_t VspSupervision::Word(const QString& name) const {
    const auto it = words_.find(name);
    return it == words_.end() ? vsppoll::kNoAnswerBit : it->second;
}

void VspSupervision::OnTimer(int timerId) {
    if (timerId == kProbeTimer) ProbePass();
    if (timerId == kEvaluationTimer) Evaluation();
}

void VspSupervision::ProbePass() {
    timers_.KillTimer(this, kProbeTimer);
    probed_.clear();
    for (const auto& port : host_.WatchedPorts()) {
        if (!OpenProbeSocket()) {
            host_.OnProbesUnavailable(
                QStringLiteral("Virtual port links are not checked: UDP port %1 for the status "
                               "probes is taken (is another copy of the program running?).")
                    .arg(msg::kProbeSocketPort));
            break;
        }
        probed_.insert(port.name);
        const QHostAddress device(port.peerIp);
        if (socket_.writeDatagram(msg::BuildStatusProbe(), device, msg::kDeviceProbePort) < 0)
            host_.OnProbeFailed(port.name);
    }
    timers_.SetTimer(this, kEvaluationTimer, kEvaluationMs);
}

bool VspSupervision::OpenProbeSocket() {
    if (!socketOpen_)
        socketOpen_ = socket_.bind(QHostAddress(host_.HostAddress()), msg::kProbeSocketPort);
    return socketOpen_;
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
    for (const auto& port : host_.WatchedPorts()) {
        if (port.peerIp == answer.deviceAddress)
            words_[port.name] =
                answer.state != 0 ? vsppoll::kAnsweredOpen : vsppoll::kAnsweredClosed;
    }
}

bool VspSupervision::StillWatched(const QString& name) const {
    const auto watched = host_.WatchedPorts();
    return std::any_of(watched.begin(), watched.end(),
                       [&](const auto& p) { return p.name == name; });
}

void VspSupervision::Evaluation() {
    timers_.KillTimer(this, kEvaluationTimer);
    // Words of ports that are no longer linked go; a verdict may change the ports (a box shown
    // on the way lets the user act), so each port is looked up again before it is judged.
    const auto watched = host_.WatchedPorts();
    std::erase_if(words_, [&](const auto& entry) {
        return std::none_of(watched.begin(), watched.end(),
                            [&](const auto& p) { return p.name == entry.first; });
    });
    for (const auto& port : watched) {
        // A port without a probe has nothing to answer: its silence means nothing.
        if (!probed_.count(port.name) || !StillWatched(port.name)) continue;
        auto [it, added] = words_.try_emplace(port.name, vsppoll::kNoAnswerBit);
        host_.OnVerdict(port.name, vsppoll::Evaluate(it->second));
    }
    passDue_ = holds_ > 0;
    if (!passDue_) timers_.SetTimer(this, kProbeTimer, kNextProbeMs);
}

void VspSupervision::Release() {
    if (holds_ > 0) --holds_;
    if (holds_ > 0 || !passDue_) return;
    passDue_ = false;
    timers_.SetTimer(this, kProbeTimer, kNextProbeMs);
}
