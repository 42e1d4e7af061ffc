#include "protocol/UnicastSocket.h"

#include "protocol/Address.h"
#include "protocol/Message.h"

CUnicastSocket::CUnicastSocket(uint16_t port) : port_(port), buffer_(kBufferSize) {
    connect(&socket_, &QUdpSocket::readyRead, this, &CUnicastSocket::Drain);
}

bool CUnicastSocket::Create(const QString& hostAddress) {
    created_ = socket_.bind(QHostAddress(hostAddress), port_);
    return created_;
}

bool CUnicastSocket::Send(const QByteArray& data, uint16_t port, const QString& destination) {
    // Parsed, never looked up: a host name lookup would block the user-interface thread.
    const std::optional<uint32_t> address = ParseUnicastAddress(destination);
    if (!address) return false;
    return socket_.writeDatagram(data, QHostAddress(*address), port) >= 0;
}

bool CUnicastSocket::Announce(const QString& hostAddress, const QString& deviceAddress,
                              std::array<uint8_t, 2> reportedPort) {
    const std::optional<uint32_t> host = ParseUnicastAddress(hostAddress);
    if (!host || !ParseUnicastAddress(deviceAddress)) return false;
    if (!created_ && !Create(hostAddress)) return false;
    const QByteArray announcement = msg::BuildHostAnnouncement(*host, reportedPort);
    bool sent = true;
    for (int i = 0; i < kAnnouncementRepeats; ++i)
        sent = Send(announcement, msg::kDeviceProbePort, deviceAddress) && sent;
    return sent;
}

void CUnicastSocket::Drain() {
    while (socket_.hasPendingDatagrams()) socket_.readDatagram(buffer_.data(), kBufferSize);
}
