#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/TimerHost.h"
#include "upgrade/TftpBlockSize.h"
#include "upgrade/TftpPacket.h"
#include "upgrade/TftpProgress.h"
#include "upgrade/TftpTransport.h"

class TftpSocket;
class TftpTransfer;
class TftpTransferThread;
class UserPrompts;

// Push upgrade: writes one firmware image into one device as a TFTP client. The device manager
// view owns one client for its lifetime; the socket is created by the first upgrade and then
// kept. The exchange itself is a TftpTransfer.
//
// The view does the single-device choice, the subnet check and the firmware dialog, then calls
// Start. It follows the flow through its signals: buttonsEnabled for its seven buttons,
// progressed for the bytes the device has, upgradeFinished for the restart wait that ends in a
// new search, and upgradeFailed.
class CTftpClient final : public QObject, public TimerClient {
    Q_OBJECT

  public:
    using LogSink = std::function<void(const QString&)>;

    // While the exchange runs on its own thread, its log lines are taken this often.
    static constexpr int kLogTimerId = 1;
    static constexpr int kLogPeriodMs = 50;

    static constexpr uint16_t kServerPort = 69;
    // What fits in 512-byte blocks, which every device takes.
    static constexpr int64_t kMaxImageSize = int64_t{kTftpMaxBlocks} * kTftpBlockSize - 1;

    // Without a transport the exchange runs on a thread of its own with a UDP socket
    // (TftpTransferThread), and its log lines reach addLog in batches, on the calling thread
    // and its timers. With a transport it runs on the calling thread with the given timers, as
    // tests do on the manual clock.
    CTftpClient(TimerHost& timers, UserPrompts& prompts, LogSink addLog,
                std::unique_ptr<TftpTransport> transport = nullptr, QObject* parent = nullptr);
    ~CTftpClient() override;

    // The device's TFTP port; only tests talk to another one.
    void SetServerPort(uint16_t port) { serverPort_ = port; }
    // The block size to ask for (TftpTransfer::Job::blockSize); the window keeps 0.
    void SetBlockSize(int blockSize) { blockSize_ = blockSize; }
    // Whether the log has two lines for each block instead of progress lines. Off unless the
    // logging rules enable debug output of kEveryBlockCategory.
    void SetLogEveryBlock(bool on) { logEveryBlock_ = on; }
    static constexpr char kEveryBlockCategory[] = "veltro.upgrade.blocks";

    // Creates the socket bound to hostAddress on the first call, checks the image and sends the
    // write request to the device. False when it stopped before sending (its message box has
    // been shown or, for a device address that names no single host, its log line written) or
    // an upgrade is already running.
    bool Start(const QString& imagePath, uint32_t deviceAddress, uint32_t hostAddress);
    bool IsRunning() const;
    bool IsSocketCreated() const { return socketCreated_; }
    // The exchange on the calling thread, owner of the retry timer; null without a transport.
    TftpTransfer* CallingThreadTransfer() const { return callingThread_.get(); }

    void OnTimer(int timerId) override;

  signals:
    // False when the upgrade starts, true when it ends for any reason.
    void buttonsEnabled(bool enabled);
    // The bytes acknowledged so far: with each block on the calling thread, else with each
    // batch of log lines.
    void progressed(const TftpProgress& progress);
    // The device acknowledged the last block and restarts; sent after buttonsEnabled(true).
    void upgradeFinished();
    // The transfer ended without that, for any reason; sent after buttonsEnabled(true).
    void upgradeFailed();

  private:
    void TakeBatch();
    void OnEnded(bool finished);
    void Log(const QString& text);
    void Inform(const QString& text);

    TimerHost& timers_;
    UserPrompts& prompts_;
    LogSink addLog_;
    // On the calling thread: the given transport and the exchange.
    std::unique_ptr<TftpTransport> transport_;
    std::unique_ptr<TftpTransfer> callingThread_;
    // On its own thread: the socket stays here between upgrades and is the thread's during one.
    std::unique_ptr<TftpSocket> socket_;
    std::unique_ptr<TftpTransferThread> thread_;
    uint16_t serverPort_ = kServerPort;
    int blockSize_ = 0;
    bool socketCreated_ = false;
    bool logEveryBlock_ = false;
    TftpProgress shown_;  // what progressed said last about a transfer on its own thread
};
