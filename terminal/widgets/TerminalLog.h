#pragma once

#include <QClipboard>
#include <QPlainTextEdit>

#include "terminal/TerminalRules.h"

class QKeyEvent;

// A terminal's log, which is also its keyboard. While the port is open (SetSending) keys go to
// the port as a terminal sends them, and so do pastes: Ctrl+V, Shift+Insert, Ctrl+Shift+V and
// the middle button. Ctrl+C copies and Ctrl+A selects all only while the log has a selection;
// Ctrl+Shift+C, Ctrl+Insert and Ctrl+Shift+A always do; Shift+PageUp/PageDown scroll the log.
// The context menu sends Ctrl+C and Ctrl+A whatever is selected. The log follows its last line
// unless the user scrolled up; scrolling back to the end follows again.
class TerminalLog final : public QPlainTextEdit {
    Q_OBJECT
  public:
    // The log's height shows at least this many lines.
    static constexpr int kMinVisibleLines = 6;

    explicit TerminalLog(QWidget* parent = nullptr);

    void SetSending(bool on) { sending_ = on; }
    void SetEnter(term::LineEnding enter) { enter_ = enter; }
    // Appends log text at the end: each '\b' takes back the character before it on its line.
    // ownLine starts a line first unless the log stands at the start of one.
    void Append(const QString& text, bool ownLine);
    bool FollowsEnd() const { return follow_; }
    // Characters of the fixed-pitch font that fit across the log without scrolling.
    int VisibleColumns() const;

    QSize minimumSizeHint() const override;

  signals:
    void typed(const QByteArray& bytes);
    void pasted(const QString& text);
    void resized();

  protected:
    bool event(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    enum class KeyAction { kNone, kCopy, kSelectAll, kPaste, kScrollUp, kScrollDown, kSend };
    KeyAction ActionOf(const QKeyEvent& key) const;
    void Run(KeyAction action, const QKeyEvent& key);
    void Paste(QClipboard::Mode mode);
    void FollowEnd();

    bool sending_ = false;
    bool follow_ = true;
    term::LineEnding enter_ = term::LineEnding::kCr;
};
