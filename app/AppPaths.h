#pragma once

#include <QString>

inline const QString kDriverPackageName = QStringLiteral("TUNLDRV.inf");

// Where the program finds the files it looks for (driver package, title, icon, help) and
// where it keeps its own (VELTRO.dat, vsp.dat).
struct AppPaths {
    QString dataDir;
    QString configDir;
    // True when the installed data folder is used: the port service is then a user unit.
    bool installed = false;
};

// The working directory when it holds the driver package, as when run from a prepared
// folder; otherwise, when the installed data folder beside the program (../share/veltro)
// holds it, that folder with the user's configuration folder (configHome/veltro); otherwise
// the working directory, where start-up then reports the missing package.
AppPaths ChooseAppPaths(const QString& workDir, const QString& programDir,
                        const QString& configHome);

// $XDG_CONFIG_HOME, or ~/.config.
QString ConfigHome();
