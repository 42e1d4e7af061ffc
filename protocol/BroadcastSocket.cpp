#include "protocol/BroadcastSocket.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "protocol/Ipv4Address.h"
#include "protocol/Message.h"

CBroadcastSocket::CBroadcastSocket() : ring_(kSlotCount * kSlotSize, kFill) {
    lengths_.fill(-1);
    connect(&socket_, &QUdpSocket::readyRead, this, &CBroadcastSocket::OnReadyRead);
}

bool CBroadcastSocket::Create(const QString& hostAddress, uint16_t port) {
    createFailure_.clear();
    const std::optional<Ipv4Address> host = Ipv4Address::Parse(hostAddress);
    if (!host) return Fail(hostAddress, port, QStringLiteral("not an IPv4 address"));
    // Not shared: a second program on the port would take some of the replies meant for this one.
    if (!socket_.bind(QHostAddress(host->HostOrder()), port, QAbstractSocket::DontShareAddress))
        return Fail(hostAddress, port, socket_.errorString());
    // QUdpSocket allows broadcasting on its own; the option is set again here so that the
    // socket does not depend on that.
    const int on = 1;
    if (setsockopt(static_cast<int>(socket_.socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &on,
                   sizeof on) != 0)
        return Fail(hostAddress, port, QString::fromLocal8Bit(std::strerror(errno)));
    socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                            QVariant(kReceiveBufferBytes));
    return true;
}

bool CBroadcastSocket::Fail(const QString& hostAddress, uint16_t port, const QString& reason) {
    createFailure_ = QStringLiteral("Failed to bind broadcast socket to %1:%2: %3")
                         .arg(hostAddress)
                         .arg(port)
                         .arg(reason);
    return false;
}

bool CBroadcastSocket::Send(const QByteArray& data, const QString& destination, uint16_t port) {
    // Read strictly: an empty or malformed text must not end up a broadcast.
    const std::optional<Ipv4Address> address = Ipv4Address::Parse(destination);
    if (!address) return false;
    return socket_.writeDatagram(data, QHostAddress(address->HostOrder()), port) >= 0;
}

std::span<const uint8_t> CBroadcastSocket::Slot(int index) const {
    return {ring_.data() + static_cast<size_t>(index) * kSlotSize, kSlotSize};
}

uint8_t* CBroadcastSocket::SlotData(int index) {
    return ring_.data() + static_cast<size_t>(index) * kSlotSize;
}

void CBroadcastSocket::OnReadyRead() {
    while (socket_.hasPendingDatagrams()) {
        const qint64 size = socket_.pendingDatagramSize();
        QHostAddress sender;
        quint16 port = 0;
        if (size > kSlotSize) {
            // Too large for a slot: a receive error, the datagram is dropped.
            oversize_.resize(static_cast<size_t>(size));
            socket_.readDatagram(reinterpret_cast<char*>(oversize_.data()), size, &sender, &port);
            continue;
        }
        const qint64 got = socket_.readDatagram(reinterpret_cast<char*>(SlotData(writeIndex_)),
                                                kSlotSize, &sender, &port);
        if (got < 0) {
            lengths_[writeIndex_] = -1;
            continue;
        }
        Accept(static_cast<int>(got), sender, port);
    }
}

void CBroadcastSocket::OnDatagram(std::span<const uint8_t> data, const QHostAddress& sender,
                                  uint16_t port) {
    if (data.size() > static_cast<size_t>(kSlotSize)) return;
    std::copy(data.begin(), data.end(), SlotData(writeIndex_));
    Accept(static_cast<int>(data.size()), sender, port);
}

void CBroadcastSocket::Accept(int length, const QHostAddress& sender, uint16_t port) {
    lengths_[writeIndex_] = length;
    lastSender_ = sender;
    lastSenderPort_ = port;
    Dispatch(writeIndex_);
}

void CBroadcastSocket::Dispatch(int index) {
    uint8_t* slot = SlotData(index);
    const int length = lengths_[index];
    if (!msg::HasMagic({slot, static_cast<size_t>(length)})) {
        std::memset(slot, kFill, kSlotSize);
        return;
    }
    // Advanced before the handlers run: a handler may show a modal box, and a datagram taken
    // in meanwhile must not land in the slot the handler is still reading.
    writeIndex_ = (writeIndex_ + 1) % kSlotCount;
    const ReceivedDatagram datagram{Slot(index), length, index, lastSender_, lastSenderPort_};
    switch (datagram.Command()) {
        case msg::kSearchReply:
        case msg::kSetupReply:
        case msg::kRestoreAck:
        case msg::kRebootAck:
            if (deviceManager_) deviceManager_(datagram);
            break;
        case msg::kStatusReply:
            if (monitor_) monitor_(datagram);
            break;
        default:
            break;
    }
}
