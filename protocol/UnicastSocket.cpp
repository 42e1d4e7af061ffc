#include "protocol/UnicastSocket.h"

#include "protocol/Message.h"
#include "protocol/OneHost.h"

CUnicastSocket::CUnicastSocket(uint16_t port) : port_(port), buffer_(kBufferSize) {
    connect(&socket_, &QUdpSocket::readyRead, this, &CUnicastSocket::Drain);
}

namespace {

// A device's (or the host's) address: parsed, never looked up (a host name lookup would block
// the user-interface thread), and one host's.
std::optional<Ipv4Address> OneHostAddress(const QString& text) {
    const std::optional<Ipv4Address> address = Ipv4Address::Parse(text);
    if (!address || !WhyNotOneHost(*address, {}, Ipv4Address()).isEmpty()) return std::nullopt;
    return address;
}

}  // namespace

bool CUnicastSocket::Create(const QString& hostAddress) {
    created_ = socket_.bind(QHostAddress(hostAddress), port_);
    return created_;
}

bool CUnicastSocket::Send(const QByteArray& data, uint16_t port, const QString& destination) {
    const std::optional<Ipv4Address> address = OneHostAddress(destination);
    if (!address) return false;
    return socket_.writeDatagram(data, QHostAddress(address->HostOrder()), port) >= 0;
}

bool CUnicastSocket::Announce(const QString& hostAddress, const QString& deviceAddress,
                              std::array<uint8_t, 2> reportedPort) {
    // The host's own address, which must name one host as well.
    const std::optional<Ipv4Address> host = OneHostAddress(hostAddress);
    if (!host || !OneHostAddress(deviceAddress)) return false;
    if (!created_ && !Create(hostAddress)) return false;
    const QByteArray announcement = msg::BuildHostAnnouncement(host->HostOrder(), reportedPort);
    bool sent = true;
    for (int i = 0; i < kAnnouncementRepeats; ++i)
        sent = Send(announcement, msg::kDeviceProbePort, deviceAddress) && sent;
    return sent;
}

void CUnicastSocket::Drain() {
    while (socket_.hasPendingDatagrams()) socket_.readDatagram(buffer_.data(), kBufferSize);
}
