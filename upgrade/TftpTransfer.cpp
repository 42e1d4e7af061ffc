#include "upgrade/TftpTransfer.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

#include "protocol/Ipv4Address.h"
#include "upgrade/TftpBlockSize.h"

namespace {

QString ErrorText(const TftpError& error) {
    static const char* const kTexts[] = {
        "File not found.",         "Access violation..",   "Disk full or allocation exceeded.",
        "Illegal TFTP operation.", "Unknown transfer ID.", "File already exists.",
        "No such user.",
    };
    if (error.code >= 1 && error.code <= std::size(kTexts)) {
        return QString::fromLatin1(kTexts[error.code - 1]);
    }
    return QString::fromLatin1(error.message);
}

// The text followed by the number in decimal, built with a single allocation: the two log
// lines written for every block cost a fraction of what arg() would.
QString Numbered(std::string_view text, int32_t number) {
    char digits[16];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), number);
    const std::string_view decimal(std::begin(digits), end);
    QString line(static_cast<qsizetype>(text.size() + decimal.size()), Qt::Uninitialized);
    QChar* out = line.data();
    for (char c : text) *out++ = QLatin1Char(c);
    for (char c : decimal) *out++ = QLatin1Char(c);
    return line;
}

}  // namespace

TftpTransfer::TftpTransfer(TimerHost& timers, TftpTransport& transport, LogSink log, EndSink end,
                           ProgressSink progress)
    : timers_(timers),
      transport_(transport),
      log_(std::move(log)),
      end_(std::move(end)),
      progressSink_(std::move(progress)) {}

TftpTransfer::~TftpTransfer() {
    timers_.KillAll(this);
}

void TftpTransfer::Begin(Job job) {
    running_ = true;
    logEveryBlock_ = job.logEveryBlock;
    askedBlockSize_ = job.blockSize;
    blockSize_ = kTftpBlockSize;
    image_ = std::move(job.image);
    progress_ = {0, image_.size()};
    retries_ = 0;
    startedMs_ = lineMs_ = timers_.NowMs();
    lineBytes_ = 0;
    remaining_ = image_.size();
    blockNumber_ = 0;
    deviceAddress_ = job.deviceAddress;
    serverPort_ = job.serverPort;
    peerPort_ = 0;
    peerPortFixed_ = false;
    packet_ = EncodeTftp(MakeUpgradeRequest(
        job.fileName, image_.size(), askedBlockSize_ != 0 ? askedBlockSize_ : kTftpBlockSize));
    const int64_t sent = transport_.SendTo(packet_, deviceAddress_, serverPort_);
    retryCount_ = 0;
    timers_.SetTimer(this, kRetryTimerId, kRetryPeriodMs);
    if (sent != packet_.size()) {
        log_(QStringLiteral("Send WRQ, Err: %1").arg(transport_.LastError()));
    } else {
        log_(QStringLiteral("Send WRQ, %1").arg(Ipv4Address(deviceAddress_).ToString()));
    }
}

// The device waits for the next block, so it goes out before anything else is done; the log
// lines follow in their order once it is on its way.
void TftpTransfer::SendNextBlock(Reply reply) {
    const int32_t acknowledged = blockNumber_;
    const int64_t offset = int64_t{blockNumber_} * blockSize_;
    const int64_t length = std::min<int64_t>(remaining_, blockSize_);
    ++blockNumber_;
    EncodeTftpData(packet_, static_cast<uint16_t>(blockNumber_),
                   QByteArrayView(image_).sliced(offset, length));
    remaining_ = remaining_ >= blockSize_ ? remaining_ - blockSize_ : -1;
    transport_.SendTo(packet_, deviceAddress_, peerPort_);
    retryCount_ = 0;
    const bool last = remaining_ == -1;
    timers_.SetTimer(this, kRetryTimerId,
                     blockNumber_ == 1 || last ? kLongRetryPeriodMs : kRetryPeriodMs);
    if (reply == Reply::OptionAck)
        log_(QStringLiteral("TFTP_OPTION_ACK"));
    else
        Acknowledged(acknowledged);
    if (last) {
        log_(QStringLiteral("TFTP_DATA (Last) ,#BLK: %1, Len: %2")
                 .arg(blockNumber_)
                 .arg(packet_.size()));
    } else if (logEveryBlock_) {
        log_(Numbered("TFTP_DATA ,#BLK: ", blockNumber_));
    }
}

