// Renders the main window offscreen to a PNG: the program as a user sees it a few seconds
// after start-up, for the README. Run by scripts/screenshot inside a private namespace.
// A third argument picks another view: "vsp" shows the virtual serial port view; "monitor"
// ticks every device found and runs the device monitor.
#include <QApplication>
#include <QDir>
#include <QTimer>

#include "app/widgets/OrvinApp.h"
#include "devmgr/widgets/ViewDm.h"
#include "monitor/widgets/ViewMonitor.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/ScriptedPrompts.h"
#include "vsp/VspDriverQueries.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: %s OUTPUT.png DELAY_MS [vsp|monitor]\n", argv[0]);
        return 2;
    }
    ScriptedPrompts prompts;  // nothing may block the capture
    QtTimerHost timers;
    LinuxNetInterfaces net;
    FakeVspDriverQueries vsp;
    COrvinApp app({prompts, timers, net, vsp, QDir::currentPath(),
                   [](const QStringList&, int) { return 0; }});
    CMainFrame* frame = app.InitInstance();
    if (!frame) return 1;
    frame->showNormal();
    frame->resize(1100, 760);
    frame->DeviceManager().Controller().OnSearch();
    constexpr int kSearchMs = 1500;
    if (argc > 3 && QByteArray(argv[3]) == "monitor") {
        QTimer::singleShot(kSearchMs, [frame] {
            DmController& dm = frame->DeviceManager().Controller();
            for (int row = 0; row < dm.Table().Count(); ++row) dm.SetRowChecked(row, true);
            frame->ShowFunctionView(kFunctionMonitor);
            frame->Monitor().Controller().OnStartStop();
        });
    }
    if (argc > 3 && QByteArray(argv[3]) == "vsp") frame->ShowFunctionView(kFunctionVsp);
    const QString output = QString::fromLocal8Bit(argv[1]);
    QTimer::singleShot(atoi(argv[2]), [&] {
        const bool saved = frame->grab().save(output);
        application.exit(saved ? 0 : 1);
    });
    return application.exec();
}
