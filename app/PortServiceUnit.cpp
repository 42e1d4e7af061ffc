#include "app/PortServiceUnit.h"

#include <QProcess>
#include <QStringList>

#include "vspd/ControlClient.h"
#include "vspd/VspdPaths.h"

namespace {

constexpr int kStartDeadlineMs = 5000;

}  // namespace

void StartPortServiceUnitIfNeeded() {
    vspd::ControlClient probe(vspd::DefaultSocketPath());
    if (probe.Connect()) return;
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"), {QStringLiteral("--user"), QStringLiteral("start"),
                                                  QStringLiteral("veltro-vspd.service")});
    if (!systemctl.waitForFinished(kStartDeadlineMs)) systemctl.kill();
}
