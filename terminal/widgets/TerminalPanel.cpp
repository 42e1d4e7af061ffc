#include "terminal/widgets/TerminalPanel.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QVBoxLayout>

#include "platform/UserPrompts.h"
#include "ui/widgets/CommitNumberEdit.h"

namespace {

constexpr int kLogPointSize = 10;
constexpr int kTxDigits = 7;
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

// An index from the settings file, or the default where it lies outside the list.
int IndexOrDefault(int index, int count, int fallback) {
    return index >= 0 && index < count ? index : fallback;
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
        if (kLists[i].entries) list->addItems(*kLists[i].entries);
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

    autoTest_ = new QCheckBox(QStringLiteral("Auto Test"), this);
    echo_ = new QCheckBox(QStringLiteral("Echo"), this);
    // The limits depend on each other and on the baud rate: the controller applies them.
    const auto asTyped = [](qint64 typed) { return typed; };
    interval_ = new CommitNumberEdit(kTxDigits, asTyped, this);
    length_ = new CommitNumberEdit(kTxDigits, asTyped, this);
    auto* test = new QHBoxLayout;
    test->addWidget(autoTest_);
    test->addWidget(echo_);
    test->addWidget(new QLabel(QStringLiteral("TX Interval (ms)"), this));
    test->addWidget(interval_);
    test->addWidget(new QLabel(QStringLiteral("TX Data Length"), this));
    test->addWidget(length_);

    hex_ = new QCheckBox(QStringLiteral("Hex"), this);
    time_ = new QCheckBox(QStringLiteral("Time"), this);
    capture_ = new QPushButton(QStringLiteral("Capture..."), this);
    capture_->setCheckable(true);
    auto* view = new QHBoxLayout;
    view->addWidget(hex_);
    view->addWidget(time_);
    view->addWidget(capture_);
    view->addStretch(1);

    log_ = new QPlainTextEdit(this);
    log_->setReadOnly(true);
    log_->setUndoRedoEnabled(false);
    log_->setFocusPolicy(Qt::StrongFocus);
    log_->setFont(LogFont());
    log_->installEventFilter(this);

    open_->setToolTip(QStringLiteral("To open the selected com port"));
    close_->setToolTip(QStringLiteral("To close the selected com port"));
    interval_->setToolTip(QStringLiteral("To set this value to transmit data every xx(ms)"));
    length_->setToolTip(QStringLiteral("To specify the data length between 11 and 1472"));
    echo_->setToolTip(QStringLiteral("To echo the received data"));
    autoTest_->setToolTip(QStringLiteral("To start to transmit the data automatically"));
    clear_->setToolTip(QStringLiteral("To clear the log"));
    hex_->setToolTip(QStringLiteral("To show the received data as hex and ASCII columns"));
    time_->setToolTip(QStringLiteral("To start each received block on a line with its time"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addLayout(test);
    layout->addLayout(view);
    layout->addWidget(log_, 1);
}

void TerminalPanel::Connect() {
    auto& t = terminal_;
    connect(open_, &QPushButton::clicked, this, &TerminalPanel::OnOpen);
    connect(close_, &QPushButton::clicked, &t, &TerminalController::ClosePort);
    connect(purge_, &QPushButton::clicked, &t, &TerminalController::PurgeBuffer);
    connect(clear_, &QPushButton::clicked, this, &TerminalPanel::ClearLog);
    connect(hex_, &QCheckBox::clicked, this, &TerminalPanel::ApplyReceivedView);
    connect(time_, &QCheckBox::clicked, this, &TerminalPanel::ApplyReceivedView);
    connect(capture_, &QPushButton::clicked, this, &TerminalPanel::OnCapture);
    connect(autoTest_, &QCheckBox::clicked, this, [this](bool on) {
        if (on) CommitTxEdits();
        terminal_.SetAutoTest(on);
    });
    connect(echo_, &QCheckBox::clicked, &t, &TerminalController::SetEcho);
    connect(interval_, &CommitNumberEdit::committed, this, &TerminalPanel::CommitTxEdits);
    connect(length_, &CommitNumberEdit::committed, this, &TerminalPanel::CommitTxEdits);
    connect(static_cast<PortComboBox*>(List(TermList::kPort)), &PortComboBox::aboutToDropDown, &t,
            &TerminalController::ScanPorts);
    connect(&t, &TerminalController::controlsChanged, this, &TerminalPanel::ShowControls);
    connect(&t, &TerminalController::portsChanged, this, &TerminalPanel::ShowPorts);
    connect(&t, &TerminalController::logInserted, this, &TerminalPanel::Insert);
}

void TerminalPanel::ApplySettings(const TerminalSettings& s) {
    const std::pair<TermList, std::pair<int, int>> indexes[] = {
        {TermList::kBaudRate, {s.baudRateIndex, 0}},
        {TermList::kDataBits, {s.dataBitsIndex, 0}},
        {TermList::kParity, {s.parityIndex, 2}},
        {TermList::kStopBits, {s.stopBitsIndex, 0}},
        {TermList::kFlowControl, {s.flowControlIndex, 0}},
    };
    for (const auto& [list, value] : indexes)
        List(list)->setCurrentIndex(IndexOrDefault(value.first, List(list)->count(), value.second));
    terminal_.SetEcho(s.echoTest != 0);
    interval_->SetValue(s.testInterval);
    length_->SetValue(s.testDataLength);
    CommitTxEdits();
    hex_->setChecked(s.hexView != 0);
    time_->setChecked(s.timeStamp != 0);
    ApplyReceivedView();
}

TerminalSettings TerminalPanel::CollectSettings() const {
    return {List(TermList::kBaudRate)->currentIndex(),
            List(TermList::kDataBits)->currentIndex(),
            List(TermList::kParity)->currentIndex(),
            List(TermList::kStopBits)->currentIndex(),
            List(TermList::kFlowControl)->currentIndex(),
            terminal_.EchoOn() ? 1 : 0,
            static_cast<int>(terminal_.Tx().interval),
            static_cast<int>(terminal_.Tx().length),
            hex_->isChecked() ? 1 : 0,
            time_->isChecked() ? 1 : 0};
}

void TerminalPanel::ApplyReceivedView() {
    terminal_.SetReceivedView({hex_->isChecked(), time_->isChecked()});
    // Hex lines are wider than a terminal's log: they scroll rather than break.
    log_->setLineWrapMode(hex_->isChecked() ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
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

void TerminalPanel::ClearLog() {
    log_->clear();
    afterCr_ = false;
}

void TerminalPanel::CommitTxEdits() {
    terminal_.SetTxValues(interval_->Commit(), length_->Commit(),
                          List(TermList::kBaudRate)->currentIndex());
}

void TerminalPanel::OnOpen() {
    CommitTxEdits();
    terminal_.OpenPort(
        {List(TermList::kPort)->currentText(), List(TermList::kBaudRate)->currentIndex(),
         List(TermList::kDataBits)->currentIndex(), List(TermList::kParity)->currentIndex(),
         List(TermList::kStopBits)->currentIndex(), List(TermList::kFlowControl)->currentIndex()});
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
    list->setEnabled(false);
    list->clear();
    list->addItems(terminal_.Ports());
    list->setCurrentIndex(terminal_.Ports().isEmpty() ? -1 : 0);
    list->setEnabled(terminal_.Enabled(TermControl::kLineSettings));
}

void TerminalPanel::Insert(const QByteArray& text, term::LogKind kind, bool ownLine) {
    if (term::LogNeedsEmptying(kind, log_->blockCount(), log_->document()->characterCount()))
        ClearLog();
    QTextCursor end(log_->document());
    end.movePosition(QTextCursor::End);
    // One edit block: the layout follows once per chunk, not once per line of it.
    end.beginEditBlock();
    // The last block is empty when the log stands at the start of a line.
    if (ownLine && !log_->document()->lastBlock().text().isEmpty())
        end.insertText(QStringLiteral("\n"));
    end.insertText(term::LogText(text, &afterCr_));
    end.endEditBlock();
    if (kind == term::LogKind::kData)
        log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

bool TerminalPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == log_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Copy and Select All stay the log's; the console never sent those control bytes.
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll))
            return QGroupBox::eventFilter(watched, event);
        const QString text = key->text();
        if (text.size() == 1 && text.front().unicode() < 0x80 && text.front() != u'\t') {
            terminal_.Type(text.front().toLatin1());
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}
