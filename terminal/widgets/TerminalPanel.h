#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <array>

#include "terminal/TerminalController.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class CommitNumberEdit;

// The port list scans the ports each time it is dropped down.
class PortComboBox final : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;
    void showPopup() override {
        emit aboutToDropDown();
        QComboBox::showPopup();
    }
  signals:
    void aboutToDropDown();
};

// The six lists of a terminal, in the order of the form.
enum class TermList { kPort, kBaudRate, kDataBits, kParity, kStopBits, kFlowControl };
inline constexpr int kTermListCount = 6;

// One terminal of the view, "COM Terminal 1" or "COM Terminal 2": its lists, buttons, boxes
// and log. The controller holds the port and the flows; the panel shows them.
class TerminalPanel final : public QGroupBox {
    Q_OBJECT
  public:
    TerminalPanel(TerminalFrame& frame, int number, QWidget* parent = nullptr);
    ~TerminalPanel() override;

    TerminalController& Controller() { return terminal_; }
    void ApplySettings(const TerminalSettings& settings);
    TerminalSettings CollectSettings() const;
    void ScanPorts() { terminal_.ScanPorts(); }

    QComboBox* List(TermList list) const { return lists_[static_cast<size_t>(list)]; }
    QPushButton* OpenButton() const { return open_; }
    QPushButton* CloseButton() const { return close_; }
    QPushButton* PurgeButton() const { return purge_; }
    QPushButton* ClearButton() const { return clear_; }
    QCheckBox* AutoTestBox() const { return autoTest_; }
    QCheckBox* EchoBox() const { return echo_; }
    QCheckBox* HexBox() const { return hex_; }
    QCheckBox* TimeBox() const { return time_; }
    QPushButton* CaptureButton() const { return capture_; }
    CommitNumberEdit* IntervalEdit() const { return interval_; }
    CommitNumberEdit* LengthEdit() const { return length_; }
    QPlainTextEdit* Log() const { return log_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildForm();
    void Connect();
    void CommitTxEdits();
    void OnOpen();
    void OnCapture();
    void ApplyReceivedView();
    void ClearLog();
    void ShowControls();
    void ShowPorts();
    void Insert(const QByteArray& text, term::LogKind kind, bool ownLine);

    TerminalFrame& frame_;
    TerminalController terminal_;
    std::array<QComboBox*, kTermListCount> lists_{};
    QPushButton* open_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* purge_ = nullptr;
    QPushButton* clear_ = nullptr;
    QCheckBox* autoTest_ = nullptr;
    QCheckBox* echo_ = nullptr;
    QCheckBox* hex_ = nullptr;
    QCheckBox* time_ = nullptr;
    QPushButton* capture_ = nullptr;
    CommitNumberEdit* interval_ = nullptr;
    CommitNumberEdit* length_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    bool afterCr_ = false;  // the log's last character came from a CR
};