void TftpTransfer::Report(int64_t sent) {
    progress_.sent = sent;
    if (progressSink_) progressSink_(progress_);
}

// The device has the block: its line, or a progress line when one is due.
void TftpTransfer::Acknowledged(int32_t block) {
    Report(std::min(int64_t{block} * blockSize_, progress_.total));
    if (logEveryBlock_) {
        log_(Numbered("TFTP_ACK ,#BLK : ", block));
        return;
    }
    const int64_t now = timers_.NowMs();
    if (progress_.sent - lineBytes_ < kProgressLineBytes && now - lineMs_ < kProgressLineMs) return;
    lineBytes_ = progress_.sent;
    lineMs_ = now;
    log_(QStringLiteral("TFTP upload: %1 (%2%)")
             .arg(ProgressText(progress_))
             .arg(progress_.sent * 100 / progress_.total));
}

void TftpTransfer::HandleDatagram(QByteArrayView packet, uint32_t address, uint16_t port) {
    // Nothing that arrives between upgrades may restart or repeat one.
    if (!running_) return;
    const auto opcode = PeekTftpOpcode(packet);
    if (!opcode || *opcode < static_cast<uint16_t>(TftpOpcode::ReadRequest) ||
        *opcode > static_cast<uint16_t>(TftpOpcode::OptionAck))
        return;
    if (IsStranger(address, port)) {
        AnswerStranger(static_cast<TftpOpcode>(*opcode), address, port);
        return;
    }
    switch (static_cast<TftpOpcode>(*opcode)) {
        case TftpOpcode::OptionAck:
            FixPeerPort(port);
            OnOptionAck(packet);
            break;
        case TftpOpcode::Ack:
            if (const auto ack = DecodeTftpAck(packet)) {
                FixPeerPort(port);
                OnAck(*ack);
            }
            break;
        case TftpOpcode::Error:
            if (const auto error = DecodeTftpError(packet)) {
                FixPeerPort(port);
                OnError(*error);
            }
            break;
        default:
            break;
    }
}

// Only the device may answer, and once it has, only from the port of its first answer: any
// other host on the network could otherwise take over the transfer.
bool TftpTransfer::IsStranger(uint32_t address, uint16_t port) const {
    return address != deviceAddress_ || (peerPortFixed_ && port != peerPort_);
}

// The stranger is told that it has no part in this transfer, which goes on. An error is not
// answered with another: two endpoints would bounce them back and forth.
void TftpTransfer::AnswerStranger(TftpOpcode opcode, uint32_t address, uint16_t port) {
    log_(QStringLiteral("TFTP packet from %1:%2 dropped (unknown sender)")
             .arg(Ipv4Address(address).ToString())
             .arg(port));
    if (opcode == TftpOpcode::Error) return;
    transport_.SendTo(EncodeTftp(TftpError{kUnknownTransferId, kUnknownTransferIdText}), address,
                      port);
}

void TftpTransfer::FixPeerPort(uint16_t port) {
    peerPort_ = port;
    peerPortFixed_ = true;
}

// A repeated or late option acknowledgement is dropped like a stale acknowledgement: the retry
// timer keeps running, so a lost block is still resent and the transfer cannot stall. Before
// the first block the timer is not stopped either: sending the block restarts it.
void TftpTransfer::OnOptionAck(QByteArrayView packet) {
    if (blockNumber_ == 0) {
        if (TakeBlockSize(packet)) SendNextBlock(Reply::OptionAck);
        return;
    }
    log_(QStringLiteral("TFTP_OPTION_ACK, TFTP client #BLK: %1").arg(blockNumber_));
}

// With a size of its own asked, the device's answer decides the block size; the window's
// request takes 512 bytes whatever the answer says. False when the transfer ended.
bool TftpTransfer::TakeBlockSize(QByteArrayView packet) {
    if (askedBlockSize_ == 0) return true;
    const auto answer = DecodeTftpOptionAck(packet);
    if (!answer) {
        Refuse("malformed option acknowledgement");
        return false;
    }
    const TftpBlockSizeAnswer taken =
        ReadTftpBlockSizeAnswer(askedBlockSize_, *answer, image_.size());
    if (!taken.refusal.isEmpty()) {
        Refuse(taken.refusal);
        return false;
    }
    blockSize_ = taken.blockSize;
    return true;
}

