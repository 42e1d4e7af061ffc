#include "upgrade/TftpTransferThread.h"

#include <system_error>
#include <utility>

#include "upgrade/TftpSocket.h"

std::unique_ptr<TftpTransferThread> TftpTransferThread::Start(std::unique_ptr<TftpSocket>& socket,
                                                              TftpTransfer::Job job, Wake wake) {
    std::unique_ptr<TftpTransferThread> transfer(
        new TftpTransferThread(std::move(socket), std::move(wake)));
    try {
        transfer->thread_ = std::thread(&TftpTransferThread::Run, transfer.get(), std::move(job));
    } catch (const std::system_error&) {
        socket = transfer->Join();
        return nullptr;
    }
    return transfer;
}

TftpTransferThread::TftpTransferThread(std::unique_ptr<TftpSocket> socket, Wake wake)
    : socket_(std::move(socket)),
      wake_(std::move(wake)),
      transfer_(
          timers_, *socket_, [this](QString line) { AddLine(std::move(line)); },
          [this](bool finished) { Finish(finished); },
          [this](const TftpProgress& progress) {
              std::lock_guard lock(mutex_);
              progress_ = progress;
          }) {
    socket_->SetReceiver([this](QByteArrayView packet, uint32_t address, uint16_t port) {
        transfer_.HandleDatagram(packet, address, port);
    });
}

// The client is going away: ending the socket's waits is the stop signal, and a stop written
// before the thread waits again is seen all the same.
TftpTransferThread::~TftpTransferThread() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    socket_->EndWaits();
    thread_.join();
}

std::unique_ptr<TftpSocket> TftpTransferThread::Join() {
    if (thread_.joinable()) thread_.join();
    socket_->SetReceiver(nullptr);
    return std::move(socket_);
}

TftpTransferThread::Batch TftpTransferThread::Take() {
    std::lock_guard lock(mutex_);
    pending_.progress = progress_;
    return std::exchange(pending_, Batch{});
}

void TftpTransferThread::Run(TftpTransfer::Job job) {
    // Whatever reached the socket between upgrades answers none of this one's packets.
    while (socket_->ReadOne()) {
    }
    transfer_.Begin(std::move(job));
    while (transfer_.IsRunning()) {
        const int wait = timers_.WaitMs();
        if (wait != 0) socket_->WaitForOne(wait);
        if (stopping_) return;
        timers_.FireDue();
    }
}

void TftpTransferThread::AddLine(QString line) {
    std::lock_guard lock(mutex_);
    pending_.lines.append(std::move(line));
}

void TftpTransferThread::Finish(bool finished) {
    {
        std::lock_guard lock(mutex_);
        pending_.ended = finished;
    }
    wake_();
}
