#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/TimerHost.h"
#include "tools/devsim/DeviceProfile.h"

// The write side of a TFTP server (RFC 1350, options per RFC 2347/2348/2349): a device takes
// firmware images on its port 69. Each transfer runs on a socket of its own (a new transfer
// ID, as the RFC asks); the client drives retransmission, the server re-acknowledges
// duplicates and forgets a transfer after a spell of silence.
namespace devsim {

using TftpOptions = std::vector<std::pair<QByteArray, QByteArray>>;

struct WriteRequest {
    QByteArray fileName;
    QByteArray mode;
    TftpOptions options;  // in the order the request gives them
};

// A write request: opcode 2, file name, mode and whole option pairs, each string ending in
// NUL. nullopt for anything else, a truncated packet included.
std::optional<WriteRequest> ParseWriteRequest(const QByteArray& packet);

struct ReceivedImage {
    QByteArray fileName;
    QByteArray mode;
    TftpOptions options;  // as the request carried them
    QByteArray data;
    int blockSize = 0;  // 0 while no data is expected (silent mode)
    std::optional<int64_t> tsize;
    bool complete = false;
    bool aborted = false;
    QHostAddress client;
    uint16_t clientPort = 0;
};

class TftpServer final : public TimerClient {
  public:
    static constexpr int kDefaultBlockSize = 512;
    static constexpr int kMinBlockSize = kMinTftpBlockSize;
    static constexpr int kMaxBlockSize = kMaxTftpBlockSize;
    static constexpr int64_t kMaxImageBytes = 32 << 20;
    static constexpr int kIdleTimeoutMs = 30000;

    using Log = std::function<void(const QString&)>;

    using ImageDone = std::function<void(const ReceivedImage&)>;

    TftpServer(TimerHost& timers, Log log, ImageDone done = {});
    ~TftpServer() override;
    TftpServer(const TftpServer&) = delete;
    TftpServer& operator=(const TftpServer&) = delete;

    bool Open(const QHostAddress& address, uint16_t port);
    void Close();
    bool IsOpen() const { return listener_ != nullptr; }
    void SetMode(TftpMode mode) { mode_ = mode; }
    // A request for larger blocks is answered with this size.
    void SetBlockSizeLimit(int blockSize) { blockSizeLimit_ = blockSize; }
    // Each DATA block is acknowledged this long after it arrived.
    void SetAckDelay(int ms) { ackDelayMs_ = ms; }
    // While unavailable (the device restarts) requests are dropped unanswered.
    void SetAvailable(bool available) { available_ = available; }

    const std::vector<ReceivedImage>& Images() const { return images_; }
    int ActiveTransfers() const;
    int RefusedSends() const { return refused_; }

    // The receive paths; public so that tests can feed packets from any sender.
    void OnRequest(const QByteArray& packet, const QHostAddress& from, uint16_t port);

    void OnTimer(int timerId) override;

  private:
    struct Transfer;

    void OnListenerReady();
    void OnTransferReady(Transfer* t);
    void OnData(Transfer& t, const QByteArray& packet);
    void Acknowledge(Transfer& t);
    void SendAck(Transfer& t);
    void StartTransfer(const QByteArray& packet, const QHostAddress& from, uint16_t port);
    void Answer(Transfer& t);
    void Finish(Transfer& t);
    void Reap(const Transfer* keep);
    void SendTo(QUdpSocket& socket, const QByteArray& data, const QHostAddress& to, uint16_t port);
    void SendError(QUdpSocket& socket, uint16_t code, const QHostAddress& to, uint16_t port);
    Transfer* FindPending(const QHostAddress& from, uint16_t port);

    TimerHost& timers_;
    Log log_;
    ImageDone done_;
    bool available_ = true;
    TftpMode mode_ = TftpMode::OptionAck;
    int blockSizeLimit_ = kMaxBlockSize;
    int ackDelayMs_ = 0;
    QHostAddress address_;
    std::unique_ptr<QUdpSocket> listener_;
    std::vector<std::unique_ptr<Transfer>> transfers_;
    std::vector<ReceivedImage> images_;
    int nextTimerId_ = 1;
    int refused_ = 0;
};

}  // namespace devsim
