// The virtual serial port view against a veltro-vspd of the benchmark's own:
//   refresh   Refresh of N installed ports by the view's controller, against a bare loop that
//             makes the same requests to the service with the control client (the floor: the
//             service and its socket alone). Requests are counted by a proxy socket in front of
//             the service; printed per port for both, with the ratio of the median times
//             (target <= 1.5).
//   connect   Connect to an address that never answers (a listener whose backlog is full), with
//             the form shown on the offscreen platform and repainted every 10 ms: the longest gap
//             between two paints during the attempt (target: none above 100 ms), against the
//             same request made on the user-interface thread.
//   vsp_bench --socket PATH [--ports N] [--runs R]
// run-bench.sh starts the service and runs this inside a private network namespace.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "RequestCounter.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/ScriptedPrompts.h"
#include "vsp/VspController.h"
#include "vsp/VspDriver.h"
#include "vsp/VspInstallService.h"
#include "vsp/VspPortTable.h"
#include "vsp/widgets/ViewVsp.h"
#include "vspd/ControlClient.h"
#include "vspd/WinErrors.h"

namespace {

constexpr int kIdleMs = 500;

class BenchFrame final : public VspFrame {
  public:
    explicit BenchFrame(const QString& socket)
        : driver_(
              prompts_, [] { return QStringLiteral("127.0.0.1"); }, socket),
          installer_(socket) {}
    void AddLog(const QString&) override {}
    TimerHost& Timers() override { return timers_; }
    UserPrompts& Prompts() override { return prompts_; }  // answers every box at once
    NetInterfaces& Net() override { return net_; }
    QString HostAddress() const override { return QStringLiteral("127.0.0.1"); }
    VspSettingsValues VspSettings() const override { return {}; }
    CVspPortTable& PortTable() override { return table_; }
    QString PortTablePath() const override { return QDir::temp().filePath("vsp-bench.dat"); }
    CVspDriver& VspDriver() override { return driver_; }
    VspInstallService& VspInstaller() override { return installer_; }
    VspDriverQueries& VspBusyCheck() override { return driver_; }
    QString DriverPackagePath() const override { return {}; }
    int DmFindRowByIp(const QString&) const override { return -1; }
    bool DmRowUdp(int) const override { return false; }
    void DmSetStatusText(int, const QString&) override {}
    bool SendHostAnnouncement(const QString&, std::array<uint8_t, 2>) override { return false; }
    void CloseTerminalsOnPort(const QString&) override {}
    void RefreshTerminalPortLists() override {}
    void RebuildPortTree() override {}
    bool TreeShowsText(const QString&) const override { return false; }
    void RemovePortItem(const QString&) override {}
    void SetPortItemText(const QString&) override {}
    void ResetPortItem(const QString&) override {}
    ScriptedPrompts& Scripted() { return prompts_; }

  private:
    QtTimerHost timers_;
    ScriptedPrompts prompts_;
    FakeNetInterfaces net_;
    CVspPortTable table_;
    CVspDriver driver_;
    CVspInstallService installer_;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::optional<vspd::Reply> Call(const std::string& socket, const vspd::Request& request,
                                vspd::ControlClient* session = nullptr) {
    vspd::ControlClient own(socket);
    return (session ? session : &own)->Call(request);
}

// The port IDs the program recognises as its own virtual ports.
std::vector<int> OurPorts(const std::string& socket) {
    const auto list = Call(socket, vspd::ListRequest{});
    std::vector<VspInterface> interfaces;
    for (const vspd::PortEntry& e : list->ports)
        interfaces.push_back({QString::fromStdString(e.devicePath),
                              QString::fromStdString(e.instanceId),
                              QString::fromStdString(e.hardwareId)});
    std::vector<int> ours;
    for (size_t k = 0; k < interfaces.size(); ++k) {
        if (CVspDriver::IsOurPort(interfaces[k].devicePath, interfaces)) ours.push_back(int(k));
    }
    return ours;
}

// What the refresh asks of the service for each virtual port, made directly: every operation
// lists the ports, opens one in a session of its own and makes one request.
void BareRefresh(const std::string& socket) {
    for (int k : OurPorts(socket)) {
        for (uint32_t code :
             {vspd::kIoctlGetDosName, vspd::kIoctlGetRemoteInfo, vspd::kIoctlSetRemoteInfo}) {
            const auto again = Call(socket, vspd::ListRequest{});
            vspd::ControlClient session(socket);
            session.Call(vspd::OpenRequest{0, again->ports[size_t(k)].devicePath});
            std::vector<uint8_t> input;
            if (code == vspd::kIoctlSetRemoteInfo) {
                const auto encoded = vspd::RemoteInfoRequest{}.Encode();
                input.assign(encoded.begin(), encoded.end());
            }
            session.Call(vspd::IoctlRequest{code, 64, input});
        }
    }
}

// A TCP listener on 127.0.0.1 whose accept queue is full: further connection attempts get no
// answer at all.
struct SilentPeer {
    SilentPeer() {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 0);
        socklen_t size = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        for (int& fill : fillers) {
            fill = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            connect(fill, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        usleep(100000);
    }
    ~SilentPeer() {
        for (int fill : fillers) close(fill);
        close(listener);
    }
    int listener = -1;
    int fillers[2] = {-1, -1};
    uint16_t port = 0;
};

// Records the time between paints of a widget repainted every 10 ms.
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(QWidget* widget) : widget_(widget) {
        widget->installEventFilter(this);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, widget, [widget] { widget->update(); });
    }
    void Begin() {
        longest_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    qint64 End() {
        timer_.stop();
        return std::max(longest_, clock_.elapsed() - last_);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Paint && clock_.isValid()) {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        }
        return false;
    }

