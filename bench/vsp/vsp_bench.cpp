// The virtual serial port view against veltro-vspd services of the benchmark's own:
//   refresh   Refresh of N installed ports by the port commands, against a bare loop that
//             makes what the refresh asks of the service with the control client (the floor:
//             the service and its socket alone): the list, one exclusive open and
//             IOCTL_SET_REMOTE_INFO for each free port, the list again. Requests are counted
//             by a proxy socket in front of the service; printed per port for both, with the
//             ratio of the median times (target <= 1.5).
//   repair    The start-up repair of 16 ports whose devices never answer, on the offscreen
//             platform with real Qt timers: the longest lateness of a 10 ms timer and of a
//             posted mouse event while the attempts run (target <= 100 ms), and the time until
//             all 16 have ended against one attempt alone (target about 1x); beside it the
//             same 16 attempts one after another on the user-interface thread.
//   stopped   The service stopped (SIGSTOP) for 20 s while a refresh and a Connect of the port
//             view are under way: the longest lateness of a 10 ms timer and of a posted mouse
//             event (target <= 100 ms); beside it one list request with the control client on
//             the user-interface thread, the service stopped as long.
//   vsp_bench --socket PATH [--ports N] [--runs R] [--repair-socket PATH]
//             [--stopped-socket PATH --stopped-pid PID [--stop-ms MS]]
// run-bench.sh starts the services and runs this inside a private network namespace.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchFrame.h"
#include "RepairBench.h"
#include "RequestCounter.h"
#include "StoppedBench.h"
#include "protocol/Ipv4Address.h"
#include "vsp/VspController.h"
#include "vsp/VspDriver.h"
#include "vsp/widgets/ViewVsp.h"
#include "vspd/ControlClient.h"
#include "vspd/WinErrors.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::optional<vspd::Reply> Call(const std::string& socket, const vspd::Request& request) {
    return vspd::ControlClient(socket).Call(request);
}

// What the refresh asks of the service, made directly: the list, then for each free port of
// ours one exclusive open and IOCTL_SET_REMOTE_INFO with the configuration it has, then the
// list again.
void BareRefresh(const std::string& socket) {
    const auto list = Call(socket, vspd::ListRequest{});
    if (!list) return;
    std::vector<VspInterface> interfaces;
    for (const vspd::PortEntry& e : list->ports) {
        VspInterface& known = interfaces.emplace_back();
        known.devicePath = QString::fromStdString(e.devicePath);
        known.instanceId = QString::fromStdString(e.instanceId);
        known.hardwareId = QString::fromStdString(e.hardwareId);
    }
    for (size_t k = 0; k < interfaces.size(); ++k) {
        const vspd::PortEntry& entry = list->ports[k];
        if (!CVspDriver::IsOurPort(interfaces[k].devicePath, interfaces) || entry.ttyOpen != 0)
            continue;
        vspd::ControlClient session(socket);
        session.Call(vspd::OpenRequest{0, entry.devicePath});
        vspd::RemoteInfoRequest request = VspConfigRequest(entry.info);
        request.hostIp = Ipv4Address::Parse(QString::fromLatin1(BenchFrame::kHost))->HostOrder();
        const auto encoded = request.Encode();
        session.Call(
            vspd::IoctlRequest{vspd::kIoctlSetRemoteInfo, 0, {encoded.begin(), encoded.end()}});
    }
    Call(socket, vspd::ListRequest{});
}

void InstallPorts(const QString& socket, int count) {
    CVspInstallService installer(socket);
    for (int n = 1; n <= count; ++n) {
        QString instance;
        installer.InstallPort(QString::fromLatin1(vspd::kVirtualHardwareId), uint32_t(n),
                              &instance);
    }
}

