#pragma once

#include <unistd.h>

#include <QByteArray>
#include <memory>
#include <vector>

#include "tests/devmgr/FakeDmFrame.h"
#include "tests/support/EventPump.h"
#include "tests/support/TestNamespace.h"
#include "tools/devsim/DeviceSimulator.h"

// The device manager's world for integration tests: the fake frame with its manual clock and a
// device simulator on loopback. Each test process takes its own management port and its own
// 127.x.y.0/24 for the devices, so that test programs running side by side in one namespace
// never answer each other's searches. Socket events are delivered between clock ticks.
class DmSimNet {
  public:
    static constexpr int kPumpMs = 5;
    static constexpr int kTickMs = 1000;

    FakeDmFrame frame;
    std::unique_ptr<devsim::DeviceSimulator> sim;

    // False outside the isolated namespace (nothing is sent then) or when nothing binds. The
    // devices' TFTP servers are opened only when asked for.
    bool Start(bool tftp = false) {
        if (!InTestNamespace() || !frame.Bind()) return false;
        const auto pid = static_cast<uint32_t>(getpid());
        for (uint32_t attempt = 0; attempt < 64; ++attempt) {
            devsim::SimulatorOptions options;
            options.managementPort =
                static_cast<uint16_t>(30000 + (pid * 7 + attempt * 131) % 30000);
            options.probePort = static_cast<uint16_t>(options.managementPort + 2);
            options.tftpPort = static_cast<uint16_t>(options.managementPort + 4);
            options.tftp = tftp;
            options.baseAddress = 0x7F000000u | ((16 + pid % 200) << 16) | (attempt << 8) | 10u;
            sim = std::make_unique<devsim::DeviceSimulator>(frame.clock, options);
            if (sim->Start()) break;
            sim.reset();
        }
        if (!sim) return false;
        frame.clock.SetPump([] { PumpQuiet(kPumpMs); });
        return true;
    }

    uint16_t DevicePort() const { return sim->Options().managementPort; }

    devsim::SimDevice* Add(devsim::DeviceProfile profile = {}) {
        if (profile.name.isNull()) profile.name = devsim::DefaultProfile(sim->Count()).name;
        return sim->AddDevice(profile);
    }

    void Ticks(int count = 1) { frame.clock.Advance(int64_t{kTickMs} * count); }
    // Delivers what is on its way without moving the clock.
    static void Deliver() { PumpQuiet(kPumpMs); }

    // When a device received a management command, relative to `since`, in milliseconds.
    static std::vector<int64_t> Times(const devsim::SimDevice& device, int command,
                                      int64_t since = 0) {
        std::vector<int64_t> times;
        for (const auto& received : device.Received())
            if (received.port == devsim::Port::Management && received.command == command)
                times.push_back(received.timeMs - since);
        return times;
    }

    static std::vector<QByteArray> Bytes(const devsim::SimDevice& device, int command) {
        std::vector<QByteArray> all;
        for (const auto& received : device.Received())
            if (received.port == devsim::Port::Management && received.command == command)
                all.push_back(received.bytes);
        return all;
    }
};

// Fails a test outside the isolated namespace, where it must not send anything.
#define DM_START_NET(net)                                  \
    ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace; \
    ASSERT_TRUE((net).Start()) << "the simulated devices could not be started"
