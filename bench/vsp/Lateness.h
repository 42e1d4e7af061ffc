#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

class QMouseEvent;
class QWidget;

// The longest lateness, in milliseconds, of what the user-interface thread should have
// handled during a stretch of work.
struct Lateness {
    qint64 timerMs = 0;  // of a 10 ms QTimer's tick
    qint64 inputMs = 0;  // of a posted mouse event, from posting to delivery
};

// Watches the user-interface thread between Begin and End: a 10 ms timer on it, and a thread
// of its own that posts one mouse move at a time to the widget, 10 ms after the last one
// arrived, as a user's input comes in whatever the thread is doing. What is still due at
// End counts with its lateness so far.
class LatenessProbes final : public QObject {
  public:
    static constexpr int kPeriodMs = 10;

    explicit LatenessProbes(QWidget* widget);
    ~LatenessProbes() override;

    void Begin();
    Lateness End();

  private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void OnTick();
    void Post();
    void StopPoster();

    QWidget* widget_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool running_ = false;
    qint64 lastTickMs_ = 0;
    Lateness longest_;
    // The next event to post, made on this thread (an event's device is not for other
    // threads); null while one is on its way.
    std::atomic<QMouseEvent*> next_{nullptr};
    std::atomic<qint64> postedMs_{0};
    std::atomic<bool> stop_{false};
    std::thread poster_;
};

// Runs the event loop until done() holds or the limit has passed.
void RunUntil(const std::function<bool()>& done, int limitMs);