int RunRefresh(const std::string& socket, int ports, int runs) {
    InstallPorts(QString::fromStdString(socket), ports);
    const std::string counted = socket + ".count";
    RequestCounter counter(counted, socket);
    if (!counter.Start()) return 1;

    BenchFrame frame(QString::fromStdString(counted));
    CViewVsp view(frame);
    VspPortCommands& commands = view.Controller().Commands();
    std::vector<double> program, bare;
    long programRequests = 0, bareRequests = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        counter.Reset();
        t.start();
        commands.Refresh();
        while (commands.Service().Pending() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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
    const int listed = std::max(commands.Ports().Count(), 1);
    printf("refresh of %d installed ports (%d listed), median of %d runs:\n", ports,
           commands.Ports().Count(), runs);
    printf("  program  %8.1f ms  %6.2f requests per listed port\n", Median(program),
           double(programRequests) / listed);
    printf("  bare     %8.1f ms  %6.2f requests per listed port\n", Median(bare),
           double(bareRequests) / listed);
    printf("  ratio    %8.2f  (target <= 1.5)\n", Median(program) / Median(bare));
    return 0;
}

// "16 timed out" when every attempt ended with the time-out, else each code.
QString Outcome(const RepairPass& pass) {
    if (std::all_of(pass.errors.begin(), pass.errors.end(),
                    [](uint32_t e) { return e == winerr::kSemTimeout; }))
        return QStringLiteral("%1 timed out").arg(pass.errors.size());
    QStringList codes;
    for (uint32_t e : pass.errors) codes << QString::number(e);
    return QStringLiteral("ended with ") + codes.join(' ');
}

int RunRepair(const QString& socket) {
    RepairBench bench(socket);
    if (!bench.Prepare()) return 1;
    const RepairPass alone = bench.Repair(1);
    const RepairPass all = bench.Repair(RepairBench::kPorts);
    const RepairPass peer = bench.OneAfterAnother();
    if (alone.totalMs <= 0 || all.totalMs < 0 || peer.totalMs < 0) {
        fprintf(stderr, "a repair pass did not end\n");
        return 1;
    }
    const int n = RepairBench::kPorts;
    printf("start-up repair of %d ports whose devices never answer:\n", n);
    printf("  one attempt alone            %6lld ms  (%s)\n", alone.totalMs,
           qPrintable(Outcome(alone)));
    printf("  all %d attempts              %6lld ms  = %.2f x one alone  (target about 1)  (%s)\n",
           n, all.totalMs, double(all.totalMs) / double(alone.totalMs), qPrintable(Outcome(all)));
    printf("  10 ms timer, longest late    %6lld ms  (target <= 100)\n", all.late.timerMs);
    printf("  posted mouse event, longest  %6lld ms  (target <= 100)\n", all.late.inputMs);
    printf(
        "  peer, one after another on the UI thread: %lld ms = %.2f x one alone, timer late "
        "%lld ms, mouse event late %lld ms  (%s)\n",
        peer.totalMs, double(peer.totalMs) / double(alone.totalMs), peer.late.timerMs,
        peer.late.inputMs, qPrintable(Outcome(peer)));
    return 0;
}

int RunStopped(const QString& socket, pid_t pid, int stopMs) {
    StoppedBench bench(socket, pid);
    if (!bench.Prepare()) return 1;
    const StoppedPass view = bench.ViewPass(stopMs);
    const StoppedPass blocking = bench.BlockingPass(stopMs);
    printf("service stopped for %d ms during a refresh and a Connect:\n", stopMs);
    printf("  10 ms timer, longest late    %6lld ms  (target <= 100)\n", view.late.timerMs);
    printf("  posted mouse event, longest  %6lld ms  (target <= 100)\n", view.late.inputMs);
    printf("  the Connect %s once the service went on\n",
           view.connected ? "connected" : (view.ended ? "ended unconnected" : "did not end"));
    printf(
        "  peer, one list request on the UI thread with the blocking client: timer late %lld ms, "
        "mouse event late %lld ms\n",
        blocking.late.timerMs, blocking.late.inputMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured
    std::string socket;
    QString repairSocket;
    QString stoppedSocket;
    pid_t stoppedPid = 0;
    int stopMs = 20000;
    int ports = 256;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--socket") socket = argv[i + 1];
        if (key == "--ports") ports = atoi(argv[i + 1]);
        if (key == "--runs") runs = atoi(argv[i + 1]);
        if (key == "--repair-socket") repairSocket = QString::fromLocal8Bit(argv[i + 1]);
        if (key == "--stopped-socket") stoppedSocket = QString::fromLocal8Bit(argv[i + 1]);
        if (key == "--stopped-pid") stoppedPid = pid_t(atoi(argv[i + 1]));
        if (key == "--stop-ms") stopMs = atoi(argv[i + 1]);
    }
    if (socket.empty()) {
        fprintf(stderr,
                "usage: vsp_bench --socket PATH [--ports N] [--runs R] [--repair-socket PATH]\n");
        return 2;
    }
    if (const int failed = RunRefresh(socket, ports, runs)) return failed;
    if (!stoppedSocket.isEmpty() && stoppedPid > 0)
        if (const int failed = RunStopped(stoppedSocket, stoppedPid, stopMs)) return failed;
    return repairSocket.isEmpty() ? 0 : RunRepair(repairSocket);
}