// The device is told, so that it does not wait for blocks of a size the client never sends.
void TftpTransfer::Refuse(const QByteArray& reason) {
    transport_.SendTo(EncodeTftp(TftpError{kOptionRefused, reason}), deviceAddress_, peerPort_);
    log_(QStringLiteral("TFTP_ERROR sent, ERR_CODE: %1, ERR_MSG: %2")
             .arg(kOptionRefused)
             .arg(QString::fromLatin1(reason)));
    End(false);
}

void TftpTransfer::OnAck(const TftpAck& ack) {
    if (ack.block != blockNumber_) {
        // A stale or repeated acknowledgement (one that crossed a resend, say) leaves the retry
        // timer running: stopping it would stall the upgrade with every button disabled.
        log_(QStringLiteral("TFTP_ACK #BLK %1 (Ignore)").arg(ack.block));
        return;
    }
    if (remaining_ >= 0) {
        SendNextBlock(Reply::Ack);
        return;
    }
    Report(progress_.total);
    if (logEveryBlock_) log_(Numbered("TFTP_ACK ,#BLK : ", blockNumber_));
    log_(QStringLiteral("TFTP_OPERATION FINISH"));
    End(true);
}

void TftpTransfer::OnError(const TftpError& error) {
    timers_.KillTimer(this, kRetryTimerId);
    log_(QStringLiteral("TFTP_ERROR, ERR_CODE: %1, ERR_MSG: %2")
             .arg(error.code)
             .arg(ErrorText(error)));
    End(false);
}

void TftpTransfer::OnTimer(int timerId) {
    if (timerId == kRetryTimerId) Retry();
}

void TftpTransfer::Retry() {
    ++retryCount_;
    if (retryCount_ <= kMaxRetries) ++retries_;
    if (retryCount_ > kMaxRetries) {
        timers_.KillTimer(this, kRetryTimerId);
        log_(QStringLiteral("TFTP Retry Timeout"));
        End(false);
        return;
    }
    if (blockNumber_ == 0) {
        transport_.SendTo(packet_, deviceAddress_, serverPort_);
        log_(QStringLiteral("Send WRQ, %1, Retry : %2")
                 .arg(Ipv4Address(deviceAddress_).ToString())
                 .arg(retryCount_));
        return;
    }
    transport_.SendTo(packet_, deviceAddress_, peerPort_);
    if (remaining_ == -1) {
        log_(QStringLiteral("TFTP_DATA (Last) ,#BLK: %1, Len: %2, Retry : %3")
                 .arg(blockNumber_)
                 .arg(packet_.size())
                 .arg(retryCount_));
    } else {
        log_(QStringLiteral("TFTP_DATA ,#BLK: %1, Retry : %2").arg(blockNumber_).arg(retryCount_));
    }
}

void TftpTransfer::End(bool finished) {
    timers_.KillTimer(this, kRetryTimerId);
    log_(Summary(finished));
    image_.clear();
    running_ = false;
    end_(finished);
}

// "TFTP upload finished: 8388608 bytes in 6.02 s (1.3 MiB/s), 0 retries".
QString TftpTransfer::Summary(bool finished) const {
    const int64_t elapsedMs = timers_.NowMs() - startedMs_;
    const QString seconds = QString::number(static_cast<double>(elapsedMs) / 1000, 'f', 2);
    const QString retries = QStringLiteral("%1 %2").arg(retries_).arg(
        retries_ == 1 ? QStringLiteral("retry") : QStringLiteral("retries"));
    if (!finished)
        return QStringLiteral("TFTP upload stopped: %1 of %2 bytes in %3 s, %4")
            .arg(progress_.sent)
            .arg(progress_.total)
            .arg(seconds, retries);
    const QString rate =
        elapsedMs > 0 ? QStringLiteral(" (%1/s)").arg(SizeText(progress_.total * 1000 / elapsedMs))
                      : QString();
    return QStringLiteral("TFTP upload finished: %1 bytes in %2 s%3, %4")
        .arg(progress_.total)
        .arg(seconds, rate, retries);
}
