#include "tests/devsim/HostSocket.h"

#include <QVariant>

#include "tests/support/EventPump.h"

devsim::SimulatorOptions TestOptions(uint32_t base) {
    devsim::SimulatorOptions o;
    o.baseAddress = base;
    o.managementPort = kTestManagementPort;
    o.probePort = kTestProbePort;
    o.tftpPort = kTestTftpPort;
    return o;
}

HostSocket::HostSocket() {
    socket_.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(1 << 20));
}

void HostSocket::Send(const QByteArray& data, uint32_t address, uint16_t port) {
    socket_.writeDatagram(data, QHostAddress(address), port);
}

void HostSocket::Send(const QByteArray& data, const devsim::SimDevice& device, devsim::Port port) {
    Send(data, device.Address(),
         port == devsim::Port::Management ? kTestManagementPort : kTestProbePort);
}

void HostSocket::Drain() {
    while (socket_.hasPendingDatagrams()) got_.push_back(socket_.receiveDatagram());
}

bool HostSocket::WaitFor(size_t count) {
    return PumpUntil([&] {
        Drain();
        return got_.size() >= count;
    });
}

void HostSocket::Settle() {
    PumpQuiet();
    Drain();
}
