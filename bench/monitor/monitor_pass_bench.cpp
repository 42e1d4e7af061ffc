// One polling pass of the device monitor over a veltro-devsim process with many devices, on a
// real event loop with Qt timers: one status query outstanding at a time, each answered before
// the next goes out. Measured in turn in the same run:
//   controller  the monitor's flow without widgets
//   view        the monitor form on the offscreen platform, its list included
//   peer        a bare UDP socket that sends the same queries in the same order, each after
//               the answer to the one before (the floor: network and simulator alone)
//   monitor_pass_bench --port PORT --base ADDRESS [--devices N] [--runs R]
// run-pass.sh starts the simulator and runs this inside a private network namespace.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

#include "monitor/MonitorController.h"
#include "monitor/StatusReply.h"
#include "monitor/widgets/ViewMonitor.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/ScriptedPrompts.h"
#include "protocol/BroadcastSocket.h"
#include "protocol/Ipv4Address.h"
#include "protocol/Message.h"
#include "tests/support/FakeNetInterfaces.h"
#include "tools/devsim/LoopbackGuard.h"

namespace {

constexpr int kGuardMs = 10000;
const QString kHost = QStringLiteral("127.0.0.1");

class BenchFrame final : public MonitorFrame {
  public:
    explicit BenchFrame(std::vector<MonitorDevice> devices) : devices_(std::move(devices)) {
        socket_.Create(kHost, 0);
        net_.subnets = std::vector<AdapterInfo>{{"lo", kHost, "255.0.0.0"}};
    }
    void AddLog(const QString&) override {}
    TimerHost& Timers() override { return timers_; }
    UserPrompts& Prompts() override { return prompts_; }
    CBroadcastSocket& BroadcastSocket() override { return socket_; }
    QString HostAddress() const override { return kHost; }
    NetInterfaces& Net() override { return net_; }
    std::vector<MonitorDevice> CheckedDevices() const override { return devices_; }
    std::vector<MonitorDevice> ListedDevices() const override { return devices_; }
    int MonitorInterval() const override { return MonitorController::kMaxInterval; }
    void SetMonitorInterval(int) override {}

  private:
    QtTimerHost timers_;
    ScriptedPrompts prompts_;
    CBroadcastSocket socket_;
    FakeNetInterfaces net_;
    std::vector<MonitorDevice> devices_;
};

struct Result {
    int answered = 0;
    double passMs = 0;
};

// Starts the monitor and runs the event loop until its last row has its answer or failure.
Result RunPass(MonitorController& monitor, const std::function<void()>& startStop) {
    QElapsedTimer clock;
    QEventLoop loop;
    const int last = static_cast<int>(monitor.Rows().size()) - 1;
    auto changed = QObject::connect(&monitor, &MonitorController::rowChanged, &loop, [&](int row) {
        const QString status =
            monitor.Rows()[static_cast<size_t>(row)].cells[MonitorRow::kStatusColumn];
        if (row == last && status != MonitorRow::kQuerying) loop.quit();
    });
    QTimer::singleShot(kGuardMs, &loop, &QEventLoop::quit);
    clock.start();
    startStop();
    loop.exec();
    Result result{0, static_cast<double>(clock.nsecsElapsed()) / 1e6};
    QObject::disconnect(changed);
    startStop();
    for (const MonitorRow& row : monitor.Rows())
        result.answered += row.cells[MonitorRow::kStatusColumn] == MonitorRow::kSuccess;
    return result;
}

Result RunPeer(const std::vector<MonitorDevice>& devices, uint16_t port) {
    QUdpSocket socket;
    socket.bind(QHostAddress(kHost), 0);
    const QByteArray query = msg::BuildStatusQuery();
    size_t next = 0;
    Result result;
    QElapsedTimer clock;
    QEventLoop loop;
    auto send = [&] { socket.writeDatagram(query, QHostAddress(devices[next].ip), port); };
    QObject::connect(&socket, &QUdpSocket::readyRead, &loop, [&] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            const QByteArray data = datagram.data();
            const auto reply = StatusReply::Decode(
                {reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())});
            if (!reply || Ipv4Address(datagram.senderAddress().toIPv4Address()).ToString() !=
                              devices[next].ip)
                continue;
            ++result.answered;
            if (++next == devices.size()) {
                loop.quit();
                return;
            }
            send();
        }
    });
    QTimer::singleShot(kGuardMs, &loop, &QEventLoop::quit);
    clock.start();
    send();
    loop.exec();
    result.passMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Series {
    const char* name;
    std::vector<double> times;
    int fewestAnswers = 1 << 30;
    void Add(const Result& r) {
        times.push_back(r.passMs);
        fewestAnswers = std::min(fewestAnswers, r.answered);
    }
    double PassesPerSecond() const {
        const double ms = Median(times);
        return ms > 0 ? 1000.0 / ms : 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int devices = 256;
    int runs = 20;
    uint16_t port = 0;
    QString base;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--devices") devices = args[i + 1].toInt();
        if (args[i] == "--runs") runs = args[i + 1].toInt();
        if (args[i] == "--port") port = static_cast<uint16_t>(args[i + 1].toUInt());
        if (args[i] == "--base") base = args[i + 1];
    }
    if (port == 0 || base.isEmpty()) {
        std::fprintf(stderr,
                     "usage: monitor_pass_bench --port PORT --base ADDRESS [--devices N] "
                     "[--runs R]\n");
        return 2;
    }
    // The addresses the simulator gives its devices, in order.
    std::vector<MonitorDevice> list;
    for (uint32_t address = Ipv4Address::Parse(base).value_or(Ipv4Address()).HostOrder();
         static_cast<int>(list.size()) < devices; ++address)
        if (devsim::IsAssignableLoopback(address))
            list.push_back({static_cast<int>(list.size()), QString(),
                            Ipv4Address(address).ToString(), QString()});

    BenchFrame controllerFrame(list);
    MonitorController controller(controllerFrame);
    controller.SetDevicePort(port);
    controller.InitialUpdate();
    controller.Fill();
    BenchFrame viewFrame(list);
    CViewMonitor view(viewFrame);
    view.Controller().SetDevicePort(port);
    view.resize(1000, 600);
    view.show();
    view.InitialUpdate();
    view.Fill();

    Series flow{"controller", {}}, form{"view", {}}, peer{"peer", {}};
    const std::array<std::function<void()>, 3> measure{
        [&] { flow.Add(RunPass(controller, [&] { controller.OnStartStop(); })); },
        [&] { form.Add(RunPass(view.Controller(), [&] { view.StartButton()->click(); })); },
        [&] { peer.Add(RunPeer(list, port)); },
    };
    // Each run starts with another of the three, so that none always follows the same one.
    for (int run = 0; run < runs; ++run)
        for (size_t k = 0; k < measure.size(); ++k) measure[(run + k) % measure.size()]();

    std::printf("one pass over %d devices, %d runs, median pass\n", devices, runs);
    for (const Series* s : {&flow, &form, &peer})
        std::printf(
            "  %-10s answered (fewest of all runs) %3d/%d   pass %7.2f ms   %7.1f passes/s\n",
            s->name, s->fewestAnswers, devices, Median(s->times), s->PassesPerSecond());
    const double floor = peer.PassesPerSecond();
    if (floor > 0) {
        std::printf("  ratio controller/peer %.2f (passes per second; target >= 0.8)\n",
                    flow.PassesPerSecond() / floor);
        std::printf("  ratio view/peer       %.2f\n", form.PassesPerSecond() / floor);
    }
    return flow.fewestAnswers == devices && form.fewestAnswers == devices ? 0 : 1;
}
