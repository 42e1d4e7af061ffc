// terminal_bench flood [MiB] [capture]: a flood into an open terminal (the view with its log)
//   against a bare QSerialPort reader that discards, both on the same socat pseudo-terminal pair
//   in this run; prints both throughputs, their ratio and the longest lateness of a 10 ms timer.
//   With "capture" the terminal also captures to a file, which must equal what was sent.
// terminal_bench echo [seconds]: Echo on, the peer sends lines at 92,160 bytes/s (921600 baud)
//   and checks that every byte comes back unaltered; prints the bytes lost.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>

#include "platform/QtTimerHost.h"
#include "platform/ScriptedPrompts.h"
#include "terminal/widgets/TerminalPanel.h"
#include "terminal/widgets/ViewTerminal.h"

namespace {

constexpr int kProbePeriodMs = 10;
constexpr int kLineBytes = 80;
constexpr qint64 kEchoBytesPerSecond = 92160;
constexpr int kPaceStepMs = 10;

class BenchFrame final : public TerminalFrame {
  public:
    QtTimerHost timers;
    ScriptedPrompts prompts;
    void AddLog(const QString&) override {}
    TimerHost& Timers() override { return timers; }
    QTime CurrentTime() const override { return QTime::currentTime(); }
    UserPrompts& Prompts() override { return prompts; }
    TerminalSettingsPair TerminalSettingsValues() const override { return {}; }
    void SetTerminalSettings(const TerminalSettingsPair&) override {}
    bool IsVirtualComPort(const QString&) const override { return true; }
    void AskHeldComPorts(std::function<void(const QSet<QString>&)> answer) override { answer({}); }
};

// socat's pair: COM1 in the COM directory, the peer end opened blocking for the threads.
struct Pair {
    QTemporaryDir dir;
    QProcess socat;
    int peer = -1;

    Pair() {
        qputenv("VELTRO_COM_DIR", dir.path().toLocal8Bit());
        const QString com = dir.filePath("COM1");
        const QString peerLink = dir.filePath("peer");
        socat.start("socat",
                    {"PTY,link=" + com + ",raw,echo=0", "PTY,link=" + peerLink + ",raw,echo=0"});
        socat.waitForStarted();
        QElapsedTimer waited;
        waited.start();
        while ((!QFileInfo::exists(com) || !QFileInfo::exists(peerLink)) &&
               waited.elapsed() < 10000)
            QThread::msleep(5);
        peer = ::open(QFile::encodeName(peerLink).constData(), O_RDWR | O_NOCTTY);
    }
    ~Pair() {
        ::close(peer);
        socat.kill();
        socat.waitForFinished();
    }
};

QByteArray Lines(qint64 size, int seed) {
    QByteArray out;
    out.reserve(size);
    for (int i = 0; out.size() < size; ++i)
        out += QByteArray::number(seed * 1000003LL + i).rightJustified(kLineBytes - 1, '.') + '\n';
    out.truncate(size);
    return out;
}

void WriteAll(int fd, QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0) return;
        done += n;
    }
}

// CPU time of the calling thread in ms.
qint64 ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// The longest lateness of a 10 ms timer while the event loop runs, and the most CPU time the
// user-interface thread spent between two ticks (on a busy machine the lateness also counts
// the time the thread waited for a core).
struct StallProbe {
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 lastCpu = ThreadCpuMs();
    qint64 worst = 0;
    qint64 worstCpu = 0;
    QTimer timer;
    StallProbe() {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            const qint64 cpu = ThreadCpuMs();
            worst = std::max(worst, now - last - kProbePeriodMs);
            worstCpu = std::max(worstCpu, cpu - lastCpu);
            last = now;
            lastCpu = cpu;
        });
        clock.start();
        timer.start(kProbePeriodMs);
    }
};

struct FloodResult {
    double mbPerSecond;
    qint64 stallMs;
    qint64 cpuBetweenTicksMs;
};

