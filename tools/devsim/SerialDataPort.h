#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "tools/devsim/DeviceProfile.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace devsim {

// The serial data side as the device's record sets it up.
struct SerialConfig {
    bool client = false;
    bool udp = false;
    uint16_t listenPort = 0;
    uint16_t destinationPort = 0;
    QString destinationHost;
    SerialAnswer answer = SerialAnswer::Echo;
    uint32_t closeAfter = 0;
};

// A device's serial data port: a TCP server (one peer at a time, a new one replaces the old), a
// TCP client that keeps trying its destination, or a UDP socket; the bytes go to the serial
// line, and what the line answers goes back to the network peer. Only loopback is reached.
class SerialDataPort final : public QObject {
    Q_OBJECT
  public:
    static constexpr int kRetryMs = 1000;

    // counted(toSerial, fromSerial): bytes carried each way, for the status reply's counters.
    SerialDataPort(uint32_t address, std::function<void(uint32_t, uint32_t)> counted,
                   std::function<void(const QString&)> log);
    ~SerialDataPort() override;

    bool Open(const SerialConfig& config);
    void Close();
    bool PeerConnected() const;
    // The port the data socket is bound to (the listen port in server mode).
    uint16_t LocalPort() const;

  private:
    void Connect();
    void Adopt(QTcpSocket* socket);
    void OnTcpData();
    void OnDatagrams();
    QByteArray Answer(const QByteArray& data);
    void Log(const QString& text) const;

    uint32_t address_;
    std::function<void(uint32_t, uint32_t)> counted_;
    std::function<void(const QString&)> log_;
    SerialConfig config_;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QUdpSocket> udp_;
    QTcpSocket* peer_ = nullptr;
    QTimer* retry_ = nullptr;
    uint32_t carried_ = 0;  // bytes of the current connection
};

}  // namespace devsim
