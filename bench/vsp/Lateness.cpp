#include "Lateness.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>
#include <chrono>

namespace {

QMouseEvent* MouseMove() {
    const QPointF at(1, 1);
    return new QMouseEvent(QEvent::MouseMove, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
}

}  // namespace

LatenessProbes::LatenessProbes(QWidget* widget) : widget_(widget) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &LatenessProbes::OnTick);
    // Mouse moves without a button reach a widget without mouse tracking only through the
    // application's filters.
    qApp->installEventFilter(this);
}

LatenessProbes::~LatenessProbes() {
    StopPoster();
    delete next_.exchange(nullptr);
    qApp->removeEventFilter(this);
}

void LatenessProbes::Begin() {
    longest_ = {};
    clock_.start();
    lastTickMs_ = 0;
    running_ = true;
    timer_.start();
    stop_ = false;
    delete next_.exchange(MouseMove());
    poster_ = std::thread([this] { Post(); });
}

Lateness LatenessProbes::End() {
    StopPoster();
    timer_.stop();
    running_ = false;
    const qint64 now = clock_.elapsed();
    longest_.timerMs = std::max(longest_.timerMs, now - lastTickMs_ - kPeriodMs);
    QMouseEvent* unsent = next_.exchange(nullptr);
    if (unsent) {
        delete unsent;
    } else {
        longest_.inputMs = std::max(longest_.inputMs, now - postedMs_);
    }
    return longest_;
}

void LatenessProbes::OnTick() {
    const qint64 now = clock_.elapsed();
    longest_.timerMs = std::max(longest_.timerMs, now - lastTickMs_ - kPeriodMs);
    lastTickMs_ = now;
}

void LatenessProbes::Post() {
    while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPeriodMs));
        QMouseEvent* event = next_.exchange(nullptr);
        if (!event) continue;
        postedMs_ = clock_.elapsed();
        QCoreApplication::postEvent(widget_, event);
    }
}

void LatenessProbes::StopPoster() {
    stop_ = true;
    if (poster_.joinable()) poster_.join();
}

bool LatenessProbes::eventFilter(QObject* watched, QEvent* event) {
    if (watched != widget_ || event->type() != QEvent::MouseMove) return false;
    // Events left over from before Begin or after End are only taken out of the way.
    if (running_ && next_.load() == nullptr) {
        longest_.inputMs = std::max(longest_.inputMs, clock_.elapsed() - postedMs_);
        delete next_.exchange(MouseMove());
    }
    return true;
}

void RunUntil(const std::function<bool()>& done, int limitMs) {
    constexpr int kCheckMs = 20;
    QEventLoop loop;
    QTimer check;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= limitMs) loop.quit();
    });
    check.start(kCheckMs);
    loop.exec();
}
