// Renders the main window offscreen to a PNG: the program as a user sees it a few seconds
// after start-up, for the README. Run by scripts/screenshot inside a private namespace.
// A third argument picks another view: "vsp" shows the virtual serial port view; "monitor"
// ticks every device found and runs the device monitor; "terminal COMn" opens the port in
// terminal 1 with the Hex and Time boxes ticked and types a line into it, which the simulated
// device sends back (the window is wider then, so that the hex lines fit). VELTRO_SHOT_SIZE=WxH
// sets the window's size instead.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/widgets/OrvinApp.h"
#include "devmgr/widgets/ViewDm.h"
#include "monitor/widgets/ViewMonitor.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/ScriptedPrompts.h"
#include "terminal/widgets/TerminalLog.h"
#include "terminal/widgets/TerminalPanel.h"
#include "terminal/widgets/ViewTerminal.h"
#include "tests/support/FakeVspDriverQueries.h"

namespace {

constexpr int kWidth = 1100;
constexpr int kHeight = 760;
constexpr int kTerminalWidth = 1440;
constexpr int kTerminalHeight = 800;
constexpr int kSecondLineMs = 400;

// Keys typed into a terminal's log, which sends them to its port.
void Type(TerminalPanel& panel, const QByteArray& keys) {
    for (const char c : keys) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(c)));
        QCoreApplication::sendEvent(panel.Log(), &key);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: %s OUTPUT.png DELAY_MS [vsp|monitor|terminal COMn]\n", argv[0]);
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
    frame->resize(kWidth, kHeight);
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
    if (argc > 4 && QByteArray(argv[3]) == "terminal") {
        const QString port = QString::fromLocal8Bit(argv[4]);
        frame->resize(kTerminalWidth, kTerminalHeight);
        QTimer::singleShot(kSearchMs, [frame, port] {
            frame->Navigation().Button(CViewMenu::kVirtualSerialPortId)->click();
            frame->Navigation().TerminalButton()->click();
            TerminalPanel& panel = frame->Terminal().Panel(0);
            panel.HexBox()->click();
            panel.TimeBox()->click();
            panel.List(TermList::kPort)->setCurrentText(port);
            panel.OpenButton()->click();
            Type(panel, "Hello-VELTRO\r");
            QTimer::singleShot(kSecondLineMs,
                               [&panel] { Type(panel, "AT+VER?;AT+MAC?;AT+IP?\r"); });
        });
    }
    // VELTRO_SHOT_SIZE=WxH shows the window at another size (1066x666, say).
    const QStringList size = qEnvironmentVariable("VELTRO_SHOT_SIZE").split('x');
    if (size.size() == 2) frame->resize(size[0].toInt(), size[1].toInt());
    const QString output = QString::fromLocal8Bit(argv[1]);
    QTimer::singleShot(atoi(argv[2]), [&] {
        const bool saved = frame->grab().save(output);
        application.exit(saved ? 0 : 1);
    });
    return application.exec();
}
