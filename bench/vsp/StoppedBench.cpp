#include "StoppedBench.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <cstdio>

#include "vsp/widgets/ViewVsp.h"
#include "vspd/ControlClient.h"
#include "vspd/WinErrors.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kAfterMs = 10000;  // for the answers once the service goes on

// Runs the event loop for ms.
void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
}

}  // namespace

StoppedBench::StoppedBench(const QString& socket, pid_t service)
    : socket_(socket), service_(service), frame_(socket) {}

bool StoppedBench::Prepare() {
    // A listener whose backlog completes the connection without an accept.
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, SOMAXCONN) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        fprintf(stderr, "no listener on 127.0.0.1\n");
        return false;
    }
    vspd::RemoteInfoRequest request;
    request.remoteIp = kLoopback;
    request.remotePort = ntohs(address.sin_port);
    request.protocol = vspd::kProtocolTcp;
    request.mode = 1;
    request.maxPacketSize = 1400;
    QString instance;
    uint32_t error = frame_.VspInstaller().InstallPort(
        QString::fromLatin1(vspd::kVirtualHardwareId), 1, &instance);
    if (error == winerr::kSuccess) error = frame_.VspDriver().SetRemoteInfo("COM1", request);
    if (error != winerr::kSuccess) {
        fprintf(stderr, "COM1: installing and configuring failed (%u)\n", error);
        return false;
    }
    return true;
}

StoppedPass StoppedBench::ViewPass(int stopMs) {
    StoppedPass pass;
    CViewVsp view(frame_);
    view.show();
    VspController& vsp = view.Controller();
    view.InitialUpdate();
    RunUntil([&] { return vsp.RowCount() == 1 && vsp.Settled(); }, kAfterMs);
    LatenessProbes probes(&view);
    probes.Begin();
    kill(service_, SIGSTOP);
    vsp.Commands().Refresh();
    vsp.ClickRow(0);
    vsp.OnConnect();
    RunFor(stopMs);
    kill(service_, SIGCONT);
    RunUntil([&] { return vsp.Settled(); }, kAfterMs);
    pass.late = probes.End();
    pass.ended = vsp.Settled();
    pass.connected = vsp.Rows().at(0).cells[VspRow::kStatusColumn] == vspword::kConnected;
    // The next pass starts from an idle port.
    vsp.OnClose();
    RunUntil([&] { return vsp.Settled(); }, kAfterMs);
    return pass;
}

StoppedPass StoppedBench::BlockingPass(int stopMs) {
    StoppedPass pass;
    QWidget window;
    window.show();
    LatenessProbes probes(&window);
    bool done = false;
    QTimer::singleShot(0, &window, [&] {
        probes.Begin();
        kill(service_, SIGSTOP);
        // Go on at the stop's end, as the view's pass does.
        QTimer::singleShot(stopMs, [this] { kill(service_, SIGCONT); });
        const auto reply = vspd::ControlClient(socket_.toStdString()).Call(vspd::ListRequest{});
        pass.ended = reply.has_value();
        done = true;
    });
    RunUntil([&] { return done; }, stopMs + kAfterMs);
    kill(service_, SIGCONT);
    pass.late = probes.End();
    return pass;
}
