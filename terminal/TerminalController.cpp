#include "terminal/TerminalController.h"

#include <algorithm>

namespace {

// The list value at index, or -1 (which no port takes) outside the list.
template <size_t N>
int ValueAt(const std::array<int, N>& values, int index) {
    return index >= 0 && index < static_cast<int>(N) ? values[static_cast<size_t>(index)] : -1;
}

}  // namespace

using C = TermControl;

TerminalController::TerminalController(TerminalFrame& frame, int number, QObject* parent)
    : QObject(parent), frame_(frame), timers_(frame.Timers()), number_(number) {
    Enable({C::kOpenPort, C::kTxInterval, C::kTxLength, C::kLineSettings}, true);
    uart_.OnLost([this](const QString& reason) { PortLost(reason); });
}

TerminalController::~TerminalController() {
    timers_.KillAll(this);
    uart_.Close();
}

void TerminalController::Enable(std::initializer_list<TermControl> controls, bool enabled) {
    for (TermControl c : controls) enabled_[Index(c)] = enabled;
}

void TerminalController::ScanPorts(const QSet<QString>& held) {
    ports_ = ScanComPorts(held);
    const bool anyFree =
        std::any_of(ports_.begin(), ports_.end(), [](const ComPortChoice& p) { return !p.held; });
    enabled_[Index(C::kOpenPort)] = anyFree && !IsOpen();
    emit portsChanged();
    emit controlsChanged();
}

bool TerminalController::OpenPort(const TermLineChoice& choice) {
    const int baud = term::BaudRateAt(choice.baudIndex);
    const CMyUart::Line line{baud, ValueAt(term::kDataBits, choice.dataBitsIndex),
                             ValueAt(term::kParities, choice.parityIndex),
                             ValueAt(term::kStopBits, choice.stopBitsIndex),
                             ValueAt(term::kFlowControls, choice.flowIndex)};
    const auto owner = [this](int, const QByteArray& chunk) { OnReceived(chunk); };
    if (baud == 0 || !uart_.Open(choice.portName, line, owner, number_)) {
        const QString reason =
            baud == 0 ? QStringLiteral("no such baud rate") : uart_.OpenFailure();
        Log(QStringLiteral("Open %1 failed! %2.\r\n").arg(choice.portName, reason));
        return false;
    }
    if (baud == 9600 && !frame_.IsVirtualComPort(choice.portName)) raw_ = false;
    portName_ = choice.portName;
    baudIndex_ = choice.baudIndex;
    Log(QStringLiteral("Open %1 successfully.\r\n").arg(portName_));
    SetTxValues(tx_.interval, tx_.length, baudIndex_);
    Enable({C::kClosePort, C::kAutoTest, C::kTxLength, C::kTxInterval, C::kEcho, C::kPurgeBuffer},
           true);
    Enable({C::kOpenPort, C::kLineSettings}, false);
    if (echo_) RunEcho(true);
    emit controlsChanged();
    return true;
}

void TerminalController::ClosePort() {
    Shut(QStringLiteral(" closed.\r\n"));
}

void TerminalController::PortLost(const QString& reason) {
    Shut(QStringLiteral(" closed: %1.\r\n").arg(reason));
}

void TerminalController::Shut(const QString& how) {
    if (autoTest_) frame_.AddLog(portName_ + QStringLiteral(" Auto Test function stoped."));
    autoTest_ = false;
    echo_ = false;
    uart_.Close();
    timers_.KillTimer(this, AutoTestTimer());
    // Bytes that arrived for Echo belong to the closed port, not to the next one opened.
    timers_.KillTimer(this, EchoTimer());
    echoBuffer_.Take();
    const QString name = std::exchange(portName_, {});
    Enable({C::kClosePort, C::kAutoTest, C::kEcho, C::kPurgeBuffer}, false);
    Enable({C::kOpenPort, C::kLineSettings, C::kTxInterval, C::kTxLength}, true);
    Log(name + how);
    emit controlsChanged();
}

bool TerminalController::ClosePortNamed(const QString& portName) {
    if (!IsOpen() || portName_ != portName) return false;
    timers_.KillTimer(this, AutoTestTimer());
    ClosePort();
    return true;
}

