#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The installed program's port service runs as a systemd user unit. When nothing answers on
// its control socket at start-up, the program starts the unit; where there is no user session
// to start it in (a plain login, a container), it runs veltro-vspd as a child of its own that
// ends when the program ends. Either way it waits a few seconds at most.
class PortServiceStarter {
  public:
    static constexpr int kStartDeadlineMs = 5000;
    static constexpr int kProbeMs = 50;

    struct Programs {
        QString systemctl = QStringLiteral("systemctl");
        QString vspd;            // veltro-vspd, beside the program
        QStringList vspdArgs{};  // the service's own options, for tests
    };

    // Ends the child service, if this starter started one.
    ~PortServiceStarter();

    // What was done, for the system log; empty when the service answered already.
    QString EnsureRunning(const QString& socketPath, const Programs& programs);
    bool RunsChild() const { return child_.state() != QProcess::NotRunning; }

  private:
    bool StartUnit(const Programs& programs);
    bool StartChild(const Programs& programs);

    QProcess child_;
};
