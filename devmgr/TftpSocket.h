#pragma once

#include <memory>

#include "devmgr/TftpTransport.h"

class QSocketNotifier;

// A UDP socket under a read notifier on the event loop of the thread that opens it.
class TftpSocket final : public TftpTransport {
  public:
    TftpSocket();
    ~TftpSocket() override;
    TftpSocket(const TftpSocket&) = delete;
    TftpSocket& operator=(const TftpSocket&) = delete;

    bool Open(uint32_t hostAddress) override;
    int64_t SendTo(const QByteArray& packet, uint32_t address, uint16_t port) override;
    int LastError() const override { return lastError_; }
    void SetReceiver(Receiver receiver) override { receiver_ = std::move(receiver); }

  private:
    void ReadPending();

    int fd_ = -1;
    int lastError_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    Receiver receiver_;
};
