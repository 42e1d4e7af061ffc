#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <cstdint>
#include <vector>

#include "tests/support/EventPump.h"
#include "tools/devsim/DeviceSimulator.h"

// Ports of their own, so that the suite does not hear other simulators that tests running
// in parallel in the same namespace may have opened on the protocol's ports.
inline constexpr uint16_t kTestManagementPort = 35122;
inline constexpr uint16_t kTestProbePort = 35124;
inline constexpr uint16_t kTestTftpPort = 35169;

devsim::SimulatorOptions TestOptions(uint32_t base);

// The host side of a test: one UDP socket on 127.0.0.1 that sends requests and keeps every
// datagram it receives.
class HostSocket {
  public:
    HostSocket();
    uint16_t Port() const { return socket_.localPort(); }
    void Send(const QByteArray& data, uint32_t address, uint16_t port);
    void Send(const QByteArray& data, const devsim::SimDevice& device, devsim::Port port);
    // Waits (for socket events only) until `count` datagrams have arrived in all.
    bool WaitFor(size_t count);
    // Collects whatever else arrives within a short quiet spell.
    void Settle();
    const std::vector<QNetworkDatagram>& Got() const { return got_; }
    void Clear() { got_.clear(); }

  private:
    void Drain();
    QUdpSocket socket_;
    std::vector<QNetworkDatagram> got_;
};

template <typename Container>
bool PumpUntilCount(const Container& c, size_t count) {
    return PumpUntil([&] { return c.size() >= count; });
}
