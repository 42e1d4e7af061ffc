#include "tools/devsim/SimDevice.h"

#include <QNetworkDatagram>
#include <QVariant>
#include <algorithm>
#include <span>

#include "protocol/ByteOrder.h"
#include "protocol/Ipv4Address.h"
#include "tools/devsim/LoopbackGuard.h"
#include "tools/devsim/SimRecords.h"

namespace devsim {

namespace {

constexpr int kSocketBufferBytes = 256 * 1024;
constexpr int kMaxDatagram = 65536;

struct CodeName {
    int code;
    const char* name;
};

// The probe port answers a status probe with the search reply's code.
constexpr CodeName kProbeNames[] = {
    {msg::kStatusProbe, "status probe"},
    {msg::kHostAnnouncement, "host announcement"},
    {msg::kSearchReply, "probe answer"},
};

constexpr CodeName kNames[] = {
    {msg::kSearchRequest, "search request"},
    {msg::kSearchReply, "search reply"},
    {msg::kSetupCommand, "setup command"},
    {msg::kSetupReply, "setup reply"},
    {msg::kRestoreCommand, "restore command"},
    {msg::kRestoreAck, "restore acknowledgement"},
    {msg::kRebootCommand, "reboot command"},
    {msg::kRebootAck, "reboot acknowledgement"},
    {msg::kStatusQuery, "status query"},
    {msg::kStatusReply, "status reply"},
    {-1, "datagram without magic"},
};

const char* NameIn(std::span<const CodeName> table, int code) {
    const auto it = std::find_if(table.begin(), table.end(),
                                 [code](const CodeName& c) { return c.code == code; });
    return it == table.end() ? nullptr : it->name;
}

}  // namespace

int CommandOf(const QByteArray& datagram) {
    const auto* p = reinterpret_cast<const uint8_t*>(datagram.constData());
    const bool valid = datagram.size() >= msg::kHeaderOnlySize &&
                       msg::HasMagic({p, static_cast<size_t>(datagram.size())});
    return valid ? p[msg::kCommandOffset] : -1;
}

QString CommandName(Port port, int command) {
    const char* name = port == Port::Probe ? NameIn(kProbeNames, command) : nullptr;
    if (!name) name = NameIn(kNames, command);
    return name ? QString::fromLatin1(name)
                : QStringLiteral("command 0x%1").arg(command, 2, 16, QChar('0'));
}

SimDevice::SimDevice(int index, const DeviceProfile& profile, uint32_t address,
                     const SimContext& context)
    : profile_(profile),
      address_(address),
      mac_(profile.mac.value_or(DefaultMac(index + 1))),
      context_(context),
      factory_(devsim::FactoryRecord(profile, address, mac_)),
      stored_(factory_),
      tftp_(
          *context.timers, [this](const QString& text) { Log(text); },
          [this](const ReceivedImage&) {
              if (!profile_.upgradeVersion.isEmpty())
                  profile_.status.firmwareVersion = profile_.upgradeVersion;
              if (!profile_.restartAfterUpgrade) return;
              if (profile_.upgradeRestartDelayMs > 0)
                  context_.timers->SetTimer(this, kUpgradeRestartTimer,
                                            profile_.upgradeRestartDelayMs);
              else
                  BeginRestart("firmware upgrade");
          }) {
    tftp_.SetMode(profile.tftpMode);
    tftp_.SetBlockSizeLimit(profile.tftpBlockSize);
    tftp_.SetAckDelay(profile.tftpAckDelayMs);
}

SimDevice::~SimDevice() {
    context_.timers->KillAll(this);
}

QString SimDevice::AddressText() const {
    return Ipv4Address(address_).ToString();
}

bool SimDevice::Open() {
    if (!BindAt(address_)) return false;
    OpenSerial();
    return true;
}

bool SimDevice::BindAt(uint32_t address) {
    const QHostAddress host(address);
    const auto mode = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
    auto management = std::make_unique<QUdpSocket>();
    auto probe = std::make_unique<QUdpSocket>();
    if (!management->bind(host, context_.managementPort, mode) ||
        !probe->bind(host, context_.probePort, mode))
        return false;
    for (QUdpSocket* s : {management.get(), probe.get()}) {
        s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                           QVariant(kSocketBufferBytes));
        s->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                           QVariant(kSocketBufferBytes));
    }
    management_ = std::move(management);
    probe_ = std::move(probe);
    QObject::connect(management_.get(), &QUdpSocket::readyRead, management_.get(),
                     [this] { ReadAll(Port::Management); });
    QObject::connect(probe_.get(), &QUdpSocket::readyRead, probe_.get(),
                     [this] { ReadAll(Port::Probe); });
    address_ = address;
    if (context_.tftp && !tftp_.Open(host, context_.tftpPort)) tftp_.Close();
    return true;
}

