#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/AppPaths.h"
#include "app/PortServiceUnit.h"
#include "app/SingleInstance.h"
#include "app/widgets/OrvinApp.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/QtUserPrompts.h"
#include "vsp/VspDriver.h"

namespace {

const char* const kUsage =
    "Usage: veltro [Qt options]\n"
    "The configuration and test utility for VTM5800x device servers.\n\n"
    "  -h, --help  Show this help.\n"
    "  --version   Show the version.\n\n"
    "Qt's own options (-platform NAME, -style NAME ...) are taken as Qt documents them.\n";

// --help and --version answer without a display; nullopt lets the program start.
std::optional<int> AnswerInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("veltro %s\n", VELTRO_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> exitCode = AnswerInfoOption(argc, argv)) return *exitCode;
    QApplication application(argc, argv);
    // Qt has taken its own options; whatever is left is not the program's.
    if (const QStringList rest = application.arguments().mid(1); !rest.isEmpty()) {
        std::fprintf(stderr, "veltro: unknown option \"%s\" (see veltro --help)\n",
                     rest.constFirst().toLocal8Bit().constData());
        return 2;
    }
    SingleInstance instance;
    if (!instance.Claim()) {
        std::fputs("veltro: already running; its window is brought to the front\n", stderr);
        return 0;
    }
    const AppPaths paths =
        ChooseAppPaths(QDir::currentPath(), QCoreApplication::applicationDirPath(), ConfigHome());
    PortServiceStarter service;
    QString serviceNote;
    if (paths.installed) {
        PortServiceStarter::Programs programs;
        programs.vspd = QDir(QCoreApplication::applicationDirPath()).filePath("veltro-vspd");
        serviceNote = service.EnsureRunning(CVspDriver::DefaultSocketPath(), programs);
    }
    QtUserPrompts prompts;
    QtTimerHost timers;
    LinuxNetInterfaces net;
    // The driver reads the host address from the frame, which the application builds later.
    COrvinApp* appObject = nullptr;
    CVspDriver vsp(prompts, [&appObject] {
        const CMainFrame* frame = appObject ? appObject->Frame() : nullptr;
        return frame ? frame->HostAddress() : QString();
    });
    COrvinApp app({prompts, timers, net, vsp, paths.configDir, {}, paths.dataDir});
    appObject = &app;
    CMainFrame* frame = app.InitInstance();
    if (!frame) return 1;
    if (!serviceNote.isEmpty()) frame->AddLog(serviceNote);
    prompts.SetParent(frame);
    QObject::connect(&instance, &SingleInstance::raiseRequested, frame, [frame] {
        frame->showNormal();
        frame->raise();
        frame->activateWindow();
    });
    return application.exec();
}
