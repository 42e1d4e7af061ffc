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

// Qt's own options, as its application classes document them, with or without a second dash;
// those that take a value take the next argument or "=value".
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},      {"platformpluginpath", true},
    {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true},
    {"qwindowicon", true},   {"qwindowtitle", true},
    {"session", true},       {"display", true},
    {"geometry", true},      {"style", true},
    {"stylesheet", true},    {"reverse", false},
    {"widgetcount", false},  {"nograb", false},
    {"dograb", false},
};

// The Qt option an argument names, or null.
const QtOption* QtOptionOf(const char* argument) {
    if (argument[0] != '-') return nullptr;
    const char* name = argument + (argument[1] == '-' ? 2 : 1);
    const size_t length = std::strcspn(name, "=");
    for (const QtOption& option : kQtOptions)
        if (std::strlen(option.name) == length && !std::strncmp(name, option.name, length) &&
            (name[length] == '\0' || option.takesValue))
            return &option;
    return nullptr;
}

// --help, --version and a wrong option are answered before anything needs a display; nullopt
// lets the program start.
std::optional<int> AnswerOptions(int argc, char** argv) {
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
    for (int i = 1; i < argc; ++i) {
        const QtOption* option = QtOptionOf(argv[i]);
        if (!option) {
            std::fprintf(stderr, "veltro: unknown option \"%s\" (see veltro --help)\n", argv[i]);
            return 2;
        }
        if (option->takesValue && !std::strchr(argv[i], '=')) {
            if (++i == argc) {
                std::fprintf(stderr, "veltro: option \"%s\" needs a value\n", argv[i - 1]);
                return 2;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> exitCode = AnswerOptions(argc, argv)) return *exitCode;
    QApplication application(argc, argv);
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
