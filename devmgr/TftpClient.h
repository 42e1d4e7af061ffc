#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "devmgr/TftpPacket.h"
#include "devmgr/TftpTransport.h"
#include "platform/TimerHost.h"

class UserPrompts;

// Push upgrade: writes one firmware image into one device as a TFTP client. The write request
// asks for 512-byte blocks and announces the size; blocks go out in lock step, each resent on
// the retry timer until the device acknowledges it. The device manager view owns one client
// for its lifetime; the socket is created by the first upgrade and then kept.
//
// The view does the single-device choice, the subnet check and the firmware dialog, then calls
// Start. It follows the flow through two signals: buttonsEnabled for its seven buttons, and
// upgradeFinished for the restart wait that ends in a new search.
class CTftpClient final : public QObject, public TimerClient {
    Q_OBJECT

  public:
    using LogSink = std::function<void(const QString&)>;

    static constexpr int kRetryTimerId = 15;
    static constexpr int kRetryPeriodMs = 1000;
    // Block 1 and the last block wait longer: the device erases or commits its flash then.
    static constexpr int kLongRetryPeriodMs = 6000;
    static constexpr int kMaxRetries = 5;
    static constexpr uint16_t kServerPort = 69;
    // Devices compare acknowledged block numbers as signed 16-bit values, so an image must fit
    // in 32767 blocks, the final short or empty block included.
    static constexpr int kMaxBlocks = 32767;
    static constexpr int64_t kMaxImageSize = int64_t{kMaxBlocks} * kTftpBlockSize - 1;

    // Without a transport the client uses a UDP socket on the calling thread's event loop.
    CTftpClient(TimerHost& timers, UserPrompts& prompts, LogSink addLog,
                std::unique_ptr<TftpTransport> transport = nullptr, QObject* parent = nullptr);
    ~CTftpClient() override;

    // The device's TFTP port; only tests talk to another one.
    void SetServerPort(uint16_t port) { serverPort_ = port; }

    // Creates the socket bound to hostAddress on the first call, checks the image and sends the
    // write request to the device. False when it stopped before sending (its message box has
    // been shown) or an upgrade is already running.
    bool Start(const QString& imagePath, uint32_t deviceAddress, uint32_t hostAddress);
    bool IsRunning() const { return running_; }
    bool IsSocketCreated() const { return socketCreated_; }

    // One received datagram with its sender; the socket delivers here.
    void HandleDatagram(QByteArrayView packet, uint32_t address, uint16_t port);
    void OnTimer(int timerId) override;

  signals:
    // False when the upgrade starts, true when it ends for any reason.
    void buttonsEnabled(bool enabled);
    // The device acknowledged the last block and restarts; sent after buttonsEnabled(true).
    void upgradeFinished();

  private:
    void SendRequest(const QString& fileName);
    // What let the next block go: its log line comes before the block's own.
    enum class Reply { OptionAck, Ack };
    void SendNextBlock(Reply reply);
    bool AcceptSender(uint32_t address, uint16_t port);
    void OnOptionAck();
    void OnAck(const TftpAck& ack);
    void OnError(const TftpError& error);
    void Retry();
    void End();
    void Log(const QString& text);
    void Inform(const QString& text);

    TimerHost& timers_;
    UserPrompts& prompts_;
    LogSink addLog_;
    std::unique_ptr<TftpTransport> transport_;
    uint16_t serverPort_ = kServerPort;
    bool socketCreated_ = false;
    bool running_ = false;

    QByteArray image_;         // the whole image, read when the upgrade started
    int32_t blockNumber_ = 0;  // the last DATA block sent; 0 while the request is out
    int64_t fileLength_ = 0;
    int64_t remaining_ = 0;  // bytes not yet sent; -1 once the last block went out
    QByteArray packet_;      // the request or DATA packet that a retry sends again
    uint32_t deviceAddress_ = 0;
    uint16_t peerPort_ = 0;  // the device's transfer port, fixed by its first reply
    bool peerPortFixed_ = false;
    int retryCount_ = 0;
};
