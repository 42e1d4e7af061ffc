#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <functional>

// The push upgrade's UDP endpoint. Addresses are 32-bit host-order numbers.
class TftpTransport {
  public:
    // The packet is valid only during the call.
    using Receiver = std::function<void(QByteArrayView packet, uint32_t address, uint16_t port)>;

    virtual ~TftpTransport() = default;
    // Binds to hostAddress with a port the system picks and allows broadcast.
    virtual bool Open(uint32_t hostAddress) = 0;
    // The number of bytes sent, or -1 with LastError() telling why.
    virtual int64_t SendTo(const QByteArray& packet, uint32_t address, uint16_t port) = 0;
    virtual int LastError() const = 0;
    // Called with every datagram received, on the thread that opened the endpoint.
    virtual void SetReceiver(Receiver receiver) = 0;
};
