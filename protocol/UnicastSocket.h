#pragma once

#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <array>
#include <cstdint>
#include <vector>

// The socket that tells a device which host serves its virtual port: bound to the host
// address, port 25125, created on first use and then kept. What arrives on it is read and
// dropped.
class CUnicastSocket : public QObject {
    Q_OBJECT
  public:
    static constexpr int kBufferSize = 2000;
    static constexpr int kAnnouncementRepeats = 3;

    explicit CUnicastSocket(uint16_t port);
    bool IsCreated() const { return created_; }
    bool Create(const QString& hostAddress);
    // The destination is the dotted address of one host; anything else sends nothing.
    bool Send(const QByteArray& data, uint16_t port, const QString& destination);
    // Sends the 16-byte host announcement three times to the device's probe port; nothing
    // when either address is not the dotted address of one host.
    bool Announce(const QString& hostAddress, const QString& deviceAddress,
                  std::array<uint8_t, 2> reportedPort);

  private:
    void Drain();
    QUdpSocket socket_;
    uint16_t port_;
    bool created_ = false;
    std::vector<char> buffer_;
};
