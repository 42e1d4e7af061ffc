#include "upgrade/TftpClient.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include "platform/DmMessageBox.h"
#include "protocol/Ipv4Address.h"
#include "protocol/OneHost.h"
#include "upgrade/FirmwareImage.h"
#include "upgrade/TftpSocket.h"
#include "upgrade/TftpTransfer.h"
#include "upgrade/TftpTransferThread.h"

namespace {

const QString kSocketFailed = QStringLiteral("Create TFTP client socket fail!!");

Q_LOGGING_CATEGORY(everyBlockLog, CTftpClient::kEveryBlockCategory, QtInfoMsg)

}  // namespace

CTftpClient::CTftpClient(TimerHost& timers, UserPrompts& prompts, LogSink addLog,
                         std::unique_ptr<TftpTransport> transport, QObject* parent)
    : QObject(parent),
      timers_(timers),
      prompts_(prompts),
      addLog_(std::move(addLog)),
      logEveryBlock_(everyBlockLog().isDebugEnabled()) {
    if (!transport) {
        socket_ = std::make_unique<TftpSocket>(TftpSocket::Reader::Owner);
        return;
    }
    transport_ = std::move(transport);
    callingThread_ = std::make_unique<TftpTransfer>(
        timers, *transport_, [this](const QString& line) { Log(line); },
        [this](bool finished) { OnEnded(finished); },
        [this](const TftpProgress& progress) { emit progressed(progress); });
    transport_->SetReceiver([this](QByteArrayView packet, uint32_t address, uint16_t port) {
        callingThread_->HandleDatagram(packet, address, port);
    });
}

CTftpClient::~CTftpClient() {
    timers_.KillAll(this);
}

bool CTftpClient::IsRunning() const {
    return thread_ || (callingThread_ && callingThread_->IsRunning());
}

bool CTftpClient::Start(const QString& imagePath, uint32_t deviceAddress, uint32_t hostAddress) {
    if (IsRunning()) return false;
    // The socket may broadcast: an image must never go to every device on the network.
    // The device manager also refuses its subnets' edges before it gets here.
    if (const QString why = WhyNotOneHost(Ipv4Address(deviceAddress), {}, Ipv4Address());
        !why.isEmpty()) {
        Log(QStringLiteral("No upgrade sent: %1").arg(why));
        return false;
    }
    if (!socketCreated_) {
        TftpTransport& endpoint = socket_ ? *socket_ : *transport_;
        if (!endpoint.Open(hostAddress)) {
            Inform(kSocketFailed);
            return false;
        }
        socketCreated_ = true;
        Log(QStringLiteral("Create TFTP socket"));
    }
    // The image dialog looked at the mark too, but the file may have changed since: what is
    // sent is what is checked here.
    FirmwareImage image = ReadFirmwareImage(imagePath, kMaxImageSize);
    if (const QString why = FirmwareImageProblem(image, kMaxImageSize); !why.isEmpty()) {
        Inform(why);
        return false;
    }
    if (blockSize_ != 0) {
        if (const QString why = TftpBlockSizeProblem(blockSize_, image.bytes.size());
            !why.isEmpty()) {
            Inform(why);
            return false;
        }
    }
    TftpTransfer::Job job{std::move(image.bytes),
                          QFile::encodeName(QFileInfo(imagePath).fileName()), deviceAddress,
                          serverPort_, logEveryBlock_};
    job.blockSize = blockSize_;
    shown_ = {0, job.image.size()};
    if (socket_) {
        // The thread wakes this one when the transfer ends; a wake left over from a destroyed
        // client is dropped with it.
        thread_ = TftpTransferThread::Start(socket_, std::move(job), [this] {
            QMetaObject::invokeMethod(
                this, [this] { TakeBatch(); }, Qt::QueuedConnection);
        });
        if (!thread_) {
            Inform(kSocketFailed);
            return false;
        }
        timers_.SetTimer(this, kLogTimerId, kLogPeriodMs);
    }
    emit buttonsEnabled(false);
    emit progressed(shown_);
    if (callingThread_) callingThread_->Begin(std::move(job));
    return true;
}

void CTftpClient::OnTimer(int timerId) {
    if (timerId == kLogTimerId) TakeBatch();
}

void CTftpClient::TakeBatch() {
    if (!thread_) return;
    TftpTransferThread::Batch batch = thread_->Take();
    for (const QString& line : batch.lines) Log(line);
    if (batch.progress.total > 0 && batch.progress != shown_) {
        shown_ = batch.progress;
        emit progressed(shown_);
    }
    if (!batch.ended) return;
    timers_.KillTimer(this, kLogTimerId);
    socket_ = thread_->Join();
    thread_.reset();
    OnEnded(*batch.ended);
}

void CTftpClient::OnEnded(bool finished) {
    emit buttonsEnabled(true);
    if (finished)
        emit upgradeFinished();
    else
        emit upgradeFailed();
}

void CTftpClient::Log(const QString& text) {
    if (addLog_) addLog_(text);
}

void CTftpClient::Inform(const QString& text) {
    ShowDmMessage(prompts_, text);
}
