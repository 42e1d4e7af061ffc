#include "RepairBench.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "vsp/VspLivePorts.h"
#include "vsp/widgets/ViewVsp.h"
#include "vspd/ControlClient.h"
#include "vspd/WinErrors.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr uint32_t kPacketSize = 1460;
constexpr int kPassLimitMs = 120000;
constexpr int kFillers = 2;
constexpr useconds_t kSettleUs = 100000;  // for the fillers' handshakes

QString ComName(int number) {
    return QStringLiteral("COM%1").arg(number);
}

}  // namespace

SilentPeer::SilentPeer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    for (int& fill : fillers_) {
        fill = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        connect(fill, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    usleep(kSettleUs);
    port_ = ntohs(address.sin_port);
}

SilentPeer::~SilentPeer() {
    for (int fill : fillers_) close(fill);
    close(listener_);
}

RepairBench::RepairBench(const QString& socket) : socket_(socket), frame_(socket) {}

bool RepairBench::Prepare() {
    if (peer_.Port() == 0) {
        fprintf(stderr, "no silent listener on 127.0.0.1\n");
        return false;
    }
    vspd::RemoteInfoRequest request;
    request.remoteIp = kLoopback;
    request.remotePort = peer_.Port();
    request.protocol = vspd::kProtocolTcp;
    request.connectAtStart = 1;
    request.mode = 1;
    request.maxPacketSize = kPacketSize;
    for (int n = 1; n <= kPorts; ++n) {
        QString instance;
        uint32_t error = frame_.VspInstaller().InstallPort(
            QString::fromLatin1(vspd::kVirtualHardwareId), uint32_t(n), &instance);
        if (error == winerr::kSuccess)
            error = frame_.VspDriver().SetRemoteInfo(ComName(n), request);
        if (error != winerr::kSuccess) {
            fprintf(stderr, "COM%d: installing and configuring failed (%u)\n", n, error);
            return false;
        }
    }
    return true;
}

bool RepairBench::SaveAsConnected(int saved) {
    uint32_t error = 0;
    const auto list = frame_.VspDriver().Enumerate(&error);
    if (!list) return false;
    VspLivePorts ports;
    ports.Take(*list);
    // The repair reconnects every client port of the table that connects at start: the
    // table holds only those meant.
    std::vector<VspPortRecord> records;
    for (int n = 1; n <= saved; ++n) {
        const VspPort* port = ports.Find(ComName(n));
        if (!port || port->link != VspLink::kIdle) {
            fprintf(stderr, "COM%d is missing or not idle\n", n);
            return false;
        }
        records.push_back(port->Record(false));
        records.back().status = vspword::kConnected;
    }
    if (!CVspDatFile::Save(records, frame_.Prompts(), frame_.PortTablePath())) return false;
    frame_.LoadTable();
    return frame_.PortTable().TableLoaded();
}

RepairPass RepairBench::Repair(int saved) {
    RepairPass pass;
    if (!SaveAsConnected(saved)) return pass;
    {
        // The port view as the program starts it, shown on the offscreen platform. It goes
        // before the watch ends: the repair keeps its timer while it tries again.
        CViewVsp view(frame_);
        view.show();
        LatenessProbes probes(&view);
        VspPortCommands& commands = view.Controller().Commands();
        QElapsedTimer clock;
        frame_.Watched().Watch(&commands, VspPortCommands::kReconnectTimer, [&] {
            if (pass.errors.isEmpty()) clock.start();
            if (pass.errors.isEmpty()) probes.Begin();
        });
        QObject::connect(&commands.Connector(), &VspConnector::finished, &view,
                         [&](const QString&, uint32_t error, VspConnector::Origin, bool) {
                             pass.errors << error;
                             if (commands.Connector().RunningCount() > 0) return;
                             pass.totalMs = clock.elapsed();
                             pass.late = probes.End();
                         });
        view.InitialUpdate();
        view.Controller().RunStartupRepair();
        RunUntil([&] { return pass.totalMs >= 0; }, kPassLimitMs);
    }
    frame_.Watched().Unwatch();
    return pass;
}

RepairPass RepairBench::OneAfterAnother() {
    RepairPass pass;
    std::vector<std::string> paths;
    for (int n = 1; n <= kPorts; ++n) {
        uint32_t error = 0;
        const auto port = frame_.VspDriver().FindPort(ComName(n), &error);
        if (!port) return pass;
        paths.push_back(port->devicePath.toStdString());
    }
    QWidget window;
    window.show();
    LatenessProbes probes(&window);
    QTimer::singleShot(0, &window, [&] {
        QElapsedTimer clock;
        clock.start();
        probes.Begin();
        for (const std::string& path : paths) {
            vspd::ControlClient session(socket_.toStdString());
            auto reply = session.Call(vspd::OpenRequest{0, path});
            if (reply && reply->status == winerr::kSuccess)
                reply = session.Call(vspd::IoctlRequest{vspd::kIoctlConnection, 0, {}});
            pass.errors << (reply ? reply->status : winerr::kGenFailure);
        }
        pass.totalMs = clock.elapsed();
        pass.late = probes.End();
    });
    RunUntil([&] { return pass.totalMs >= 0; }, kPassLimitMs);
    return pass;
}
