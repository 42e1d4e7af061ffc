// veltro-devsim: simulated VTM5800x devices on loopback addresses, logging to stdout.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <cstdio>

#include "platform/QtTimerHost.h"
#include "tools/devsim/DeviceSimulator.h"
#include "tools/devsim/SimCommandLine.h"

namespace {

std::optional<QStringList> ReadLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    return QString::fromUtf8(file.readAll()).split('\n');
}

void Print(const QString& text) {
    const QByteArray line =
        QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")).toUtf8() +
        text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

// Each device holds three sockets; many devices need more descriptors than the soft limit.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const devsim::CommandLine cl = devsim::ParseCommandLine(app.arguments().mid(1), ReadLines);
    if (cl.help) {
        std::fputs(cl.helpText.toUtf8().constData(), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("veltro-devsim %s\n", VELTRO_VERSION);
        return 0;
    }
    if (!cl.error.isEmpty()) {
        std::fprintf(stderr, "veltro-devsim: %s (see veltro-devsim --help)\n",
                     cl.error.toUtf8().constData());
        return 2;
    }
    RaiseDescriptorLimit();

    QtTimerHost timers;
    devsim::SimulatorOptions options = cl.simulator;
    options.recordTraffic = false;
    devsim::DeviceSimulator simulator(timers, {}, options);
    simulator.SetLog(Print);
    if (!simulator.Start()) {
        std::fprintf(stderr, "veltro-devsim: cannot listen on UDP port %u\n",
                     cl.simulator.managementPort);
        return 1;
    }
    for (const devsim::DeviceProfile& profile : cl.profiles) {
        if (!simulator.AddDevice(profile)) {
            std::fprintf(stderr, "veltro-devsim: cannot open device %d\n", simulator.Count() + 1);
            return 1;
        }
    }
    Print(QStringLiteral("%1 devices ready").arg(simulator.Count()));
    if (cl.quiet) simulator.SetLog({});
    return app.exec();
}
