#pragma once

#include <QObject>
#include <QString>
#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>

#include "platform/TimerHost.h"

class CVspDriver;
class VspInstallService;
class VspFrame;
struct VspServiceWorker;

// A flow of the port view that waits on the service: a coroutine that runs on the
// user-interface thread, is suspended while a request is away and is resumed by its answer.
struct VspTask {
    struct promise_type {
        VspTask get_return_object() noexcept { return {}; }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { std::terminate(); }
    };
};

// What a request may use on the worker thread: blocking clients of the service's own.
struct VspServiceTools {
    CVspDriver& driver;
    VspInstallService& installer;
};

// The port view's requests to veltro-vspd. They run one after another on a worker thread of
// their own, so that the window never waits on the control socket; each answer resumes its
// flow on the user-interface thread. A request still unanswered after kAnswerMs is late: the
// service is slow, which is not gone.
class VspService final : public QObject, public TimerClient {
    Q_OBJECT
  public:
    static constexpr int kAnswerTimer = 8;
    static constexpr int kAnswerMs = 2000;

    explicit VspService(VspFrame& frame, QObject* parent = nullptr);
    // Flows still waiting end here; a request under way finishes on its own and is dropped.
    ~VspService() override;

    template <typename R>
    class Answer {
      public:
        Answer(VspService& service, std::function<R(VspServiceTools&)> job)
            : service_(service), job_(std::move(job)) {}
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter) {
            service_.Run([job = std::move(job_), result = result_](
                             VspServiceTools& tools) { result->emplace(job(tools)); },
                         waiter);
        }
        R await_resume() { return std::move(**result_); }

      private:
        VspService& service_;
        std::function<R(VspServiceTools&)> job_;
        std::shared_ptr<std::optional<R>> result_ = std::make_shared<std::optional<R>>();
    };

    // `co_await Ask(job)`: runs job(tools) on the worker and gives its result.
    template <typename Job>
    auto Ask(Job job) {
        using R = std::invoke_result_t<Job, VspServiceTools&>;
        return Answer<R>(*this, std::function<R(VspServiceTools&)>(std::move(job)));
    }

    // Requests sent and not yet answered.
    int Pending() const { return int(waiting_.size()); }

    void OnTimer(int timerId) override;

  signals:
    // A request has waited kAnswerMs for its answer.
    void late();

  private:
    friend struct VspServiceWorker;
    void Run(std::function<void(VspServiceTools&)> job, std::coroutine_handle<> waiter);
    void Answered(uint64_t id);

    VspFrame& frame_;
    std::shared_ptr<VspServiceWorker> worker_;
    std::map<uint64_t, std::coroutine_handle<>> waiting_;
    uint64_t nextId_ = 0;
};
