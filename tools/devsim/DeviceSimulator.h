#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ManualClock.h"
#include "platform/TimerHost.h"
#include "protocol/Message.h"
#include "tools/devsim/DeviceProfile.h"
#include "tools/devsim/SimDevice.h"

namespace devsim {

inline constexpr uint32_t kDefaultBaseAddress = 0x7F00000A;  // 127.0.0.10
inline constexpr uint16_t kTftpPort = 69;

struct SimulatorOptions {
    uint32_t baseAddress = kDefaultBaseAddress;
    uint16_t managementPort = msg::kDevicePort;
    uint16_t probePort = msg::kDeviceProbePort;
    uint16_t tftpPort = kTftpPort;
    bool tftp = true;
    // When nonzero, the shared listener answers only searches sent from this port. Test
    // programs that run side by side in one namespace all hear each other's broadcasts on the
    // management port; a host socket on an ephemeral port plus this filter keeps them apart.
    uint16_t searchSenderPort = 0;
    // Every device keeps what it received and sent (Received(), Sent()) for tests to read;
    // the program turns this off so that a simulator left running does not grow.
    bool recordTraffic = true;
};

// Any number of simulated devices on loopback addresses, on the thread's event loop. Searches
// broadcast to 255.255.255.255 reach only sockets bound to the wildcard address, so one shared
// listener on 0.0.0.0 takes them and every device answers from its own address; unicast
// commands go straight to each device's own sockets. Timed behaviour (restarts, late answers)
// runs on the injected TimerHost, so tests drive it with a manual clock:
//
//   ManualClock clock;
//   DeviceSimulator sim(clock);             // or (clock, options) for other ports or addresses
//   sim.Start();                            // the search listener
//   sim.AddDevices(3);                      // 127.0.0.10 .. 12, numbered names
//   sim.Device(1).SetFaults(faults);        // silent, late, twice, without magic
//   ... the code under test sends; PumpUntil(...) delivers the answers ...
//   sim.Device(0).Received(), .StoredRecord(), .Announcements(), .Images()
//   clock.Advance(sim.Device(0).Profile().restartMs);  // ends a restart
class DeviceSimulator {
  public:
    using Clock = std::function<int64_t()>;
    using Log = std::function<void(const QString&)>;

    // An empty clock measures real milliseconds since construction.
    explicit DeviceSimulator(TimerHost& timers, Clock now = {}, SimulatorOptions options = {});
    // Time stamps follow the manual clock's virtual time.
    explicit DeviceSimulator(ManualClock& clock, SimulatorOptions options = {});
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Opens the shared search listener; false when the port cannot be bound.
    bool Start();
    // Adds one device and opens its sockets; nullptr when its address is outside 127.0.0.0/8,
    // already taken, or cannot be bound. An address of 0 takes the next free one.
    SimDevice* AddDevice(const DeviceProfile& profile = {});
    // Adds `count` devices with DefaultProfile values; false at the first that fails.
    bool AddDevices(int count);

    int Count() const { return static_cast<int>(devices_.size()); }
    SimDevice& Device(int index) { return *devices_.at(static_cast<size_t>(index)); }
    SimDevice* FindByAddress(uint32_t address);
    SimDevice* FindByMac(const Mac& mac);
    const SimulatorOptions& Options() const { return options_; }

    void SetLog(Log log) { context_.log = std::move(log); }
    int RefusedSends() const;
    // Search requests the listener took in (each device records its own copy too).
    int SearchesReceived() const { return searches_; }

    // The listener's receive path; public so that tests can feed any sender.
    void OnBroadcast(const QByteArray& data, const QHostAddress& sender, uint16_t senderPort,
                     const QHostAddress& destination = QHostAddress());

  private:
    void ReadListener();
    uint32_t NextFreeAddress();
    bool AddressFree(uint32_t address) const;

    SimulatorOptions options_;
    SimContext context_;
    std::unique_ptr<QUdpSocket> listener_;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    uint32_t nextAddress_;
    int searches_ = 0;
};

// The values a device gets when nothing else is asked for: a numbered name, VCOM server.
DeviceProfile DefaultProfile(int index);

}  // namespace devsim
