#include "app/AppPaths.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kInstalledData = QStringLiteral("../share/veltro");
const QString kConfigFolder = QStringLiteral("veltro");

bool HoldsDriverPackage(const QString& dir) {
    return QFileInfo::exists(QDir(dir).filePath(kDriverPackageName));
}

}  // namespace

AppPaths ChooseAppPaths(const QString& workDir, const QString& programDir,
                        const QString& configHome) {
    if (HoldsDriverPackage(workDir)) return {workDir, workDir, false};
    const QString installed = QDir::cleanPath(QDir(programDir).filePath(kInstalledData));
    if (!HoldsDriverPackage(installed)) return {workDir, workDir, false};
    const QString config = QDir(configHome).filePath(kConfigFolder);
    QDir().mkpath(config);
    return {installed, config, true};
}

QString ConfigHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return xdg.isEmpty() ? QDir::home().filePath(QStringLiteral(".config")) : xdg;
}
