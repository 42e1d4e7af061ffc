#pragma once

#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/DeadlineTimerHost.h"
#include "upgrade/TftpTransfer.h"

class TftpSocket;

// Runs one transfer on a thread of its own that owns the socket meanwhile and blocks in its
// receive, bounded by the retry timer. Between an acknowledgement and the next block there is
// then no event-loop pass, and whatever the owner's thread does with the log lines stays off
// that path. The lines wait until the owner takes them, on a timer of its own; the thread
// wakes it only when the transfer has ended.
class TftpTransferThread final {
  public:
    struct Batch {
        QStringList lines;
        TftpProgress progress;      // as it stands when taken
        std::optional<bool> ended;  // set by the last batch: whether the upgrade finished
    };
    // Called once on the transfer's thread; it must only schedule a Take on the owner's thread.
    using Wake = std::function<void()>;

    // Takes the socket, drops what was queued on it, sends the write request and runs the
    // transfer. Null, with the socket left where it was, when no thread could be made.
    static std::unique_ptr<TftpTransferThread> Start(std::unique_ptr<TftpSocket>& socket,
                                                     TftpTransfer::Job job, Wake wake);
    // Stops the transfer if it still runs; the socket goes with it then.
    ~TftpTransferThread();

    // The lines logged since the last call, and the end once it came; on the owner's thread.
    Batch Take();
    // After the last batch: joins the thread and hands the socket back.
    std::unique_ptr<TftpSocket> Join();

  private:
    TftpTransferThread(std::unique_ptr<TftpSocket> socket, Wake wake);
    void Run(TftpTransfer::Job job);
    void AddLine(QString line);
    void Finish(bool finished);

    std::unique_ptr<TftpSocket> socket_;
    Wake wake_;
    DeadlineTimerHost timers_;
    TftpTransfer transfer_;
    std::atomic<bool> stopping_ = false;

    std::mutex mutex_;
    Batch pending_;          // guarded by mutex_
    TftpProgress progress_;  // guarded by mutex_

    std::thread thread_;
};