// Floods the pair and runs the loop until `received` reaches the size.
FloodResult Flood(Pair& pair, qint64 size, const qint64& received) {
    const QByteArray data = Lines(size, 1);
    StallProbe probe;
    QElapsedTimer elapsed;
    elapsed.start();
    std::thread writer([&] { WriteAll(pair.peer, data); });
    while (received < size && elapsed.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    const double seconds = elapsed.nsecsElapsed() / 1e9;
    writer.join();
    return {size / seconds / 1e6, probe.worst, probe.worstCpu};
}

int RunFlood(qint64 mib, bool capture) {
    const qint64 size = mib * 1024 * 1024;
    FloodResult bare{};
    {
        Pair pair;
        QSerialPort port(pair.dir.filePath("COM1"));
        port.setBaudRate(115200);
        if (!port.open(QIODevice::ReadWrite)) return 1;
        qint64 received = 0;
        QObject::connect(&port, &QSerialPort::readyRead,
                         [&] { received += port.readAll().size(); });
        bare = Flood(pair, size, received);
    }
    Pair pair;
    BenchFrame frame;
    CViewTerminal view(frame);
    view.resize(1000, 400);
    view.InitialUpdate();
    if (!qEnvironmentVariableIsSet("BENCH_HIDDEN")) view.show();
    TerminalPanel& panel = view.Panel(0);
    panel.List(TermList::kBaudRate)->setCurrentIndex(7);
    panel.OpenButton()->click();
    if (!panel.Controller().IsOpen()) return 1;
    qint64 received = 0;
    QObject::connect(&panel.Controller(), &TerminalController::logInserted,
                     [&](const QByteArray& text, term::LogKind kind) {
                         if (kind == term::LogKind::kData) received += text.size();
                     });
    QTemporaryDir captureDir;
    const QString capturePath = captureDir.filePath("capture.bin");
    QString error;
    if (capture && !panel.Controller().StartCapture(capturePath, &error)) return 1;
    const FloodResult t = Flood(pair, size, received);
    if (capture) {
        panel.Controller().StopCapture();
        QFile file(capturePath);
        const bool equal = file.open(QIODevice::ReadOnly) && file.readAll() == Lines(size, 1);
        std::printf("capture: %lld bytes in the file, %s to what was sent\n",
                    static_cast<long long>(QFileInfo(capturePath).size()),
                    equal ? "equal" : "NOT equal");
    }
    std::printf(
        "flood %lld MiB: terminal %.1f MB/s, bare QSerialPort reader %.1f MB/s, ratio %.2f\n",
        static_cast<long long>(mib), t.mbPerSecond, bare.mbPerSecond,
        t.mbPerSecond / bare.mbPerSecond);
    std::printf(
        "longest lateness of a 10 ms timer: terminal %lld ms (target <= 50), bare %lld ms\n",
        static_cast<long long>(t.stallMs), static_cast<long long>(bare.stallMs));
    std::printf("most UI-thread CPU between two ticks: terminal %lld ms, bare %lld ms\n",
                static_cast<long long>(t.cpuBetweenTicksMs),
                static_cast<long long>(bare.cpuBetweenTicksMs));
    return 0;
}

int RunEcho(int seconds) {
    Pair pair;
    BenchFrame frame;
    CViewTerminal view(frame);
    view.show();
    TerminalPanel& panel = view.Panel(0);
    TerminalPanel::SelectStored(panel.List(TermList::kBaudRate), 8);  // 921600
    panel.OpenButton()->click();
    if (!panel.Controller().IsOpen()) return 1;
    panel.EchoBox()->click();

    const qint64 total = kEchoBytesPerSecond * seconds;
    const QByteArray data = Lines(total, 2);
    std::atomic<qint64> back{0};
    std::atomic<bool> stop{false};
    QCryptographicHash backHash(QCryptographicHash::Sha256);
    std::thread reader([&] {
        char buffer[65536];
        while (!stop) {
            pollfd p{pair.peer, POLLIN, 0};
            if (::poll(&p, 1, kPaceStepMs) <= 0) continue;
            const ssize_t n = ::read(pair.peer, buffer, sizeof buffer);
            if (n <= 0) break;
            backHash.addData(QByteArrayView(buffer, n));
            back += n;
        }
    });
    std::thread writer([&] {
        const qint64 step = kEchoBytesPerSecond * kPaceStepMs / 1000;
        QElapsedTimer clock;
        clock.start();
        for (qint64 sent = 0; sent < total; sent += step) {
            while (clock.elapsed() < sent * 1000 / kEchoBytesPerSecond) QThread::usleep(500);
            WriteAll(pair.peer, QByteArrayView(data).sliced(sent, std::min(step, total - sent)));
        }
    });
    QElapsedTimer elapsed;
    elapsed.start();
    // Runs until every byte is back or nothing has come for three seconds after the end.
    qint64 lastBack = -1;
    QElapsedTimer quiet;
    quiet.start();
    while (back < total) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (back != lastBack) {
            lastBack = back;
            quiet.restart();
        }
        if (elapsed.elapsed() > seconds * 1000 && quiet.elapsed() > 3000) break;
    }
    writer.join();
    stop = true;
    reader.join();
    const qint64 got = back;
    const bool same = got == total && backHash.result() == QCryptographicHash::hash(
                                                               data, QCryptographicHash::Sha256);
    std::printf("echo %d s at %lld bytes/s: sent %lld, back %lld, bytes lost %lld (target 0), %s\n",
                seconds, static_cast<long long>(kEchoBytesPerSecond), static_cast<long long>(total),
                static_cast<long long>(got), static_cast<long long>(total - got),
                same ? "hash equal" : "hash differs");
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("flood");
    if (mode == "flood")
        return RunFlood(argc > 2 ? std::atoi(argv[2]) : 64,
                        argc > 3 && QByteArray(argv[3]) == "capture");
    if (mode == "echo") return RunEcho(argc > 2 ? std::atoi(argv[2]) : 30);
    std::fprintf(stderr, "usage: terminal_bench flood [MiB] [capture] | echo [seconds]\n");
    return 2;
}