void SimDevice::OpenSerial() {
    serial_ = std::make_unique<SerialDataPort>(
        address_,
        [this](uint32_t toSerial, uint32_t fromSerial) {
            profile_.status.txCount += toSerial;
            profile_.status.rxCount += fromSerial;
        },
        [this](const QString& text) { Log(text); });
    if (!context_.serial) return;
    SerialConfig config;
    config.client = stored_.Flag(devrec::netFlags, devrec::kClientMode);
    config.udp = stored_.Flag(devrec::netFlags, devrec::kUdp);
    config.listenPort = stored_.Get(devrec::listenPort);
    config.destinationPort = stored_.Get(devrec::destinationPort);
    config.destinationHost = stored_.Get(devrec::destinationHost);
    config.answer = profile_.serialAnswer;
    config.closeAfter = profile_.serialCloseAfter;
    serial_->Open(config);
}

QUdpSocket* SimDevice::SocketFor(Port port) {
    return port == Port::Management ? management_.get() : probe_.get();
}

void SimDevice::ReadAll(Port port) {
    QUdpSocket* socket = SocketFor(port);
    while (socket && socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket->receiveDatagram(kMaxDatagram);
        OnDatagram(port, d.data(), d.senderAddress(), static_cast<uint16_t>(d.senderPort()));
    }
}

void SimDevice::OnDatagram(Port port, const QByteArray& data, const QHostAddress& sender,
                           uint16_t senderPort, bool broadcast) {
    ReceivedCommand r{.timeMs = context_.now(),
                      .port = port,
                      .command = CommandOf(data),
                      .bytes = data,
                      .sender = sender,
                      .senderPort = senderPort,
                      .broadcast = broadcast,
                      .handling = Handling::Ignored};
    if (context_.log && !broadcast)
        Log(QStringLiteral("%1 <- %2 (%3 bytes) from %4:%5")
                .arg(AddressText(), CommandName(port, r.command))
                .arg(data.size())
                .arg(sender.toString())
                .arg(senderPort));
    if (r.command < 0) {
        Record(std::move(r));
        return;
    }
    const auto command = static_cast<uint8_t>(r.command);
    if (restarting_) {
        r.handling = Handling::Restarting;
    } else if (profile_.faults.silent && profile_.faults.AppliesTo(command)) {
        r.handling = Handling::Silenced;
    } else {
        QByteArray answer;
        r.handling = port == Port::Management ? HandleManagement(command, data, answer)
                                              : HandleProbe(command, data, sender, answer);
        if (!answer.isEmpty()) Answer(port, command, answer, sender, senderPort, r.handling);
    }
    Record(std::move(r));
}

Handling SimDevice::HandleManagement(uint8_t command, const QByteArray& data, QByteArray& answer) {
    switch (command) {
        case msg::kSearchRequest:
            answer = ReplyImage(stored_, msg::kSearchReply);
            return Handling::Answered;
        case msg::kSetupCommand: {
            const auto incoming =
                DeviceConfigRecord::FromBytes({reinterpret_cast<const uint8_t*>(data.constData()),
                                               static_cast<size_t>(data.size())});
            if (!incoming) return Handling::Ignored;  // a device takes only a whole record
            stored_ = AcceptSetup(*incoming, stored_);
            answer = ReplyImage(stored_, msg::kSetupReply);
            BeginRestart("setup");
            return Handling::Answered;
        }
        case msg::kRestoreCommand: {
            const uint8_t link = stored_.Get(devrec::linkStatus);
            stored_ = factory_;
            stored_.Set(devrec::currentIp, ClaimedAddress());
            stored_.Set(devrec::linkStatus, link);
            answer = ReplyImage(stored_, msg::kRestoreAck);
            BeginRestart("restore");
            return Handling::Answered;
        }
        case msg::kRebootCommand:
            answer = ReplyImage(stored_, msg::kRebootAck);
            BeginRestart("reboot");
            return Handling::Answered;
        case msg::kStatusQuery:
            answer = BuildStatusReply(profile_.status);
            return Handling::Answered;
        default:
            return Handling::Ignored;
    }
}

Handling SimDevice::HandleProbe(uint8_t command, const QByteArray& data, const QHostAddress& sender,
                                QByteArray& answer) {
    if (command == msg::kStatusProbe) {
        answer = BuildProbeAnswer(address_, profile_.probeByte);
        return Handling::Answered;
    }
    if (command == msg::kHostAnnouncement && data.size() >= msg::kAnnouncementSize) {
        const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
        const uint8_t* port = p + msg::kAnnouncementPortOffset;
        announcements_.push_back({context_.now(),
                                  bytes::GetBE32(p + msg::kAnnouncementAddressOffset),
                                  {port[0], port[1]},
                                  sender});
        return Handling::Taken;
    }
    return Handling::Ignored;
}

