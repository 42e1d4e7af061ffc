#include "terminal/widgets/TerminalPanel.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "platform/UserPrompts.h"
#include "terminal/KeyBytes.h"
#include "terminal/widgets/TerminalLog.h"
#include "ui/widgets/CommitNumberEdit.h"

namespace {

constexpr int kLogPointSize = 10;
constexpr int kTxDigits = 7;
// The widest value a TX box holds (100000) and the room the box's frame takes around it.
constexpr char kTxWidestValue[] = "100000";
constexpr int kTxBoxChrome = 14;
constexpr char kLogFontFamily[] = "Courier New";

struct ListSpec {
    const char* label;
    const QStringList* entries;  // null for the port list, which the scan fills
};
const ListSpec kLists[kTermListCount] = {
    {"Port", nullptr},
    {"Baud Rate", &term::kBaudTexts},
    {"Data Bits", &term::kDataBitsTexts},
    {"Parity Check", &term::kParityTexts},
    {"Stop Bits", &term::kStopBitsTexts},
    {"Flow Control", &term::kFlowTexts},
};

// "Courier New" where the system has it, else the system's fixed-pitch font.
QFont LogFont() {
    QFont font = QFontDatabase::families().contains(QLatin1String(kLogFontFamily))
                     ? QFont(QLatin1String(kLogFontFamily))
                     : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(kLogPointSize);
    return font;
}

// Each entry carries its stored index; the baud list shows its rates in rising order.
void Fill(QComboBox* list, const QStringList& entries) {
    const bool baud = &entries == &term::kBaudTexts;
    for (int i = 0; i < entries.size(); ++i) {
        const int stored = baud ? term::kBaudShownOrder[static_cast<size_t>(i)] : i;
        list->addItem(entries[stored], stored);
    }
}

CommitNumberEdit* TxBox(QWidget* parent) {
    // The limits depend on each other and on the baud rate: the controller applies them.
    auto* box = new CommitNumberEdit(
        kTxDigits, [](qint64 typed) { return typed; }, parent);
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QLatin1String(kTxWidestValue)) +
                         kTxBoxChrome);
    return box;
}

}  // namespace

TerminalPanel::TerminalPanel(TerminalFrame& frame, int number, QWidget* parent)
    : QGroupBox(QStringLiteral("COM Terminal %1").arg(number), parent),
      frame_(frame),
      terminal_(frame, number) {
    BuildForm();
    Connect();
    ApplySettings({});
    ShowControls();
}

TerminalPanel::~TerminalPanel() {
    // The boxes go with the widget's children, after the controller: a focus change while the
    // form goes must not finish an edit into a controller that is gone.
    for (CommitNumberEdit* box : {interval_, length_}) box->blockSignals(true);
}