  private:
    QWidget* widget_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string socket;
    int ports = 256;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--socket") socket = argv[i + 1];
        if (key == "--ports") ports = atoi(argv[i + 1]);
        if (key == "--runs") runs = atoi(argv[i + 1]);
    }
    if (socket.empty()) {
        fprintf(stderr, "usage: vsp_bench --socket PATH [--ports N] [--runs R]\n");
        return 2;
    }
    CVspInstallService installer(QString::fromStdString(socket));
    for (int n = 1; n <= ports; ++n) {
        QString instance;
        installer.InstallPort(QStringLiteral("QMDR\\Vser"), uint32_t(n), &instance);
    }
    const std::string counted = socket + ".count";
    RequestCounter counter(counted, socket);
    if (!counter.Start()) return 1;

    BenchFrame frame(QString::fromStdString(counted));
    CViewVsp view(frame);
    VspController& vsp = view.Controller();
    std::vector<double> program, bare;
    long programRequests = 0, bareRequests = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        counter.Reset();
        t.start();
        vsp.Refresh(false);
        program.push_back(double(t.nsecsElapsed()) / 1e6);
        programRequests = counter.Requests();
        counter.Reset();
        t.restart();
        BareRefresh(counted);
        bare.push_back(double(t.nsecsElapsed()) / 1e6);
        bareRequests = counter.Requests();
    }
    // Only instances 0000 to 0099 are recognised as the program's ports: the others are not
    // listed, by the program or by the bare loop.
    const int listed = std::max(vsp.RowCount(), 1);
    printf("refresh of %d installed ports (%d listed), median of %d runs:\n", ports, vsp.RowCount(),
           runs);
    printf("  program  %8.1f ms  %6.2f requests per listed port\n", Median(program),
           double(programRequests) / listed);
    printf("  bare     %8.1f ms  %6.2f requests per listed port\n", Median(bare),
           double(bareRequests) / listed);
    printf("  ratio    %8.2f  (target <= 1.5)\n", Median(program) / Median(bare));

    SilentPeer silent;
    view.resize(900, 500);
    view.show();
    vsp.ClickRow(0);
    VspForm form = vsp.Form();
    form.clientMode = 1;
    form.remoteIp = 0x7F000001;
    form.remotePortText = QString::number(silent.port);
    vsp.EditForm(form);
    frame.VspDriver().SetRemoteInfo(0, {0x7F000001, silent.port, 0, 0, 1, 0, 1460, 0});
    PaintWatch watch(&view);
    QElapsedTimer t;
    // The window idle for a moment first: the first paints after showing it, and the reference.
    watch.Begin();
    t.start();
    while (t.elapsed() < kIdleMs) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const qint64 idleGap = watch.End();
    watch.Begin();
    t.start();
    vsp.OnConnect();
    const qint64 attempt = t.elapsed();
    const qint64 gap = watch.End();
    const QString told = frame.Scripted().Texts().value(0);

    VspHandle handle = frame.VspDriver().OpenPort(0);
    watch.Begin();
    frame.VspDriver().ConnectPort(handle);
    const qint64 blockedGap = watch.End();
    handle.Close();
    printf("connect to an address that never answers (%lld ms, \"%s\"):\n", attempt,
           qPrintable(told));
    printf("  idle     longest paint gap %5lld ms  (the window doing nothing)\n", idleGap);
    printf("  program  longest paint gap %5lld ms  (target <= 100)\n", gap);
    printf("  blocking longest paint gap %5lld ms  (the same request on the UI thread)\n",
           blockedGap);
    return 0;
}
