#pragma once

#include <QHostAddress>
#include <QUdpSocket>
#include <memory>
#include <string>
#include <vector>

#include "protocol/Message.h"
#include "tests/support/EventPump.h"
#include "tests/support/TestNamespace.h"
#include "tests/vsp/VspFlowFixture.h"
#include "tools/devsim/DeviceSimulator.h"

// The supervision's world: the view's controller and a veltro-vspd of the test's own, a
// simulated device on 127.0.0.10 answering probes on its real port 25124, and a socat peer
// that stands for the device's data port. Each test program runs in a network namespace of
// its own, so the protocol's own ports are used. Socket events are delivered between ticks of
// the manual clock.
class Supervision : public VspFlow {
  protected:
    static constexpr int kPumpMs = 5;
    static constexpr int kIo = 3000;
    // Evaluation, then the next probe pass 10 ms later and its evaluation 5 s after that.
    static constexpr int64_t kPassMs = VspSupervision::kNextProbeMs + VspSupervision::kEvaluationMs;
    static constexpr int64_t kFirstProbeAt = VspSupervision::kFirstProbeMs;
    static constexpr int64_t kFirstEvaluationAt = kFirstProbeAt + VspSupervision::kEvaluationMs;

    void SetUp() override {
        ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace;
        VspFlow::SetUp();
        peer = std::make_unique<DataPeer>();
        devsim::SimulatorOptions options;
        options.tftp = false;
        sim = std::make_unique<devsim::DeviceSimulator>(frame.clock, options);
        device = sim->AddDevice();
        ASSERT_NE(device, nullptr);
        frame.clock.SetPump([this] {
            PumpQuiet(kPumpMs);
            Answered();
        });
    }

    QString DeviceIp() const { return device->AddressText(); }
    VspSupervision& Watch() { return vsp.Commands().Supervision(); }

    // COM5 configured as a client of the device's data port.
    void AddClientPort(int32_t connectAtStart = 0) {
        Add(5);
        ASSERT_EQ(vsp.RowCount(), 1) << frame.prompts.Texts().join("|").toStdString();
        Configure(0, [&](VspForm& f) {
            f.clientMode = 1;
            f.protocol = 0;
            f.remoteIp = device->Address();
            f.remotePortText = QString::number(peer->port);
            f.connectAtStart = connectAtStart;
        });
    }

    // With the connection check on: the view starts, COM5 connects to the device, and the
    // device manager lists the device as connected.
    void StartConnected() {
        frame.settings.connectionCheck = true;
        frame.dmRows = {{DeviceIp(), false, QStringLiteral("Connected")}};
        Start();
        AddClientPort();
        ConnectRow(0);
        ASSERT_EQ(Cell(0, VspRow::kStatusColumn), "Connected");
        ASSERT_EQ(frame.tree, QStringList{"COM5 (" + DeviceIp() + ")"});
        ASSERT_EQ(service.EntryOf(5).info.connected, 1u);
        ASSERT_LT(frame.clock.Now(), kFirstProbeAt);
    }

    // To the first evaluation, then `count` further passes.
    void FirstEvaluation() { frame.clock.Advance(kFirstEvaluationAt - frame.clock.Now()); }
    void Passes(int count) { frame.clock.Advance(kPassMs * count); }
    static int64_t ProbeTime(int pass) { return kFirstProbeAt + kPassMs * pass; }

    // The status probes that reached the device: when, from which port, what.
    std::vector<int64_t> ProbeTimes() const {
        std::vector<int64_t> times;
        for (const auto& r : device->Received()) {
            if (r.port != devsim::Port::Probe || r.command != msg::kStatusProbe) continue;
            EXPECT_EQ(r.bytes, msg::BuildStatusProbe());
            EXPECT_EQ(r.sender, QHostAddress(frame.hostAddress));
            EXPECT_EQ(r.senderPort, msg::kProbeSocketPort);
            times.push_back(r.timeMs);
        }
        return times;
    }
    static std::vector<int64_t> ProbeTimesOfPasses(int first, int count) {
        std::vector<int64_t> times;
        for (int pass = first; pass < first + count; ++pass) times.push_back(ProbeTime(pass));
        return times;
    }
    void Silence(bool on) {
        devsim::Faults faults;
        faults.silent = on;
        device->SetFaults(faults);
    }
    // A probe answer from another sender, straight to the view's probe socket.
    void SendAnswer(const VspProbeAnswer& answer, qsizetype size = VspProbeAnswer::kSize) {
        QUdpSocket stranger;
        stranger.writeDatagram(answer.Encode().left(size), QHostAddress(frame.hostAddress),
                               msg::kProbeSocketPort);
        PumpQuiet(kPumpMs);
    }

    // The device's data port: a socat listener on every loopback address that echoes.
    struct DataPeer {
        DataPeer()
            : port(FreePort()),
              socat({"socat", "TCP-LISTEN:" + std::to_string(port) + ",reuseaddr,fork", "PIPE"}) {
            EXPECT_TRUE(WaitTcpListening(port, kIo));
        }
        uint16_t port;
        Child socat;
    };

    std::unique_ptr<DataPeer> peer;
    std::unique_ptr<devsim::DeviceSimulator> sim;
    devsim::SimDevice* device = nullptr;
};
