#include <QApplication>
#include <QDir>

#include "app/widgets/OrvinApp.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/QtUserPrompts.h"
#include "vsp/VspDriverQueries.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QtUserPrompts prompts;
    QtTimerHost timers;
    LinuxNetInterfaces net;
    FakeVspDriverQueries vsp;
    COrvinApp app({prompts, timers, net, vsp, QDir::currentPath()});
    CMainFrame* frame = app.InitInstance();
    if (!frame) return 1;
    prompts.SetParent(frame);
    return application.exec();
}
