#include "vsp/VspService.h"

#include <QMetaObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/ScriptedPrompts.h"
#include "vsp/VspDriver.h"
#include "vsp/VspFrame.h"
#include "vsp/VspInstallService.h"

// Shared with the worker thread, which may outlive the view while a request blocks in the
// service: it then finishes that request and leaves without reporting.
struct VspServiceWorker {
    struct Item {
        std::function<void(VspServiceTools&)> job;
        QString hostAddress;  // as the window had it when the request was made
        uint64_t id = 0;
    };

    explicit VspServiceWorker(const QString& socketPath)
        : driver(
              prompts, [this] { return hostAddress; }, socketPath),
          installer(socketPath) {}

    void Loop() {
        VspServiceTools tools{driver, installer};
        for (;;) {
            Item item;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stop || !queue.empty(); });
                if (stop) return;
                item = std::move(queue.front());
                queue.pop_front();
            }
            hostAddress = item.hostAddress;
            item.job(tools);
            std::lock_guard lock(mutex);
            if (!owner) return;
            QMetaObject::invokeMethod(
                owner, [owner = owner, id = item.id] { owner->Answered(id); },
                Qt::QueuedConnection);
        }
    }

    ScriptedPrompts prompts;  // the worker's driver never asks the user anything
    QString hostAddress;
    CVspDriver driver;
    CVspInstallService installer;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Item> queue;
    bool stop = false;
    VspService* owner = nullptr;
};

VspService::VspService(VspFrame& frame, QObject* parent)
    : QObject(parent),
      frame_(frame),
      worker_(std::make_shared<VspServiceWorker>(frame.VspDriver().SocketPath())) {
    worker_->owner = this;
    std::thread([worker = worker_] { worker->Loop(); }).detach();
}

VspService::~VspService() {
    frame_.Timers().KillAll(this);
    {
        std::lock_guard lock(worker_->mutex);
        worker_->owner = nullptr;
        worker_->stop = true;
        worker_->queue.clear();
    }
    worker_->wake.notify_all();
    for (auto& [id, waiter] : waiting_) waiter.destroy();
}

void VspService::Run(std::function<void(VspServiceTools&)> job, std::coroutine_handle<> waiter) {
    const uint64_t id = ++nextId_;
    if (waiting_.empty()) frame_.Timers().SetTimer(this, kAnswerTimer, kAnswerMs);
    waiting_[id] = waiter;
    {
        std::lock_guard lock(worker_->mutex);
        worker_->queue.push_back({std::move(job), frame_.HostAddress(), id});
    }
    worker_->wake.notify_one();
}

void VspService::Answered(uint64_t id) {
    const auto it = waiting_.find(id);
    if (it == waiting_.end()) return;
    const std::coroutine_handle<> waiter = it->second;
    waiting_.erase(it);
    // The next request in the queue gets a deadline of its own.
    if (waiting_.empty()) {
        frame_.Timers().KillTimer(this, kAnswerTimer);
    } else {
        frame_.Timers().SetTimer(this, kAnswerTimer, kAnswerMs);
    }
    waiter.resume();
}

void VspService::OnTimer(int timerId) {
    if (timerId != kAnswerTimer) return;
    frame_.Timers().KillTimer(this, kAnswerTimer);
    if (!waiting_.empty()) emit late();
}
