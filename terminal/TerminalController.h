#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

#include "platform/TimerHost.h"
#include "terminal/CaptureFile.h"
#include "terminal/ComPorts.h"
#include "terminal/MyUart.h"
#include "terminal/ReceivedView.h"
#include "terminal/TerminalFrame.h"
#include "terminal/TerminalRules.h"

// The controls of one terminal whose enabled state follows the port, Auto Test and Echo.
enum class TermControl {
    kOpenPort,
    kClosePort,
    kPurgeBuffer,
    kAutoTest,
    kEcho,
    kTxInterval,
    kTxLength,
    kLineSettings,  // the six lists
};
inline constexpr int kTermControlCount = 8;

// What Open Port reads from the six lists.
struct TermLineChoice {
    QString portName;
    int baudIndex = 0;
    int dataBitsIndex = 0;
    int parityIndex = 2;
    int stopBitsIndex = 0;
    int flowIndex = 0;
};

// One COM terminal without its widgets: its port, the Auto Test and Echo flows on the
// frame's timers, the display and typing rules and the enabled state of its controls. The
// view shows what it says and inserts the log text it hands out.
class TerminalController : public QObject, public TimerClient {
    Q_OBJECT
  public:
    static constexpr int kEchoPeriodMs = 1000;

    // number is 1 or 2: terminal 1 uses timers 1 and 3, terminal 2 timers 2 and 4.
    TerminalController(TerminalFrame& frame, int number, QObject* parent = nullptr);
    ~TerminalController() override;

    int Number() const { return number_; }
    int AutoTestTimer() const { return number_; }
    int EchoTimer() const { return number_ + 2; }

    // The port list: the COM ports there are, those in `held` marked as held (the port
    // service's word and the other terminal's open port); none is opened to find out.
    void ScanPorts(const QSet<QString>& held);
    const QList<ComPortChoice>& Ports() const { return ports_; }

    bool OpenPort(const TermLineChoice& choice);
    void ClosePort();
    // Closes the port if it is the named one; true when it was.
    bool ClosePortNamed(const QString& portName);
    void PurgeBuffer();
    void SetAutoTest(bool on);
    // While the port is closed this only ticks the box (as the settings do); Echo then runs
    // from the moment the port opens.
    void SetEcho(bool on);
    // Bytes of a key typed, or a paste, while the terminal's log has the focus; nothing goes
    // out while the port is closed. With Local Echo the log shows what went.
    void Type(QByteArrayView bytes);
    void SetLineEnding(term::LineEnding ending) { lineEnding_ = ending; }
    term::LineEnding LineEnding() const { return lineEnding_; }
    void SetLocalEcho(bool on) { localEcho_ = on; }
    bool LocalEchoOn() const { return localEcho_; }
    // Applies the limits to edited TX values (baudIndex: the baud list's current index).
    void SetTxValues(qint64 interval, qint64 length, int baudIndex);
    // The Hex and Time boxes: how chunks that arrive from now on are shown.
    void SetReceivedView(term::ReceivedViewOptions options) { viewOptions_ = options; }
    // Every byte received from now on goes to the file, until StopCapture; false with the
    // reason in `error` when the file cannot be written.
    bool StartCapture(const QString& path, QString* error);
    void StopCapture();

    bool IsOpen() const { return uart_.IsOpen(); }
    QString PortName() const { return portName_; }
    bool RawDisplay() const { return raw_; }
    bool AutoTestOn() const { return autoTest_; }
    bool EchoOn() const { return echo_; }
    term::TxValues Tx() const { return tx_; }
    bool Enabled(TermControl control) const { return enabled_[Index(control)]; }
    int TypedCount() const { return console_.TypedCount(); }
    bool Capturing() const { return capture_.Running(); }
    QString CapturePath() const { return capture_.Path(); }

    void OnTimer(int timerId) override;
    void OnReceived(const QByteArray& chunk);

  signals:
    // Text for the terminal's log; the view applies the log limits of its kind, and starts a
    // line first for text on a line of its own when the log stands in the middle of one.
    void logInserted(const QByteArray& text, term::LogKind kind, bool ownLine);
    void controlsChanged();
    void portsChanged();

  private:
    static size_t Index(TermControl c) { return static_cast<size_t>(c); }
    void Enable(std::initializer_list<TermControl> controls, bool enabled);
    // Closes the port and gives the controls back; the log says "<port><how>".
    void Shut(const QString& how);
    // The device failed under the open port.
    void PortLost(const QString& reason);
    void Send(QByteArrayView bytes);
    void Log(const QString& text) {
        emit logInserted(text.toLatin1(), term::LogKind::kStatus, false);
    }
    void Capture(const QByteArray& chunk);
    void RunEcho(bool on);

    TerminalFrame& frame_;
    TimerHost& timers_;
    const int number_;
    CMyUart uart_;
    QList<ComPortChoice> ports_;
    QString portName_;
    int baudIndex_ = 0;  // of the open port
    term::TxValues tx_;
    bool autoTest_ = false;
    bool echo_ = false;
    bool raw_ = true;
    bool localEcho_ = false;
    term::LineEnding lineEnding_ = term::LineEnding::kCr;
    term::AutoTestPattern pattern_;
    term::EchoBuffer echoBuffer_;
    term::ConsoleInput console_;
    term::ReceivedViewOptions viewOptions_;
    term::ReceivedView receivedView_;
    CaptureFile capture_;
    std::array<bool, kTermControlCount> enabled_{};
};