void TerminalController::PurgeBuffer() {
    uart_.Restart();
}

void TerminalController::SetAutoTest(bool on) {
    if (on == autoTest_ || (on && (!IsOpen() || echo_))) return;
    autoTest_ = on;
    // Close Port stays: it ends the test with the port.
    Enable({C::kPurgeBuffer, C::kEcho, C::kTxLength, C::kTxInterval}, !on);
    if (on) {
        frame_.AddLog(portName_ + QStringLiteral(" Auto Test function starts."));
        timers_.SetTimer(this, AutoTestTimer(), static_cast<int>(tx_.interval));
        Send(pattern_.Start(tx_.length));
    } else {
        frame_.AddLog(portName_ + QStringLiteral(" Auto Test function stoped."));
        timers_.KillTimer(this, AutoTestTimer());
    }
    emit controlsChanged();
}

void TerminalController::SetEcho(bool on) {
    if (on == echo_ || (on && autoTest_)) return;
    echo_ = on;
    if (IsOpen()) RunEcho(on);
    emit controlsChanged();
}

void TerminalController::RunEcho(bool on) {
    Enable({C::kPurgeBuffer, C::kAutoTest}, !on);
    if (on)
        timers_.SetTimer(this, EchoTimer(), kEchoPeriodMs);
    else
        timers_.KillTimer(this, EchoTimer());
}

void TerminalController::Type(QByteArrayView bytes) {
    if (!IsOpen()) return;
    const QByteArray sent = console_.Typed(bytes, !raw_);
    if (sent.isEmpty()) return;
    Send(sent);
    if (localEcho_) emit logInserted(sent, term::LogKind::kData, false);
}

void TerminalController::SetTxValues(qint64 interval, qint64 length, int baudIndex) {
    tx_ = term::ApplyTxLimits(interval, length, term::BaudRateAt(baudIndex));
    emit controlsChanged();
}

void TerminalController::Send(QByteArrayView bytes) {
    const qsizetype taken = uart_.Write(bytes);
    if (taken < bytes.size())
        Log(QStringLiteral("%1 bytes not sent: transmit buffer full\r\n")
                .arg(bytes.size() - taken));
}

void TerminalController::OnTimer(int timerId) {
    if (timerId == AutoTestTimer() && autoTest_) {
        Send(pattern_.Next(tx_.length));
    } else if (timerId == EchoTimer() && !echoBuffer_.IsEmpty()) {
        Send(echoBuffer_.Take());
    }
}

bool TerminalController::StartCapture(const QString& path, QString* error) {
    StopCapture();
    if (!capture_.Start(path, error)) return false;
    Log(QStringLiteral("Capture to %1 started.\r\n").arg(path));
    emit controlsChanged();
    return true;
}

void TerminalController::StopCapture() {
    if (!capture_.Running()) return;
    const qint64 written = capture_.Stop();
    Log(QStringLiteral("Capture to %1 ended: %2 bytes.\r\n").arg(capture_.Path()).arg(written));
    emit controlsChanged();
}

void TerminalController::Capture(const QByteArray& chunk) {
    QString error;
    if (capture_.Write(chunk, &error)) return;
    Log(QStringLiteral("Capture to %1 stopped: %2 (%3 bytes written).\r\n")
            .arg(capture_.Path(), error)
            .arg(capture_.Written()));
    emit controlsChanged();
}

void TerminalController::OnReceived(const QByteArray& chunk) {
    Capture(chunk);
    if (echo_ && echoBuffer_.Append(chunk)) {
        Send(echoBuffer_.Take());
        timers_.SetTimer(this, EchoTimer(), kEchoPeriodMs);
    }
    // Console mode follows every chunk for its typed count, also while Hex shows the bytes.
    const QByteArrayView text = term::DisplayPart(chunk);
    const QByteArray shown = !raw_              ? console_.Display(text)
                             : viewOptions_.hex ? QByteArray()
                                                : text.toByteArray();
    const term::ReceivedText received =
        receivedView_.Format(chunk, shown, viewOptions_, frame_.CurrentTime());
    if (!received.text.isEmpty())
        emit logInserted(received.text, term::LogKind::kData, received.ownLine);
}
