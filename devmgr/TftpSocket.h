#pragma once

#include <memory>

#include "devmgr/TftpTransport.h"

class QSocketNotifier;

// A UDP socket. Its datagrams are read either by a notifier on the event loop of the thread
// that opens it, or by the owner's own wait loop, which watches Fd() and calls ReadOne().
class TftpSocket final : public TftpTransport {
  public:
    enum class Reader { EventLoop, Owner };

    explicit TftpSocket(Reader reader = Reader::EventLoop);
    ~TftpSocket() override;
    TftpSocket(const TftpSocket&) = delete;
    TftpSocket& operator=(const TftpSocket&) = delete;

    bool Open(uint32_t hostAddress) override;
    int64_t SendTo(const QByteArray& packet, uint32_t address, uint16_t port) override;
    int LastError() const override { return lastError_; }
    void SetReceiver(Receiver receiver) override { receiver_ = std::move(receiver); }

    int Fd() const { return fd_; }
    // Reads one datagram and hands it to the receiver; false when none was queued.
    bool ReadOne();

  private:
    const Reader reader_;
    int fd_ = -1;
    int lastError_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    Receiver receiver_;
};
