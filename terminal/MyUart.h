#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSerialPort>
#include <QString>
#include <functional>

// One serial (COM) port of a terminal. Everything runs on the user-interface thread: received
// bytes reach the owner as they arrive, in order, in chunks of 1 to 4096 bytes; bytes to send
// wait in a transmit queue of at most 11792 bytes. Nothing is taken while the port is closed.
//
// Exclusive open: a port is refused while another terminal or program holds it with the
// usual serial-port locks (a lock file in the lock directory, flock on the device, or TIOCEXCL).
// A line the device does not take (a pseudo-terminal refuses 7 data bits and parity) fails.
class CMyUart {
  public:
    static constexpr qsizetype kTxCapacity = 11792;
    static constexpr qsizetype kMaxChunk = 4096;
    // Chunks handed over in one turn of the event loop before other events get theirs.
    static constexpr int kChunksPerTurn = 16;

    // Data bits 8, 7, 6, 5; parity 0 none, 1 odd, 2 even; stop bits 0 one, 1 one and a half,
    // 2 two; flow control 0 none, 1 XON/XOFF, 2 hardware.
    struct Line {
        qint32 baudRate = 9600;
        int dataBits = 8;
        int parity = 0;
        int stopBits = 0;
        int flowControl = 0;
    };

    // Called once per received chunk; chunk.constData()[chunk.size()] is a zero byte.
    using Owner = std::function<void(int terminal, const QByteArray& chunk)>;
    // Called when the device failed under an open port (unplugged, its service gone); the
    // port is closed by then.
    using Lost = std::function<void(const QString& reason)>;

    CMyUart();
    virtual ~CMyUart();
    CMyUart(const CMyUart&) = delete;
    CMyUart& operator=(const CMyUart&) = delete;

    // Opens COM1..COM256 with the line settings; false leaves the port closed and says why in
    // OpenFailure().
    bool Open(const QString& portName, const Line& line, Owner owner, int terminal);
    void Close();
    bool IsOpen() const { return port_.isOpen(); }
    QString OpenFailure() const { return openFailure_; }
    void OnLost(Lost lost) { lost_ = std::move(lost); }
    // Queues bytes for sending; returns how many fitted into the transmit queue (none while
    // the port is closed).
    qsizetype Write(QByteArrayView bytes);
    // Bytes queued and not yet written.
    qsizetype Pending() const;
    // "Purge Buffer": what waits in either direction is discarded.
    void Restart();

    // The one reason given for a device that vanished under an open port.
    static inline const QString kDeviceGone = QStringLiteral("the device was disconnected");

  private:
    void OnReadyRead();
    void OnError(QSerialPort::SerialPortError error);
    void Flush();
    bool Fail(const QString& reason);

    QSerialPort port_;
    QByteArray tx_;  // bytes the port did not take yet
    Owner owner_;
    Lost lost_;
    QString openFailure_;
    int terminal_ = 0;
    bool reading_ = false;
};
