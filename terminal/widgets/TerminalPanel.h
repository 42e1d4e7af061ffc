#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <array>

#include "terminal/TerminalController.h"

class QCheckBox;
class QPushButton;
class CommitNumberEdit;
class TerminalLog;

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
    const TerminalController& Controller() const { return terminal_; }
    void ApplySettings(const TerminalSettings& settings);
    TerminalSettings CollectSettings() const;
    // The port that Open Port opens: the list's port, also where the list shows it marked.
    QString SelectedPort() const;
    // Selects the entry that stands for a stored index (the baud list shows its rates in rising
    // order, not in the order of their indexes).
    static void SelectStored(QComboBox* list, int index);
    static int StoredIndex(const QComboBox* list) { return list->currentData().toInt(); }

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
    QComboBox* EnterList() const { return enter_; }
    QCheckBox* LocalEchoBox() const { return localEcho_; }
    CommitNumberEdit* IntervalEdit() const { return interval_; }
    CommitNumberEdit* LengthEdit() const { return length_; }
    TerminalLog* Log() const { return log_; }

  signals:
    // The port list is about to drop down: the view scans it.
    void portsWanted();

  private:
    void BuildForm();
    QLayout* BuildTestRows();
    QLayout* BuildViewRow();
    void Connect();
    void OnPaste(const QString& text);
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
    QComboBox* enter_ = nullptr;
    QCheckBox* localEcho_ = nullptr;
    CommitNumberEdit* interval_ = nullptr;
    CommitNumberEdit* length_ = nullptr;
    TerminalLog* log_ = nullptr;
    bool afterCr_ = false;  // the log's last character came from a CR
};
