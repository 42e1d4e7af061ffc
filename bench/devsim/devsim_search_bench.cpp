// One search request broadcast from a CBroadcastSocket on 127.0.0.1, answered by N simulated
// devices: how many replies reach the ring and how long the last one takes. Peers, measured in
// turn in the same run: the simulator on its own thread, a bare-socket responder on its own
// thread (the floor), and optionally a veltro-devsim process already listening on a port.
//   devsim_search_bench [--devices N] [--runs R] [--external PORT]
// Run it inside scripts/in-netns (run-search.sh does).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "bench/devsim/RawResponder.h"
#include "platform/QtTimerHost.h"
#include "protocol/BroadcastSocket.h"
#include "tools/devsim/DeviceSimulator.h"
#include "tools/devsim/SimRecords.h"

namespace {

constexpr uint16_t kSimPort = 45122;
constexpr uint16_t kRawPort = 45123;
constexpr uint32_t kSimBase = 0x7F010001;  // 127.1.0.1
constexpr uint32_t kRawBase = 0x7F020001;  // 127.2.0.1
constexpr int kGuardMs = 3000;
constexpr int kQuietMs = 50;

// The simulator with its own event loop, as a separate program would have it.
class SimThread {
  public:
    SimThread(int devices) {
        thread_ = QThread::create([this, devices] {
            QtTimerHost timers;
            devsim::SimulatorOptions options;
            options.baseAddress = kSimBase;
            options.managementPort = kSimPort;
            options.tftp = false;
            devsim::DeviceSimulator sim(timers, {}, options);
            ok_ = sim.Start() && sim.AddDevices(devices);
            ready_ = true;
            if (ok_) QEventLoop().exec();
        });
        thread_->start();
        while (!ready_) QThread::msleep(1);
    }
    ~SimThread() {
        thread_->quit();
        thread_->wait();
        delete thread_;
    }
    bool Ok() const { return ok_; }

  private:
    QThread* thread_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> ok_{false};
};

struct Peer {
    const char* name;
    uint16_t port;
    std::vector<int> counts;
    std::vector<double> ms;
};

void Pump(const std::function<bool()>& done, int guardMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < guardMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

void MeasureOnce(CBroadcastSocket& socket, Peer& peer, int devices) {
    int count = 0;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    socket.SetDeviceManagerHandler([&](const ReceivedDatagram& d) {
        if (d.Command() != msg::kSearchReply) return;
        ++count;
        lastNs = clock.nsecsElapsed();
    });
    clock.start();
    socket.Send(msg::BuildSearchRequest(), msg::kBroadcastAddress, peer.port);
    Pump([&] { return count >= devices; }, kGuardMs);
    Pump([] { return false; }, kQuietMs);  // anything beyond N would be a duplicate
    peer.counts.push_back(count);
    peer.ms.push_back(static_cast<double>(lastNs) / 1e6);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<QByteArray> CannedReplies(int devices) {
    std::vector<QByteArray> out;
    for (int i = 0; i < devices; ++i)
        out.push_back(devsim::ReplyImage(
            devsim::FactoryRecord(devsim::DefaultProfile(i), kRawBase + static_cast<uint32_t>(i),
                                  devsim::DefaultMac(i + 1)),
            msg::kSearchReply));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int devices = 256, runs = 20, external = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--devices") devices = args[i + 1].toInt();
        if (args[i] == "--runs") runs = args[i + 1].toInt();
        if (args[i] == "--external") external = args[i + 1].toInt();
    }
    if (devices < 1 || devices > 250 * 250 || runs < 1) return 2;

    CBroadcastSocket socket;
    if (!socket.Create(QStringLiteral("127.0.0.1"), 0)) {
        std::fprintf(stderr, "cannot bind the broadcast socket\n");
        return 1;
    }
    SimThread sim(devices);
    RawResponder raw(kRawBase, devices, kRawPort, CannedReplies(devices));
    if (!sim.Ok() || !raw.Ok()) {
        std::fprintf(stderr, "cannot open the peers (run inside scripts/in-netns)\n");
        return 1;
    }
    std::vector<Peer> peers{{"devsim (thread)", kSimPort, {}, {}},
                            {"raw sockets (thread)", kRawPort, {}, {}}};
    if (external)
        peers.push_back({"veltro-devsim (process)", static_cast<uint16_t>(external), {}, {}});

    for (int r = 0; r < runs; ++r)
        for (Peer& p : peers) MeasureOnce(socket, p, devices);

    std::printf("devices %d, runs %d (replies in the ring; ms from request to the last reply)\n",
                devices, runs);
    std::printf("%-26s %-14s %-10s %8s %8s %8s\n", "peer", "replies", "all runs", "min", "median",
                "max");
    for (const Peer& p : peers) {
        const int full = static_cast<int>(std::count(p.counts.begin(), p.counts.end(), devices));
        std::printf("%-26s %4d..%-4d/%-3d %3d/%-6d %8.3f %8.3f %8.3f\n", p.name,
                    *std::min_element(p.counts.begin(), p.counts.end()),
                    *std::max_element(p.counts.begin(), p.counts.end()), devices, full, runs,
                    *std::min_element(p.ms.begin(), p.ms.end()), Median(p.ms),
                    *std::max_element(p.ms.begin(), p.ms.end()));
    }
    // The machine is shared, so the minimum is the steadier figure; both are shown.
    const double floorMedian = Median(peers[1].ms);
    const double floorMin = *std::min_element(peers[1].ms.begin(), peers[1].ms.end());
    for (const Peer& p : peers)
        if (&p != &peers[1])
            std::printf("ratio %s / raw sockets: median %.2f, min %.2f\n", p.name,
                        Median(p.ms) / floorMedian,
                        *std::min_element(p.ms.begin(), p.ms.end()) / floorMin);
    bool allFull = true;
    for (const Peer& p : peers)
        allFull = allFull && std::all_of(p.counts.begin(), p.counts.end(),
                                         [devices](int c) { return c == devices; });
    return allFull ? 0 : 3;
}
