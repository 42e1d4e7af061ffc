// One press of Search against a veltro-devsim process with many devices, on a real event loop
// with Qt timers: how many rows the device manager lists when its search ends (target: every
// device) and how long the last row takes. Measured in turn in the same run:
//   controller  the device manager's flows without widgets
//   view        the device manager form on the offscreen platform, its list included
//   peer        a bare UDP socket that sends the same three requests and counts distinct MAC
//               addresses (the floor: network and simulator alone)
//   devmgr_search_bench --port PORT [--devices N] [--runs R]
// run-search.sh starts the simulator and runs this inside a private network namespace.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <set>
#include <vector>

#include "devmgr/DmController.h"
#include "devmgr/widgets/ViewDm.h"
#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/ScriptedPrompts.h"
#include "protocol/BroadcastSocket.h"
#include "protocol/Message.h"
#include "tests/support/FakeNetInterfaces.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

constexpr int kGuardMs = 5000;
constexpr int kSettleMs = 300;  // late duplicates drain before the next run
const QString kHost = QStringLiteral("127.0.0.1");

class BenchFrame final : public DmFrame {
  public:
    BenchFrame() { socket_.Create(kHost, 0); }
    void AddLog(const QString&) override {}
    TimerHost& Timers() override { return timers_; }
    UserPrompts& Prompts() override { return prompts_; }  // answers every box at once
    CBroadcastSocket& BroadcastSocket() override { return socket_; }
    QString HostAddress() const override { return kHost; }
    QString HostNetmask() const override { return QStringLiteral("255.0.0.0"); }
    NetInterfaces& Net() override { return net_; }
    void RunVspStartupRepair() override {}
    DmSettingsValues DmSettings() const override { return {}; }
    void SetDmSettings(const DmSettingsValues&) override {}

  private:
    QtTimerHost timers_;
    ScriptedPrompts prompts_;
    CBroadcastSocket socket_;
    FakeNetInterfaces net_;
};

struct Result {
    int rows = 0;
    double lastRowMs = 0;
};

void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Presses Search and runs the event loop until the search has ended.
Result RunSearch(DmController& dm, TimerHost& timers, const std::function<void()>& press,
                 const std::function<int()>& rows) {
    QElapsedTimer clock;
    Result result;
    QEventLoop loop;
    auto inserted = QObject::connect(&dm, &DmController::rowInserted, &loop, [&](int) {
        result.lastRowMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    });
    auto ended = QObject::connect(&dm, &DmController::controlsChanged, &loop, [&] {
        if (!timers.IsRunning(&dm, DmController::kSearchTimer)) loop.quit();
    });
    QTimer::singleShot(kGuardMs, &loop, &QEventLoop::quit);
    clock.start();
    press();
    loop.exec();
    QObject::disconnect(inserted);
    QObject::disconnect(ended);
    result.rows = rows();
    Settle(kSettleMs);
    return result;
}

Result RunPeer(uint16_t port, int devices) {
    QUdpSocket socket;
    socket.bind(QHostAddress(kHost), 0);
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                           CBroadcastSocket::kReceiveBufferBytes);
    std::set<QByteArray> macs;
    Result result;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(&socket, &QUdpSocket::readyRead, &loop, [&] {
        QByteArray datagram(CBroadcastSocket::kSlotSize, '\0');
        while (socket.hasPendingDatagrams()) {
            const qint64 n = socket.readDatagram(datagram.data(), datagram.size());
            if (n < msg::kRecordSize || datagram[msg::kCommandOffset] != msg::kSearchReply)
                continue;
            if (macs.insert(datagram.mid(devrec::macAddressOffset, devrec::kMacSize)).second)
                result.lastRowMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
        if (static_cast<int>(macs.size()) == devices) loop.quit();
    });
    QTimer::singleShot(DmController::kTickMs, &loop, &QEventLoop::quit);
    clock.start();
    const QByteArray request = msg::BuildSearchRequest();
    for (int i = 0; i < DmController::kSearchRequestBurst; ++i)
        socket.writeDatagram(request, QHostAddress(QString::fromLatin1(msg::kBroadcastAddress)),
                             port);
    loop.exec();
    result.rows = static_cast<int>(macs.size());
    Settle(kSettleMs);
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Series {
    const char* name;
    std::vector<double> times{};
    int fewestRows = 1 << 30;
    void Add(const Result& r) {
        times.push_back(r.lastRowMs);
        fewestRows = std::min(fewestRows, r.rows);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int devices = 256;
    int runs = 10;
    uint16_t port = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--devices") devices = args[i + 1].toInt();
        if (args[i] == "--runs") runs = args[i + 1].toInt();
        if (args[i] == "--port") port = static_cast<uint16_t>(args[i + 1].toUInt());
    }
    if (port == 0) {
        std::fprintf(stderr, "usage: devmgr_search_bench --port PORT [--devices N] [--runs R]\n");
        return 2;
    }

    BenchFrame controllerFrame;
    DmController controller(controllerFrame);
    controller.SetDevicePort(port);
    BenchFrame viewFrame;
    CViewDm view(viewFrame);
    view.Controller().SetDevicePort(port);
    view.resize(900, 600);
    view.show();
    view.InitialUpdate();
    Settle(DmController::kTickMs + 100);  // the start-up actions

    Series dm{"controller"}, form{"view"}, peer{"peer"};
    const std::array<std::function<void()>, 3> measure{
        [&] {
            dm.Add(RunSearch(
                controller, controllerFrame.Timers(), [&] { controller.OnSearch(); },
                [&] { return controller.Table().Count(); }));
        },
        [&] {
            form.Add(RunSearch(
                view.Controller(), viewFrame.Timers(),
                [&] { view.Button(DmButton::kSearch)->click(); },
                [&] { return view.List()->ItemCount(); }));
        },
        [&] { peer.Add(RunPeer(port, devices)); },
    };
    // Each run starts with another of the three, so that none always follows the same one.
    for (int run = 0; run < runs; ++run)
        for (size_t k = 0; k < measure.size(); ++k) measure[(run + k) % measure.size()]();

    std::printf("search of %d devices, %d runs, median time from the press to the last row\n",
                devices, runs);
    for (const Series* s : {&dm, &form, &peer})
        std::printf("  %-10s rows listed (fewest of all runs) %3d/%d   last row %7.2f ms\n",
                    s->name, s->fewestRows, devices, Median(s->times));
    const double floor = Median(peer.times);
    if (floor > 0) {
        std::printf("  ratio controller/peer %.2f\n", Median(dm.times) / floor);
        std::printf("  ratio view/peer       %.2f\n", Median(form.times) / floor);
    }
    return dm.fewestRows == devices && form.fewestRows == devices ? 0 : 1;
}
