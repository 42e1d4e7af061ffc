#include "devmgr/TftpTransferThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "devmgr/TftpSocket.h"

std::unique_ptr<TftpTransferThread> TftpTransferThread::Start(TftpSocket& socket,
                                                              TftpTransfer::Job job, Wake wake) {
    std::unique_ptr<TftpTransferThread> transfer(new TftpTransferThread(socket, std::move(wake)));
    if (transfer->stopFd_ < 0) return nullptr;
    try {
        transfer->thread_ = std::thread(&TftpTransferThread::Run, transfer.get(), std::move(job));
    } catch (const std::system_error&) {
        return nullptr;
    }
    return transfer;
}

TftpTransferThread::TftpTransferThread(TftpSocket& socket, Wake wake)
    : socket_(socket),
      wake_(std::move(wake)),
      transfer_(
          timers_, socket, [this](QString line) { AddLine(std::move(line)); },
          [this](bool finished) { Finish(finished); }),
      stopFd_(::eventfd(0, EFD_CLOEXEC)) {
    socket_.SetReceiver([this](QByteArrayView packet, uint32_t address, uint16_t port) {
        transfer_.HandleDatagram(packet, address, port);
    });
}

TftpTransferThread::~TftpTransferThread() {
    if (thread_.joinable()) {
        const uint64_t stop = 1;
        while (::write(stopFd_, &stop, sizeof stop) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    socket_.SetReceiver(nullptr);
    if (stopFd_ >= 0) ::close(stopFd_);
}

TftpTransferThread::Batch TftpTransferThread::Take() {
    std::lock_guard lock(mutex_);
    woken_ = false;
    return std::exchange(pending_, Batch{});
}

void TftpTransferThread::Run(TftpTransfer::Job job) {
    // Whatever reached the socket between upgrades answers none of this one's packets.
    while (socket_.ReadOne()) {
    }
    transfer_.Begin(std::move(job));
    pollfd fds[] = {{socket_.Fd(), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    while (transfer_.IsRunning()) {
        const int ready = ::poll(fds, std::size(fds), timers_.WaitMs());
        if (ready > 0) {
            if (fds[1].revents != 0) return;
            if (fds[0].revents != 0) socket_.ReadOne();
        }
        timers_.FireDue();
    }
}

// The first line after a hand-over starts the batch period; the lines that follow ride along.
void TftpTransferThread::AddLine(QString line) {
    std::unique_lock lock(mutex_);
    pending_.lines.append(std::move(line));
    if (woken_ || batchTimerArmed_) return;
    lock.unlock();
    batchTimerArmed_ = true;
    timers_.SetTimer(this, kBatchTimerId, kBatchPeriodMs);
}

void TftpTransferThread::OnTimer(int timerId) {
    if (timerId != kBatchTimerId) return;
    timers_.KillTimer(this, kBatchTimerId);
    batchTimerArmed_ = false;
    std::unique_lock lock(mutex_);
    WakeOwner(lock);
}

void TftpTransferThread::Finish(bool finished) {
    std::unique_lock lock(mutex_);
    pending_.ended = finished;
    WakeOwner(lock);
}

void TftpTransferThread::WakeOwner(std::unique_lock<std::mutex>& lock) {
    if (woken_ || (pending_.lines.isEmpty() && !pending_.ended)) return;
    woken_ = true;
    lock.unlock();
    wake_();
}