void TerminalPanel::BuildForm() {
    auto* grid = new QGridLayout;
    for (int i = 0; i < kTermListCount; ++i) {
        QComboBox* list = i == 0 ? new PortComboBox(this) : new QComboBox(this);
        if (kLists[i].entries) Fill(list, *kLists[i].entries);
        lists_[static_cast<size_t>(i)] = list;
        grid->addWidget(new QLabel(QLatin1String(kLists[i].label), this), i / 3 * 2, i % 3);
        grid->addWidget(list, i / 3 * 2 + 1, i % 3);
    }

    open_ = new QPushButton(QStringLiteral("Open Port"), this);
    close_ = new QPushButton(QStringLiteral("Close Port"), this);
    purge_ = new QPushButton(QStringLiteral("Purge Buffer"), this);
    clear_ = new QPushButton(QStringLiteral("Clear Log"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {open_, close_, purge_, clear_}) buttons->addWidget(b);

    log_ = new TerminalLog(this);
    log_->setFont(LogFont());

    open_->setToolTip(QStringLiteral("To open the selected com port"));
    close_->setToolTip(QStringLiteral("To close the selected com port"));
    clear_->setToolTip(QStringLiteral("To clear the log"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addLayout(BuildTestRows());
    layout->addLayout(BuildViewRow());
    layout->addWidget(log_, 1);
}

QLayout* TerminalPanel::BuildTestRows() {
    autoTest_ = new QCheckBox(QStringLiteral("Auto Test"), this);
    echo_ = new QCheckBox(QStringLiteral("Echo"), this);
    interval_ = TxBox(this);
    length_ = TxBox(this);
    auto* test = new QHBoxLayout;
    test->addWidget(autoTest_);
    test->addWidget(echo_);
    test->addWidget(new QLabel(QStringLiteral("TX Interval (ms)"), this));
    test->addWidget(interval_);
    test->addWidget(new QLabel(QStringLiteral("TX Data Length"), this));
    test->addWidget(length_);
    interval_->setToolTip(QStringLiteral("To set this value to transmit data every xx(ms)"));
    length_->setToolTip(QStringLiteral("To specify the data length between 11 and 1472"));
    echo_->setToolTip(QStringLiteral("To echo the received data"));
    autoTest_->setToolTip(QStringLiteral("To start to transmit the data automatically"));
    return test;
}

QLayout* TerminalPanel::BuildViewRow() {
    hex_ = new QCheckBox(QStringLiteral("Hex"), this);
    time_ = new QCheckBox(QStringLiteral("Time"), this);
    capture_ = new QPushButton(QStringLiteral("Capture..."), this);
    capture_->setCheckable(true);
    enter_ = new QComboBox(this);
    enter_->addItems(term::kLineEndingTexts);
    localEcho_ = new QCheckBox(QStringLiteral("Local Echo"), this);
    auto* view = new QHBoxLayout;
    view->addWidget(hex_);
    view->addWidget(time_);
    view->addWidget(capture_);
    view->addStretch(1);
    view->addWidget(new QLabel(QStringLiteral("Enter"), this));
    view->addWidget(enter_);
    view->addWidget(localEcho_);
    hex_->setToolTip(QStringLiteral("To show the received data as hex and ASCII columns"));
    time_->setToolTip(QStringLiteral("To start each received block on a line with its time"));
    enter_->setToolTip(QStringLiteral("What the Enter key and each line break of a paste send"));
    localEcho_->setToolTip(QStringLiteral("To show in the log what this terminal sends"));
    return view;
}

void TerminalPanel::Connect() {
    auto& t = terminal_;
    connect(open_, &QPushButton::clicked, this, &TerminalPanel::OnOpen);
    connect(close_, &QPushButton::clicked, &t, &TerminalController::ClosePort);
    connect(purge_, &QPushButton::clicked, &t, &TerminalController::PurgeBuffer);
    connect(clear_, &QPushButton::clicked, this, &TerminalPanel::ClearLog);
    connect(hex_, &QCheckBox::clicked, this, &TerminalPanel::ApplyReceivedView);
    connect(time_, &QCheckBox::clicked, this, &TerminalPanel::ApplyReceivedView);
    connect(log_, &TerminalLog::resized, this, &TerminalPanel::ApplyReceivedView);
    connect(capture_, &QPushButton::clicked, this, &TerminalPanel::OnCapture);
    connect(autoTest_, &QCheckBox::clicked, this, [this](bool on) {
        if (on) CommitTxEdits();
        terminal_.SetAutoTest(on);
    });
    connect(echo_, &QCheckBox::clicked, &t, &TerminalController::SetEcho);
    connect(enter_, &QComboBox::currentIndexChanged, this, [this](int index) {
        terminal_.SetLineEnding(term::LineEndingAt(index));
        log_->SetEnter(terminal_.LineEnding());
    });
    connect(localEcho_, &QCheckBox::toggled, &t, &TerminalController::SetLocalEcho);
    connect(log_, &TerminalLog::typed, &t, &TerminalController::Type);
    connect(log_, &TerminalLog::pasted, this, &TerminalPanel::OnPaste);
    connect(interval_, &CommitNumberEdit::committed, this, &TerminalPanel::CommitTxEdits);
    connect(length_, &CommitNumberEdit::committed, this, &TerminalPanel::CommitTxEdits);
    connect(static_cast<PortComboBox*>(List(TermList::kPort)), &PortComboBox::aboutToDropDown, this,
            &TerminalPanel::portsWanted);
    connect(&t, &TerminalController::controlsChanged, this, &TerminalPanel::ShowControls);
    connect(&t, &TerminalController::portsChanged, this, &TerminalPanel::ShowPorts);
    connect(&t, &TerminalController::logInserted, this, &TerminalPanel::Insert);
}

void TerminalPanel::SelectStored(QComboBox* list, int index) {
    list->setCurrentIndex(list->findData(index));
}

void TerminalPanel::ApplySettings(const TerminalSettings& s) {
    const std::pair<TermList, std::pair<int, int>> indexes[] = {
        {TermList::kBaudRate, {s.baudRateIndex, 0}},
        {TermList::kDataBits, {s.dataBitsIndex, 0}},
        {TermList::kParity, {s.parityIndex, 2}},
        {TermList::kStopBits, {s.stopBitsIndex, 0}},
        {TermList::kFlowControl, {s.flowControlIndex, 0}},
    };
    // An index from the settings file outside the list takes the default.
    for (const auto& [list, value] : indexes) {
        const bool known = List(list)->findData(value.first) >= 0;
        SelectStored(List(list), known ? value.first : value.second);
    }
    terminal_.SetEcho(s.echoTest != 0);
    interval_->SetValue(s.testInterval);
    length_->SetValue(s.testDataLength);
    CommitTxEdits();
    hex_->setChecked(s.hexView != 0);
    time_->setChecked(s.timeStamp != 0);
    ApplyReceivedView();
    enter_->setCurrentIndex(static_cast<int>(term::LineEndingAt(s.lineEnding)));
    localEcho_->setChecked(s.localEcho != 0);
}

TerminalSettings TerminalPanel::CollectSettings() const {
    return {StoredIndex(List(TermList::kBaudRate)),
            StoredIndex(List(TermList::kDataBits)),
            StoredIndex(List(TermList::kParity)),
            StoredIndex(List(TermList::kStopBits)),
            StoredIndex(List(TermList::kFlowControl)),
            terminal_.EchoOn() ? 1 : 0,
            static_cast<int>(terminal_.Tx().interval),
            static_cast<int>(terminal_.Tx().length),
            hex_->isChecked() ? 1 : 0,
            time_->isChecked() ? 1 : 0,
            static_cast<int>(terminal_.LineEnding()),
            terminal_.LocalEchoOn() ? 1 : 0};
}

void TerminalPanel::ApplyReceivedView() {
    const bool hex = hex_->isChecked();
    const bool time = time_->isChecked();
    terminal_.SetReceivedView({hex, time, term::HexBytesPerLineFor(log_->VisibleColumns(), time)});
    // Hex lines are as wide as the log allows: they scroll rather than break.
    log_->setLineWrapMode(hex ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
}

void TerminalPanel::OnCapture() {
    if (terminal_.Capturing()) {
        terminal_.StopCapture();
        return;
    }
    const QString name = terminal_.IsOpen() ? terminal_.PortName()
                                            : QStringLiteral("Terminal%1").arg(terminal_.Number());
    const QString path = frame_.Prompts().SaveFileName(
        {QStringLiteral("Capture Received Data"), name + QStringLiteral(".bin"),
         QStringLiteral("Capture Files (*.bin);;All Files (*)"), QStringLiteral("bin")});
    QString error;
    if (!path.isEmpty() && !terminal_.StartCapture(path, &error))
        frame_.Prompts().FileFailure(
            QStringLiteral("Failed to capture to %1: %2").arg(path, error));
    ShowControls();
}

void TerminalPanel::OnPaste(const QString& text) {
    const QByteArray bytes = term::PasteBytes(text, terminal_.LineEnding());
    if (term::PasteNeedsConfirmation(text) &&
        !frame_.Prompts().AskYesNo(QStringLiteral("Send %1 bytes (%2 lines) to %3?")
                                       .arg(bytes.size())
                                       .arg(text.count(u'\n') + 1)
                                       .arg(terminal_.PortName()),
                                   QStringLiteral("Paste")))
        return;
    terminal_.Type(bytes);
}

void TerminalPanel::ClearLog() {
    log_->clear();
    afterCr_ = false;
}

void TerminalPanel::CommitTxEdits() {
    terminal_.SetTxValues(interval_->Commit(), length_->Commit(),
                          StoredIndex(List(TermList::kBaudRate)));
}

QString TerminalPanel::SelectedPort() const {
    const QVariant name = List(TermList::kPort)->currentData();
    return name.isValid() ? name.toString() : List(TermList::kPort)->currentText();
}

void TerminalPanel::OnOpen() {
    CommitTxEdits();
    terminal_.OpenPort(
        {SelectedPort(), StoredIndex(List(TermList::kBaudRate)),
         StoredIndex(List(TermList::kDataBits)), StoredIndex(List(TermList::kParity)),
         StoredIndex(List(TermList::kStopBits)), StoredIndex(List(TermList::kFlowControl))});
}

void TerminalPanel::ShowControls() {
    using C = TermControl;
    const std::pair<QWidget*, C> controls[] = {
        {open_, C::kOpenPort},     {close_, C::kClosePort}, {purge_, C::kPurgeBuffer},
        {autoTest_, C::kAutoTest}, {echo_, C::kEcho},       {interval_, C::kTxInterval},
        {length_, C::kTxLength},
    };
    for (const auto& [widget, control] : controls) widget->setEnabled(terminal_.Enabled(control));
    for (QComboBox* list : lists_) list->setEnabled(terminal_.Enabled(C::kLineSettings));
    log_->SetSending(terminal_.IsOpen());
    const QSignalBlocker blockAuto(autoTest_);
    const QSignalBlocker blockEcho(echo_);
    const QSignalBlocker blockCapture(capture_);
    autoTest_->setChecked(terminal_.AutoTestOn());
    echo_->setChecked(terminal_.EchoOn());
    capture_->setChecked(terminal_.Capturing());
    capture_->setToolTip(
        terminal_.Capturing()
            ? QStringLiteral("Capturing to %1; press to stop").arg(terminal_.CapturePath())
            : QStringLiteral("To write every received byte to a file"));
    interval_->SetValue(terminal_.Tx().interval);
    length_->SetValue(terminal_.Tx().length);
}

void TerminalPanel::ShowPorts() {
    QComboBox* list = List(TermList::kPort);
    // A rescan keeps the user's choice where it is still free.
    const QString chosen = SelectedPort();
    list->setEnabled(false);
    list->clear();
    int first = -1;
    for (const ComPortChoice& port : terminal_.Ports()) {
        list->addItem(port.held ? QStringLiteral("%1 (in use)").arg(port.name) : port.name,
                      port.name);
        // A held port is shown but cannot be chosen.
        if (port.held)
            qobject_cast<QStandardItemModel*>(list->model())
                ->item(list->count() - 1)
                ->setEnabled(false);
        else if (first < 0 || port.name == chosen)
            first = list->count() - 1;
    }
    list->setCurrentIndex(first);
    list->setEnabled(terminal_.Enabled(TermControl::kLineSettings));
}

void TerminalPanel::Insert(const QByteArray& text, term::LogKind kind, bool ownLine) {
    if (term::LogNeedsEmptying(kind, log_->blockCount(), log_->document()->characterCount()))
        ClearLog();
    log_->Append(term::LogText(text, &afterCr_), ownLine);
}
