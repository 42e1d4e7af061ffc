#include <QApplication>
#include <QDir>

#include "app/widgets/OrvinApp.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/QtUserPrompts.h"
#include "vsp/VspDriver.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QtUserPrompts prompts;
    QtTimerHost timers;
    LinuxNetInterfaces net;
    // The driver reads the host address from the frame, which the application builds later.
    COrvinApp* appObject = nullptr;
    CVspDriver vsp(prompts, [&appObject] {
        const CMainFrame* frame = appObject ? appObject->Frame() : nullptr;
        return frame ? frame->HostAddress() : QString();
    });
    COrvinApp app({prompts, timers, net, vsp, QDir::currentPath()});
    appObject = &app;
    CMainFrame* frame = app.InitInstance();
    if (!frame) return 1;
    prompts.SetParent(frame);
    return application.exec();
}
