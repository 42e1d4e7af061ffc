#pragma once

#include <QStringList>
#include <initializer_list>
#include <vector>

#include "monitor/MonitorFrame.h"
#include "tests/devmgr/DmSimNet.h"
#include "tests/support/TestNamespace.h"

// The main frame as the monitor sees it: the device manager's fake frame (manual clock,
// scripted prompts, broadcast socket on loopback) plus the ticked devices and the interval.
class FakeMonitorFrame final : public MonitorFrame {
  public:
    explicit FakeMonitorFrame(FakeDmFrame& base) : base_(base) {}

    std::vector<MonitorDevice> devices;  // ticked
    std::vector<MonitorDevice> listed;   // the whole list as it is now
    int interval = 3;

    void AddLog(const QString& text) override { base_.log << text; }
    TimerHost& Timers() override { return base_.clock; }
    UserPrompts& Prompts() override { return base_.prompts; }
    CBroadcastSocket& BroadcastSocket() override { return base_.socket; }
    QString HostAddress() const override { return base_.hostAddress; }
    NetInterfaces& Net() override { return base_.Net(); }
    std::vector<MonitorDevice> CheckedDevices() const override { return devices; }
    std::vector<MonitorDevice> ListedDevices() const override { return listed; }
    int MonitorInterval() const override { return interval; }
    void SetMonitorInterval(int seconds) override { interval = seconds; }

  private:
    FakeDmFrame& base_;
};

// Simulated devices on loopback, each listed as a ticked device of the device manager.
struct MonitorSimNet {
    DmSimNet net;
    FakeMonitorFrame frame{net.frame};

    // The devices in order; row i of the monitor is device i, with number i * 2 so that the
    // number is seen to come from the device manager's list.
    bool Start(std::initializer_list<devsim::DeviceProfile> profiles) {
        if (!net.Start()) return false;
        for (const devsim::DeviceProfile& profile : profiles) {
            devsim::SimDevice* device = net.Add(profile);
            if (!device) return false;
            const int index = static_cast<int>(frame.devices.size());
            frame.devices.push_back({index * 2, device->Profile().name, device->AddressText(),
                                     device->StoredRecord().MacAddressText()});
            frame.listed.push_back(frame.devices.back());
        }
        return true;
    }

    devsim::SimDevice& Device(int index) { return net.sim->Device(index); }
    std::vector<int64_t> Queries(int index) {
        return DmSimNet::Times(Device(index), msg::kStatusQuery);
    }
    int64_t Now() const { return net.frame.clock.Now(); }
    void Advance(int64_t ms) { net.frame.clock.Advance(ms); }
    QStringList& Log() { return net.frame.log; }
};

inline devsim::DeviceProfile Silent() {
    devsim::DeviceProfile profile;
    profile.faults.silent = true;
    return profile;
}

// In a fixture with Begin(profiles): fails the test outside the isolated namespace, where it
// must not send anything.
#define MONITOR_BEGIN(...)                                 \
    ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace; \
    ASSERT_TRUE(Begin(__VA_ARGS__)) << "the simulated devices could not be started"
