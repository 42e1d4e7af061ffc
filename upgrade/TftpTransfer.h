#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <functional>

#include "platform/TimerHost.h"
#include "upgrade/TftpPacket.h"
#include "upgrade/TftpProgress.h"
#include "upgrade/TftpTransport.h"

// The lock-step exchange of one push upgrade: the write request, which asks for 512-byte
// blocks (or the job's size, which the device's answer then decides) and announces the size,
// then each block resent on the retry timer until the device
// acknowledges it. It runs on one thread with the timers and endpoint it is given. While it runs
// the retry timer is always armed, so every path ends: in success, in the device's error, or
// in "TFTP Retry Timeout".
//
// Its log has a line for each retry, each error and the last block, a progress line each
// 64 KiB or each second, and a summary at the end; with every block logged, it has the
// acknowledgement and data lines of each block instead of the progress lines.
class TftpTransfer final : public TimerClient {
  public:
    static constexpr int kRetryTimerId = 15;
    static constexpr int kRetryPeriodMs = 1000;
    // Block 1 and the last block wait longer: the device erases or commits its flash then.
    static constexpr int kLongRetryPeriodMs = 6000;
    static constexpr int kMaxRetries = 5;
    // What a packet from anyone but the device is answered with.
    static constexpr uint16_t kUnknownTransferId = 5;
    static constexpr char kUnknownTransferIdText[] = "Unknown transfer ID";
    // What a device's option acknowledgement that cannot be taken is answered with (RFC 2347).
    static constexpr uint16_t kOptionRefused = 8;
    // A progress line once this much more was acknowledged, or this long after the last one.
    static constexpr int64_t kProgressLineBytes = 64 * 1024;
    static constexpr int64_t kProgressLineMs = 1000;

    struct Job {
        QByteArray image;
        QByteArray fileName;
        uint32_t deviceAddress = 0;
        uint16_t serverPort = 0;
        bool logEveryBlock = false;
        // The block size asked for; 0: 512 bytes as the window asks, whose answer the device
        // gives is not examined.
        int blockSize = 0;
    };
    using LogSink = std::function<void(QString)>;
    // Called with every acknowledged block.
    using ProgressSink = std::function<void(const TftpProgress&)>;
    // Called once when the exchange ends: finished when the device acknowledged the last block.
    using EndSink = std::function<void(bool finished)>;

    TftpTransfer(TimerHost& timers, TftpTransport& transport, LogSink log, EndSink end,
                 ProgressSink progress = {});
    ~TftpTransfer() override;
    TftpTransfer(const TftpTransfer&) = delete;
    TftpTransfer& operator=(const TftpTransfer&) = delete;

    // Sends the write request; the transfer runs until the end sink is called.
    void Begin(Job job);
    bool IsRunning() const { return running_; }

    // One received datagram with its sender.
    void HandleDatagram(QByteArrayView packet, uint32_t address, uint16_t port);
    void OnTimer(int timerId) override;

  private:
    // What let the next block go: its log line comes before the block's own.
    enum class Reply { OptionAck, Ack };
    void SendNextBlock(Reply reply);
    bool IsStranger(uint32_t address, uint16_t port) const;
    void AnswerStranger(TftpOpcode opcode, uint32_t address, uint16_t port);
    void FixPeerPort(uint16_t port);
    void OnOptionAck(QByteArrayView packet);
    bool TakeBlockSize(QByteArrayView packet);
    void Refuse(const QByteArray& reason);
    void OnAck(const TftpAck& ack);
    void OnError(const TftpError& error);
    void Retry();
    void Report(int64_t sent);
    void Acknowledged(int32_t block);
    void End(bool finished);
    QString Summary(bool finished) const;

    TimerHost& timers_;
    TftpTransport& transport_;
    LogSink log_;
    EndSink end_;
    ProgressSink progressSink_;
    bool running_ = false;
    bool logEveryBlock_ = false;
    int askedBlockSize_ = 0;          // as the job says
    int blockSize_ = kTftpBlockSize;  // what the DATA blocks carry

    QByteArray image_;         // the whole image, read when the upgrade started
    int32_t blockNumber_ = 0;  // the last DATA block sent; 0 while the request is out
    int64_t remaining_ = 0;    // bytes not yet sent; -1 once the last block went out
    QByteArray packet_;        // the request or DATA packet that a retry sends again
    uint32_t deviceAddress_ = 0;
    uint16_t serverPort_ = 0;
    uint16_t peerPort_ = 0;  // the device's transfer port, fixed by its first reply
    bool peerPortFixed_ = false;
    int retryCount_ = 0;  // of the packet in flight

    TftpProgress progress_;
    int retries_ = 0;        // of the whole transfer
    int64_t startedMs_ = 0;  // on the timers' clock
    int64_t lineMs_ = 0;     // when the last progress line was written
    int64_t lineBytes_ = 0;  // and what it said
};
