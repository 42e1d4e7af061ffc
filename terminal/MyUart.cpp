#include "terminal/MyUart.h"

#include <poll.h>
#include <sys/file.h>
#include <termios.h>

#include <algorithm>
#include <optional>

#include "terminal/ComPorts.h"

namespace {

struct SerialLine {
    QSerialPort::DataBits dataBits;
    QSerialPort::Parity parity;
    QSerialPort::StopBits stopBits;
    QSerialPort::FlowControl flow;
};

// The line as the serial library names it; nullopt for values the port cannot take.
std::optional<SerialLine> ToSerialLine(const CMyUart::Line& line) {
    SerialLine out{};
    if (line.dataBits < 5 || line.dataBits > 8) return std::nullopt;
    out.dataBits = static_cast<QSerialPort::DataBits>(line.dataBits);
    switch (line.parity) {
        case 0:
            out.parity = QSerialPort::NoParity;
            break;
        case 1:
            out.parity = QSerialPort::OddParity;
            break;
        case 2:
            out.parity = QSerialPort::EvenParity;
            break;
        default:
            return std::nullopt;
    }
    switch (line.stopBits) {
        case 0:
            out.stopBits = QSerialPort::OneStop;
            break;
        // A UART sends one and a half stop bits only with 5 data bits, as two stop bits do.
        case 1:
            if (line.dataBits != 5) return std::nullopt;
            out.stopBits = QSerialPort::TwoStop;
            break;
        case 2:
            out.stopBits = QSerialPort::TwoStop;
            break;
        default:
            return std::nullopt;
    }
    switch (line.flowControl) {
        case 0:
            out.flow = QSerialPort::NoFlowControl;
            break;
        case 1:
            out.flow = QSerialPort::SoftwareControl;
            break;
        case 2:
            out.flow = QSerialPort::HardwareControl;
            break;
        default:
            return std::nullopt;
    }
    return out;
}

// Whether the device took the line: a pseudo-terminal keeps 8 bits and no parity without
// failing the request.
bool LineTaken(int fd, const SerialLine& line) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    const bool parity = line.parity != QSerialPort::NoParity;
    const bool software = line.flow == QSerialPort::SoftwareControl;
    return (t.c_cflag & CSIZE) == sizes[line.dataBits - 5] &&
           ((t.c_cflag & PARENB) != 0) == parity &&
           (!parity || ((t.c_cflag & PARODD) != 0) == (line.parity == QSerialPort::OddParity)) &&
           ((t.c_cflag & CSTOPB) != 0) == (line.stopBits == QSerialPort::TwoStop) &&
           ((t.c_cflag & CRTSCTS) != 0) == (line.flow == QSerialPort::HardwareControl) &&
           ((t.c_iflag & IXON) != 0) == software && ((t.c_iflag & IXOFF) != 0) == software;
}

// Opens the device behind the COM name for reading and writing, and only if nobody else
// holds it: the library takes the lock file and TIOCEXCL, flock covers programs that lock
// the device itself (and root, whom TIOCEXCL does not stop). Empty, or why it failed.
QString OpenExclusive(QSerialPort& port, const QString& portName) {
    const QString path = ComDevicePath(portName);
    if (path.isEmpty()) return QStringLiteral("not a COM port name");
    port.setPortName(path);
    if (!port.open(QIODevice::ReadWrite)) return port.errorString();
    if (flock(port.handle(), LOCK_EX | LOCK_NB) != 0) {
        port.close();
        return QStringLiteral("another program holds the port");
    }
    return {};
}

const QString kLineRefused = QStringLiteral("the port does not take these line settings");

constexpr short kHungUp = POLLHUP | POLLERR | POLLNVAL;

// Whether the line reports any of the events now, without waiting.
bool PollsAs(int fd, short events) {
    pollfd p{fd, static_cast<short>(events & POLLOUT), 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & events) != 0;
}

}  // namespace

CMyUart::CMyUart() {
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { OnReadyRead(); });
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { OnError(error); });
}

CMyUart::~CMyUart() {
    Close();
}

bool CMyUart::Open(const QString& portName, const Line& line, Owner owner, int terminal) {
    owner_ = std::move(owner);
    terminal_ = terminal;
    Close();
    const std::optional<SerialLine> serial = ToSerialLine(line);
    if (!serial) return Fail(kLineRefused);
    port_.setBaudRate(line.baudRate);
    port_.setDataBits(serial->dataBits);
    port_.setParity(serial->parity);
    port_.setStopBits(serial->stopBits);
    port_.setFlowControl(serial->flow);
    // The library applies the line at open and closes the port again when the device
    // refuses any part of it.
    if (const QString failure = OpenExclusive(port_, portName); !failure.isEmpty())
        return Fail(failure);
    if (!LineTaken(port_.handle(), *serial)) {
        port_.close();
        return Fail(kLineRefused);
    }
    port_.clear(QSerialPort::AllDirections);
    openFailure_.clear();
    return true;
}

bool CMyUart::Fail(const QString& reason) {
    openFailure_ = reason;
    return false;
}

void CMyUart::Close() {
    tx_.clear();
    if (port_.isOpen()) port_.close();
}

void CMyUart::OnError(QSerialPort::SerialPortError error) {
    // A device that is gone fails every read and write from now on, and its line polls as
    // hung up; other errors (a refused open, a timeout, a device that was full for a moment)
    // leave the port as it is. A hung-up tty reads as end of file, which the library
    // reports, again at each turn of the event loop, as a read error with a stale errno; the
    // library's texts for the same event vary, so the user gets one.
    if (!port_.isOpen() || !PollsAs(port_.handle(), kHungUp)) return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
    Close();
    if (lost_) lost_(kDeviceGone);
}

qsizetype CMyUart::Write(QByteArrayView bytes) {
    if (!port_.isOpen()) return 0;
    const qsizetype taken = std::min(bytes.size(), std::max<qsizetype>(0, kTxCapacity - Pending()));
    tx_.append(bytes.first(taken));
    Flush();
    return taken;
}

qsizetype CMyUart::Pending() const {
    return tx_.size() + (port_.isOpen() ? port_.bytesToWrite() : 0);
}

void CMyUart::Restart() {
    tx_.clear();
    if (port_.isOpen()) port_.clear(QSerialPort::AllDirections);
}

void CMyUart::Flush() {
    if (tx_.isEmpty() || !port_.isOpen()) return;
    if (port_.write(tx_) != tx_.size()) return;
    tx_.clear();
    // Hand the bytes to the device now, as far as it takes them without blocking: a reader
    // that echoes a flood must not wait for the next turn of the event loop to send. Only
    // when it has room: the library reports a full device as a lost one.
    if (PollsAs(port_.handle(), POLLOUT)) port_.flush();
}

void CMyUart::OnReadyRead() {
    // Topping a chunk up reads the device again, which announces itself once more.
    if (reading_) return;
    reading_ = true;
    for (int n = 0; n < kChunksPerTurn && port_.isOpen(); ++n) {
        const QByteArray chunk = port_.read(kMaxChunk);
        if (chunk.isEmpty()) break;
        // The owner may close the port while it handles a chunk: the loop checks each time.
        if (owner_) owner_(terminal_, chunk);
    }
    reading_ = false;
    if (port_.isOpen() && port_.bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            &port_, [this] { OnReadyRead(); }, Qt::QueuedConnection);
}
