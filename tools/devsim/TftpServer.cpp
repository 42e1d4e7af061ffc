#include "tools/devsim/TftpServer.h"

#include <QCryptographicHash>
#include <QNetworkDatagram>
#include <algorithm>

#include "protocol/ByteOrder.h"
#include "tools/devsim/LoopbackGuard.h"

namespace devsim {

namespace {

enum Opcode : uint16_t { kRrq = 1, kWrq = 2, kData = 3, kAck = 4, kError = 5, kOack = 6 };
enum ErrorCode : uint16_t { kNotDefined = 0, kDiskFull = 3, kIllegal = 4, kUnknownTid = 5 };
constexpr int kHeaderSize = 4;

uint16_t OpcodeOf(const QByteArray& p) {
    return p.size() < 2 ? 0 : bytes::GetBE16(reinterpret_cast<const uint8_t*>(p.data()));
}
uint16_t BlockOf(const QByteArray& p) {
    return bytes::GetBE16(reinterpret_cast<const uint8_t*>(p.data()) + 2);
}

QByteArray Header(uint16_t opcode, uint16_t second) {
    QByteArray out(kHeaderSize, '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    bytes::PutBE16(p, opcode);
    bytes::PutBE16(p + 2, second);
    return out;
}

QByteArray OpcodeOnly(uint16_t opcode) {
    return Header(opcode, 0).left(2);
}

QByteArray Ack(uint16_t block) {
    return Header(kAck, block);
}

// Each error this server sends has one text.
const char* ErrorText(uint16_t code) {
    switch (code) {
        case kDiskFull:
            return "Disk full or allocation exceeded.";
        case kIllegal:
            return "Illegal TFTP operation.";
        case kUnknownTid:
            return "Unknown transfer ID.";
        default:
            return "No transfer socket.";
    }
}

void AppendString(QByteArray& out, const QByteArray& text) {
    out += text;
    out += '\0';
}

QByteArray ErrorPacket(uint16_t code) {
    QByteArray out = Header(kError, code);
    AppendString(out, ErrorText(code));
    return out;
}

std::optional<int64_t> ParseNumber(const QByteArray& text) {
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < 0) return std::nullopt;
    return v;
}

}  // namespace

std::optional<WriteRequest> ParseWriteRequest(const QByteArray& packet) {
    if (OpcodeOf(packet) != kWrq) return std::nullopt;
    std::vector<QByteArray> strings;
    for (qsizetype pos = 2; pos < packet.size();) {
        const qsizetype end = packet.indexOf('\0', pos);
        if (end < 0) return std::nullopt;
        strings.push_back(packet.mid(pos, end - pos));
        pos = end + 1;
    }
    if (strings.size() < 2 || strings.size() % 2 != 0) return std::nullopt;
    WriteRequest r{strings[0], strings[1], {}};
    for (size_t i = 2; i + 1 < strings.size(); i += 2)
        r.options.emplace_back(strings[i], strings[i + 1]);
    return r;
}

struct TftpServer::Transfer {
    int timerId = 0;
    int ackTimerId = 0;  // while an acknowledgement waits for ackDelayMs_
    bool ackPending = false;
    bool finished = false;  // reaped outside its own socket's notification
    size_t image = 0;
    std::unique_ptr<QUdpSocket> socket;
    QHostAddress peer;
    uint16_t peerPort = 0;
    uint16_t lastBlock = 0;  // the last block acknowledged; 0 before any data
    bool started = false;
    QByteArray firstAnswer;  // OACK or ACK 0, sent again when the request is repeated
};

TftpServer::TftpServer(TimerHost& timers, Log log, ImageDone done)
    : timers_(timers), log_(std::move(log)), done_(std::move(done)) {}

TftpServer::~TftpServer() {
    Close();
}

bool TftpServer::Open(const QHostAddress& address, uint16_t port) {
    Close();
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return false;
    address_ = address;
    listener_ = std::move(socket);
    QObject::connect(listener_.get(), &QUdpSocket::readyRead, listener_.get(),
                     [this] { OnListenerReady(); });
    return true;
}

void TftpServer::Close() {
    timers_.KillAll(this);
    transfers_.clear();
    listener_.reset();
}

void TftpServer::OnListenerReady() {
    Reap(nullptr);
    while (listener_ && listener_->hasPendingDatagrams()) {
        const QNetworkDatagram d = listener_->receiveDatagram();
        OnRequest(d.data(), d.senderAddress(), static_cast<uint16_t>(d.senderPort()));
    }
}

void TftpServer::OnRequest(const QByteArray& packet, const QHostAddress& from, uint16_t port) {
    if (!listener_ || !available_) return;
    Reap(nullptr);
    if (!IsLoopbackDestination(from)) {
        // Not even an error goes back, and no transfer is set up for it.
        ++refused_;
        log_(QStringLiteral("TFTP: request from %1 ignored: not loopback").arg(from.toString()));
        return;
    }
    const uint16_t opcode = OpcodeOf(packet);
    if (opcode == kWrq) {
        if (Transfer* pending = FindPending(from, port)) {
            log_(QStringLiteral("TFTP: repeated write request, answering again"));
            SendTo(*pending->socket, pending->firstAnswer, pending->peer, pending->peerPort);
            return;
        }
        StartTransfer(packet, from, port);
        return;
    }
    // A device takes images only: a read request or a stray packet is refused.
    SendError(*listener_, kIllegal, from, port);
}

void TftpServer::StartTransfer(const QByteArray& packet, const QHostAddress& from, uint16_t port) {
    const auto request = ParseWriteRequest(packet);
    if (!request) {
        SendError(*listener_, kIllegal, from, port);
        return;
    }
    ReceivedImage image;
    image.fileName = request->fileName;
    image.mode = request->mode;
    image.options = request->options;
    image.client = from;
    image.clientPort = port;
    log_(QStringLiteral("TFTP: write request \"%1\" from %2:%3")
             .arg(QString::fromLatin1(image.fileName), from.toString())
             .arg(port));
    if (mode_ == TftpMode::Silent) {
        images_.push_back(std::move(image));
        return;
    }
    if (mode_ == TftpMode::Refuse) {
        images_.push_back(std::move(image));
        SendError(*listener_, kDiskFull, from, port);
        return;
    }
    if (image.mode.toLower() != "octet") {
        images_.push_back(std::move(image));
        SendError(*listener_, kIllegal, from, port);
        return;
    }

    QByteArray oack = OpcodeOnly(kOack);
    int blockSize = kDefaultBlockSize;
    for (const auto& [name, value] : image.options) {
        const QByteArray key = name.toLower();
        const auto number = ParseNumber(value);
        if (key == "blksize" && number && *number >= kMinBlockSize) {
            blockSize = static_cast<int>(std::min<int64_t>(*number, blockSizeLimit_));
            AppendString(oack, "blksize");
            AppendString(oack, QByteArray::number(blockSize));
        } else if (key == "tsize" && number) {
            image.tsize = *number;
            AppendString(oack, "tsize");
            AppendString(oack, value);
        }
    }
    const bool optionAck = mode_ == TftpMode::OptionAck && oack.size() > 2;
    if (!optionAck) blockSize = kDefaultBlockSize;
    if (image.tsize && *image.tsize > kMaxImageBytes) {
        images_.push_back(std::move(image));
        SendError(*listener_, kDiskFull, from, port);
        return;
    }

    auto t = std::make_unique<Transfer>();
    t->socket = std::make_unique<QUdpSocket>();
    if (!t->socket->bind(address_, 0)) {
        SendError(*listener_, kNotDefined, from, port);
        return;
    }
    image.blockSize = blockSize;
    images_.push_back(std::move(image));
    t->image = images_.size() - 1;
    t->peer = from;
    t->peerPort = port;
    t->firstAnswer = optionAck ? oack : Ack(0);
    t->timerId = nextTimerId_++;
    t->ackTimerId = nextTimerId_++;
    Transfer* raw = t.get();
    QObject::connect(raw->socket.get(), &QUdpSocket::readyRead, raw->socket.get(),
                     [this, raw] { OnTransferReady(raw); });
    transfers_.push_back(std::move(t));
    timers_.SetTimer(this, raw->timerId, kIdleTimeoutMs);
    SendTo(*raw->socket, raw->firstAnswer, from, port);
}

TftpServer::Transfer* TftpServer::FindPending(const QHostAddress& from, uint16_t port) {
    for (auto& t : transfers_)
        if (!t->started && !t->finished && t->peer == from && t->peerPort == port) return t.get();
    return nullptr;
}

void TftpServer::OnTransferReady(Transfer* t) {
    Reap(t);
    while (!t->finished && t->socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = t->socket->receiveDatagram();
        const uint16_t port = static_cast<uint16_t>(d.senderPort());
        if (d.senderAddress() != t->peer || port != t->peerPort) {
            SendError(*t->socket, kUnknownTid, d.senderAddress(), port);
            continue;
        }
        OnData(*t, d.data());
    }
}

void TftpServer::OnData(Transfer& t, const QByteArray& packet) {
    ReceivedImage& image = images_[t.image];
    const uint16_t opcode = OpcodeOf(packet);
    if (opcode == kError) {
        log_(QStringLiteral("TFTP: client gave up on \"%1\"")
                 .arg(QString::fromLatin1(image.fileName)));
        image.aborted = true;
        Finish(t);
        return;
    }
    if (opcode != kData || packet.size() < kHeaderSize ||
        packet.size() > kHeaderSize + image.blockSize) {
        SendError(*t.socket, kIllegal, t.peer, t.peerPort);
        image.aborted = true;
        Finish(t);
        return;
    }
    timers_.SetTimer(this, t.timerId, kIdleTimeoutMs);
    const uint16_t block = BlockOf(packet);
    if (block == t.lastBlock && t.started) {
        if (!t.ackPending) SendAck(t);  // our ACK was lost
        return;
    }
    if (block != static_cast<uint16_t>(t.lastBlock + 1) || image.complete) return;
    const qsizetype payload = packet.size() - kHeaderSize;
    if (image.data.size() + payload > kMaxImageBytes) {
        SendError(*t.socket, kDiskFull, t.peer, t.peerPort);
        image.aborted = true;
        Finish(t);
        return;
    }
    image.data.append(packet.constData() + kHeaderSize, payload);
    t.started = true;
    t.lastBlock = block;
    image.complete = payload < image.blockSize;
    if (ackDelayMs_ == 0) {
        Acknowledge(t);
        return;
    }
    t.ackPending = true;
    timers_.SetTimer(this, t.ackTimerId, ackDelayMs_);
}

// The last block's acknowledgement goes out before the image counts as stored: the device
// restarts once it has one.
void TftpServer::Acknowledge(Transfer& t) {
    t.ackPending = false;
    SendAck(t);
    const ReceivedImage& image = images_[t.image];
    if (!image.complete) return;
    log_(QStringLiteral("TFTP: stored \"%1\", %2 bytes, SHA-256 %3")
             .arg(QString::fromLatin1(image.fileName))
             .arg(image.data.size())
             .arg(QString::fromLatin1(
                 QCryptographicHash::hash(image.data, QCryptographicHash::Sha256).toHex())));
    // The transfer stays a while to acknowledge a repeated last block.
    if (done_) done_(image);
}

void TftpServer::SendAck(Transfer& t) {
    SendTo(*t.socket, Ack(t.lastBlock), t.peer, t.peerPort);
}

void TftpServer::Finish(Transfer& t) {
    timers_.KillTimer(this, t.timerId);
    timers_.KillTimer(this, t.ackTimerId);
    t.finished = true;
    t.socket->close();
}

// Deleting a socket inside its own notification is unsafe, so finished transfers go here,
// from the next notification of another socket or timer.
void TftpServer::Reap(const Transfer* keep) {
    std::erase_if(transfers_, [keep](const auto& p) { return p->finished && p.get() != keep; });
}

int TftpServer::ActiveTransfers() const {
    return static_cast<int>(std::count_if(transfers_.begin(), transfers_.end(),
                                          [](const auto& p) { return !p->finished; }));
}

void TftpServer::OnTimer(int timerId) {
    Reap(nullptr);
    for (auto& t : transfers_) {
        if (t->ackTimerId == timerId && !t->finished) {
            timers_.KillTimer(this, timerId);
            Acknowledge(*t);
            return;
        }
        if (t->timerId != timerId || t->finished) continue;
        ReceivedImage& image = images_[t->image];
        if (!image.complete) {
            image.aborted = true;
            log_(QStringLiteral("TFTP: transfer of \"%1\" timed out")
                     .arg(QString::fromLatin1(image.fileName)));
        }
        Finish(*t);
        return;
    }
    timers_.KillTimer(this, timerId);
}

void TftpServer::SendTo(QUdpSocket& socket, const QByteArray& data, const QHostAddress& to,
                        uint16_t port) {
    if (!IsLoopbackDestination(to)) {
        ++refused_;
        log_(QStringLiteral("TFTP: refused to send to %1:%2").arg(to.toString()).arg(port));
        return;
    }
    SendToLoopback(socket, data, to, port);
}

void TftpServer::SendError(QUdpSocket& socket, uint16_t code, const QHostAddress& to,
                           uint16_t port) {
    SendTo(socket, ErrorPacket(code), to, port);
}

}  // namespace devsim