void SimDevice::Answer(Port port, uint8_t request, QByteArray answer, const QHostAddress& to,
                       uint16_t toPort, Handling& handling) {
    const Faults& f = profile_.faults;
    const bool faulty = f.AppliesTo(request);
    if (faulty && f.noMagic) answer = WithoutMagic(answer);
    const int copies = faulty && f.twice ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
        if (faulty && f.delayMs > 0) {
            const int id = nextDelayTimer_++;
            pending_[id] = Pending{port, answer, to, toPort};
            context_.timers->SetTimer(this, id, f.delayMs);
            handling = Handling::Delayed;
        } else {
            Send(port, answer, to, toPort);
        }
    }
}

void SimDevice::Send(Port port, const QByteArray& data, const QHostAddress& to, uint16_t toPort) {
    SentDatagram s{context_.now(), port, data, to, toPort, !IsLoopbackDestination(to)};
    const int command = CommandOf(data);
    if (s.refused) {
        ++refusedSends_;
        Log(QStringLiteral("%1 refused to send %2 to %3:%4 (not loopback)")
                .arg(AddressText(), CommandName(port, command), to.toString())
                .arg(toPort));
    } else if (QUdpSocket* socket = SocketFor(port)) {
        SendToLoopback(*socket, data, to, toPort);
        if (context_.log)
            Log(QStringLiteral("%1 -> %2 (%3 bytes) to %4:%5")
                    .arg(AddressText(), CommandName(port, command))
                    .arg(data.size())
                    .arg(to.toString())
                    .arg(toPort));
    }
    if (context_.recordTraffic) sent_.push_back(std::move(s));
}

void SimDevice::Record(ReceivedCommand received) {
    if (context_.recordTraffic) received_.push_back(std::move(received));
}

void SimDevice::BeginRestart(const char* why) {
    restarting_ = true;
    tftp_.SetAvailable(false);
    if (serial_) serial_->Close();
    ++restarts_;
    Log(QStringLiteral("%1 restarts after %2, silent for %3 ms")
            .arg(AddressText(), QLatin1String(why))
            .arg(profile_.restartMs));
    context_.timers->SetTimer(this, kRestartTimer, std::max(profile_.restartMs, 1));
}

void SimDevice::FinishRestart() {
    context_.timers->KillTimer(this, kRestartTimer);
    restarting_ = false;
    tftp_.SetAvailable(true);
    // A static loopback address that no other device holds is taken up, as a real device
    // would come back on its new address; anything else keeps the device where it is.
    const uint32_t wanted = stored_.Get(devrec::staticIp);
    const bool dhcp = stored_.Flag(devrec::netFlags, devrec::kDhcpClient);
    if (!dhcp && wanted != address_ && IsAssignableLoopback(wanted) &&
        context_.addressFree(wanted)) {
        const uint32_t old = address_;
        management_.reset();
        probe_.reset();
        tftp_.Close();
        if (!BindAt(wanted) && !BindAt(old))
            Log(QStringLiteral("%1 lost its sockets").arg(Ipv4Address(old).ToString()));
    }
    stored_.Set(devrec::currentIp, ClaimedAddress());
    // The serial side comes back as the record now says.
    OpenSerial();
    Log(QStringLiteral("%1 is up again").arg(AddressText()));
}

uint32_t SimDevice::ClaimedAddress() const {
    return profile_.claimedAddress ? profile_.claimedAddress : address_;
}

void SimDevice::OnTimer(int timerId) {
    if (timerId == kRestartTimer) {
        FinishRestart();
        return;
    }
    context_.timers->KillTimer(this, timerId);
    if (timerId == kUpgradeRestartTimer) {
        BeginRestart("firmware upgrade");
        return;
    }
    auto it = pending_.find(timerId);
    if (it == pending_.end()) return;
    const Pending p = it->second;
    pending_.erase(it);
    Send(p.port, p.data, p.to, p.toPort);
}

int SimDevice::CountReceived(int command) const {
    return static_cast<int>(
        std::count_if(received_.begin(), received_.end(),
                      [command](const auto& r) { return r.command == command; }));
}

int SimDevice::RefusedSends() const {
    return refusedSends_ + tftp_.RefusedSends();
}

void SimDevice::Log(const QString& text) const {
    if (context_.log) context_.log(text);
}

}  // namespace devsim
