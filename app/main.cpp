#include <QApplication>
#include <QDir>

#include "app/AppPaths.h"
#include "app/PortServiceUnit.h"
#include "app/widgets/OrvinApp.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/QtUserPrompts.h"
#include "vsp/VspDriver.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
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
    return application.exec();
}
