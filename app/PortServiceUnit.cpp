#include "app/PortServiceUnit.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QElapsedTimer>
#include <QThread>

#include "vspd/ControlClient.h"

namespace {

bool Answers(const QString& socketPath) {
    vspd::ControlClient probe(socketPath.toStdString());
    return probe.Connect();
}

// Probes the socket until it answers or the deadline passes.
bool AnswersWithin(const QString& socketPath, int deadlineMs) {
    QElapsedTimer waited;
    waited.start();
    while (!Answers(socketPath)) {
        if (waited.elapsed() >= deadlineMs) return false;
        QThread::msleep(PortServiceStarter::kProbeMs);
    }
    return true;
}

}  // namespace

PortServiceStarter::~PortServiceStarter() {
    if (!RunsChild()) return;
    child_.terminate();
    if (!child_.waitForFinished(kStartDeadlineMs)) child_.kill();
}

QString PortServiceStarter::EnsureRunning(const QString& socketPath, const Programs& programs) {
    if (Answers(socketPath)) return {};
    if (StartUnit(programs) && AnswersWithin(socketPath, kStartDeadlineMs))
        return QStringLiteral(
            "Started the virtual serial port service (systemd user unit "
            "veltro-vspd).");
    if (StartChild(programs) && AnswersWithin(socketPath, kStartDeadlineMs))
        return QStringLiteral(
                   "No systemd user session: the virtual serial port service runs as "
                   "this program's child (veltro-vspd, process %1) and ends with it.")
            .arg(child_.processId());
    return QStringLiteral(
        "The virtual serial port service could not be started: run "
        "\"veltro-vspd\", then start this program again.");
}

bool PortServiceStarter::StartUnit(const Programs& programs) {
    QProcess systemctl;
    systemctl.start(programs.systemctl, {QStringLiteral("--user"), QStringLiteral("start"),
                                         QStringLiteral("veltro-vspd.service")});
    if (!systemctl.waitForFinished(kStartDeadlineMs)) {
        systemctl.kill();
        systemctl.waitForFinished();
        return false;
    }
    return systemctl.exitStatus() == QProcess::NormalExit && systemctl.exitCode() == 0;
}

bool PortServiceStarter::StartChild(const Programs& programs) {
    // The child goes with the program, also when the program dies without a word.
    child_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    child_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child_.setStandardOutputFile(QProcess::nullDevice());
    child_.start(programs.vspd, programs.vspdArgs);
    return child_.waitForStarted(kStartDeadlineMs);
}
