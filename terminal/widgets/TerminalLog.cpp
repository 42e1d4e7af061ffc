#include "terminal/widgets/TerminalLog.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>

#include "terminal/KeyBytes.h"

namespace {

constexpr char kCtrlC = 0x03;
constexpr char kCtrlA = 0x01;

bool Is(const QKeyEvent& key, int code, Qt::KeyboardModifiers modifiers) {
    return key.key() == code && (key.modifiers() & ~Qt::KeypadModifier) == modifiers;
}

}  // namespace

TerminalLog::TerminalLog(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setFocusPolicy(Qt::StrongFocus);
    QScrollBar* bar = verticalScrollBar();
    // The user's own scrolling decides whether the log follows; its growth and a new size
    // keep it at the end while it does.
    connect(bar, &QScrollBar::actionTriggered, this,
            [this, bar] { follow_ = bar->sliderPosition() >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this] {
        if (follow_) FollowEnd();
    });
}

void TerminalLog::Append(const QString& text, bool ownLine) {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    // One edit block: the layout follows once per chunk, not once per line of it.
    end.beginEditBlock();
    // The last block is empty when the log stands at the start of a line.
    if (ownLine && !document()->lastBlock().text().isEmpty()) end.insertText(QStringLiteral("\n"));
    for (qsizetype from = 0;;) {
        const qsizetype erase = text.indexOf(QChar::fromLatin1(term::kBackspace), from);
        end.insertText(text.mid(from, erase < 0 ? -1 : erase - from));
        if (erase < 0) break;
        if (end.positionInBlock() > 0) end.deletePreviousChar();
        from = erase + 1;
    }
    end.endEditBlock();
    if (follow_) FollowEnd();
}

int TerminalLog::VisibleColumns() const {
    const int margins = 2 * static_cast<int>(document()->documentMargin());
    return (viewport()->width() - margins) / fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

QSize TerminalLog::minimumSizeHint() const {
    const int lines = fontMetrics().lineSpacing() * kMinVisibleLines;
    const int chrome = 2 * (frameWidth() + static_cast<int>(document()->documentMargin()));
    return {QPlainTextEdit::minimumSizeHint().width(), lines + chrome};
}

void TerminalLog::FollowEnd() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

TerminalLog::KeyAction TerminalLog::ActionOf(const QKeyEvent& key) const {
    const bool selected = textCursor().hasSelection();
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    if ((key.matches(QKeySequence::Copy) && selected) || Is(key, Qt::Key_C, ctrlShift) ||
        Is(key, Qt::Key_Insert, Qt::ControlModifier))
        return KeyAction::kCopy;
    if ((key.matches(QKeySequence::SelectAll) && selected) || Is(key, Qt::Key_A, ctrlShift))
        return KeyAction::kSelectAll;
    if (key.matches(QKeySequence::Paste) || Is(key, Qt::Key_V, ctrlShift) ||
        Is(key, Qt::Key_Insert, Qt::ShiftModifier))
        return KeyAction::kPaste;
    if (Is(key, Qt::Key_PageUp, Qt::ShiftModifier)) return KeyAction::kScrollUp;
    if (Is(key, Qt::Key_PageDown, Qt::ShiftModifier)) return KeyAction::kScrollDown;
    if (!term::KeyBytes({key.key(), key.modifiers(), key.text()}, enter_).isEmpty())
        return KeyAction::kSend;
    return KeyAction::kNone;
}

void TerminalLog::Run(KeyAction action, const QKeyEvent& key) {
    switch (action) {
        case KeyAction::kCopy:
            copy();
            break;
        case KeyAction::kSelectAll:
            selectAll();
            break;
        case KeyAction::kPaste:
            Paste(QClipboard::Clipboard);
            break;
        case KeyAction::kScrollUp:
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case KeyAction::kScrollDown:
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case KeyAction::kSend:
            emit typed(term::KeyBytes({key.key(), key.modifiers(), key.text()}, enter_));
            break;
        case KeyAction::kNone:
            break;
    }
}

bool TerminalLog::event(QEvent* event) {
    // Before the widget's own handling: Tab would move the focus, and the window's shortcuts
    // (Ctrl+O, Ctrl+S, Ctrl+Q) would take keys that a device is sent.
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (!sending_ || !key) return QPlainTextEdit::event(event);
    const auto& press = static_cast<const QKeyEvent&>(*event);
    const KeyAction action = ActionOf(press);
    if (action == KeyAction::kNone) return QPlainTextEdit::event(event);
    event->accept();
    if (event->type() == QEvent::KeyPress) Run(action, press);
    return true;
}

void TerminalLog::mouseReleaseEvent(QMouseEvent* event) {
    if (sending_ && event->button() == Qt::MiddleButton) {
        Paste(QClipboard::Selection);
        return;
    }
    QPlainTextEdit::mouseReleaseEvent(event);
}

void TerminalLog::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    if (follow_) FollowEnd();
    emit resized();
}

void TerminalLog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->addSeparator();
    const QString clip = QGuiApplication::clipboard()->text();
    menu->addAction(QStringLiteral("Paste to Port"), this, [this] { Paste(QClipboard::Clipboard); })
        ->setEnabled(sending_ && !clip.isEmpty());
    menu->addAction(QStringLiteral("Send Ctrl+C"), this,
                    [this] { emit typed(QByteArray(1, kCtrlC)); })
        ->setEnabled(sending_);
    menu->addAction(QStringLiteral("Send Ctrl+A"), this,
                    [this] { emit typed(QByteArray(1, kCtrlA)); })
        ->setEnabled(sending_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TerminalLog::Paste(QClipboard::Mode mode) {
    const QString text = QGuiApplication::clipboard()->text(mode);
    if (!text.isEmpty()) emit pasted(text);
}
