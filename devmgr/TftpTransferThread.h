#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "devmgr/TftpTransfer.h"
#include "platform/DeadlineTimerHost.h"

class TftpSocket;

// Runs one transfer on a thread of its own that waits on the socket and the retry timer
// directly. Between an acknowledgement and the next block there is then no event-loop pass,
// and whatever the owner's thread does with the log lines stays off that path. The lines are
// handed over in batches: the thread calls wake when a batch is ready, once until the owner
// takes it.
class TftpTransferThread final : public TimerClient {
  public:
    static constexpr int kBatchTimerId = 1;
    // How long a log line may wait for the lines after it before the owner is woken.
    static constexpr int kBatchPeriodMs = 20;

    struct Batch {
        QStringList lines;
        std::optional<bool> ended;  // set by the last batch: whether the upgrade finished
    };
    // Called on the transfer's thread; it must only schedule a Take on the owner's thread.
    using Wake = std::function<void()>;

    // The socket is the thread's until the thread object is destroyed; what was queued on it
    // before is dropped, then the write request goes out. Null when no thread could be made.
    static std::unique_ptr<TftpTransferThread> Start(TftpSocket& socket, TftpTransfer::Job job,
                                                     Wake wake);
    // Stops the transfer wherever it stands and joins the thread.
    ~TftpTransferThread() override;

    // The lines logged since the last call, and the end once it came; on the owner's thread.
    Batch Take();

    void OnTimer(int timerId) override;

  private:
    TftpTransferThread(TftpSocket& socket, Wake wake);
    void Run(TftpTransfer::Job job);
    void AddLine(QString line);
    void Finish(bool finished);
    void WakeOwner(std::unique_lock<std::mutex>& lock);

    TftpSocket& socket_;
    Wake wake_;
    DeadlineTimerHost timers_;
    TftpTransfer transfer_;
    int stopFd_ = -1;  // an eventfd: a stop written before the thread waits is still seen
    bool batchTimerArmed_ = false;  // transfer thread only

    std::mutex mutex_;
    Batch pending_;       // guarded by mutex_
    bool woken_ = false;  // guarded by mutex_: wake called, batch not taken yet

    std::thread thread_;
};
