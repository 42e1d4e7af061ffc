#pragma once

#include <memory>

#include "upgrade/TftpTransport.h"

class QSocketNotifier;

// A UDP socket. Its datagrams are read either by a notifier on the event loop of the thread
// that opens it, or by the owner's thread, which blocks in WaitForOne.
class TftpSocket final : public TftpTransport {
  public:
    enum class Reader { EventLoop, Owner };
    // A wait may end this much sooner than asked, so that a wait about as long as the one
    // before needs no system call to set its limit.
    static constexpr int kWaitSlackMs = 50;

    explicit TftpSocket(Reader reader = Reader::EventLoop);
    ~TftpSocket() override;
    TftpSocket(const TftpSocket&) = delete;
    TftpSocket& operator=(const TftpSocket&) = delete;

    bool Open(uint32_t hostAddress) override;
    // Never blocks: a full send queue fails the send, as a lost packet would.
    int64_t SendTo(const QByteArray& packet, uint32_t address, uint16_t port) override;
    int LastError() const override { return lastError_; }
    void SetReceiver(Receiver receiver) override { receiver_ = std::move(receiver); }

    // Reads one queued datagram and hands it to the receiver; false when none was queued.
    bool ReadOne();
    // Waits up to maxWaitMs (-1: no limit) for a datagram and hands it to the receiver; false
    // when the wait ended without one.
    bool WaitForOne(int maxWaitMs);
    // Ends a wait in progress and makes every later one return at once; the socket receives
    // nothing more, so only an owner that is closing it calls this.
    void EndWaits();

  private:
    bool Receive(int flags);
    bool SetWaitLimit(int maxWaitMs);

    const Reader reader_;
    int fd_ = -1;
    int lastError_ = 0;
    int waitLimitMs_ = -2;  // the receive timeout in force; 0 is no limit, -2 not set yet
    std::unique_ptr<QSocketNotifier> notifier_;
    Receiver receiver_;
};
