#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <QVariant>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// One received management datagram, as a handler sees it: the ring slot itself (2000 bytes,
// whatever a short datagram did not overwrite reads as the slot's older bytes) and the
// received length. A handler that keeps a reply copies it before returning.
struct ReceivedDatagram {
    std::span<const uint8_t> slot;
    int length = 0;
    int slotIndex = 0;
    QHostAddress sender;
    uint16_t senderPort = 0;
    int8_t Command() const { return static_cast<int8_t>(slot[8]); }
};

using ReplyHandler = std::function<void(const ReceivedDatagram&)>;

// The host's management socket: bound to the host address, port 25120, broadcasting allowed.
// Every reply lands in a ring of 256 slots and is dispatched by its command code.
class CBroadcastSocket : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSlotCount = 256;
    static constexpr int kSlotSize = 2000;
    static constexpr uint8_t kFill = 0xCC;
    // Enough kernel buffer for a burst of 256 search replies (about 2.3 KiB each).
    static constexpr int kReceiveBufferBytes = 1 << 20;

    CBroadcastSocket();

    bool Create(const QString& hostAddress, uint16_t port);
    // Why the last Create failed, as a system log line naming the address and port; empty
    // after a Create that succeeded.
    QString CreateFailure() const { return createFailure_; }
    // False, with nothing sent, when the destination is not an address.
    bool Send(const QByteArray& data, const QString& destination, uint16_t port);

    // Search, setup and acknowledgement replies (1, 3, 9, 12).
    void SetDeviceManagerHandler(ReplyHandler handler) { deviceManager_ = std::move(handler); }
    // Status replies (0x11).
    void SetMonitorHandler(ReplyHandler handler) { monitor_ = std::move(handler); }

    int WriteIndex() const { return writeIndex_; }
    int SlotLength(int index) const { return lengths_[index]; }
    std::span<const uint8_t> Slot(int index) const;
    QString LastSenderText() const { return lastSender_.toString(); }
    uint16_t LastSenderPort() const { return lastSenderPort_; }
    uint16_t LocalPort() const { return socket_.localPort(); }

    // The receive path for one datagram; public so that fuzzing and tests can feed it.
    void OnDatagram(std::span<const uint8_t> data, const QHostAddress& sender, uint16_t port);

  private:
    uint8_t* SlotData(int index);
    void OnReadyRead();
    // Records a datagram already in the write slot and hands it on.
    void Accept(int length, const QHostAddress& sender, uint16_t port);
    void Dispatch(int index);

    bool Fail(const QString& hostAddress, uint16_t port, const QString& reason);

    QUdpSocket socket_;
    QString createFailure_;
    std::vector<uint8_t> ring_;  // kSlotCount * kSlotSize, allocated once
    std::array<int, kSlotCount> lengths_;
    std::vector<uint8_t> oversize_;  // drains datagrams too large for a slot
    int writeIndex_ = 0;
    QHostAddress lastSender_;
    uint16_t lastSenderPort_ = 0;
    ReplyHandler deviceManager_;
    ReplyHandler monitor_;
};
