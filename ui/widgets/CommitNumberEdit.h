#pragma once

#include <QLineEdit>
#include <functional>

// A number box whose value is taken only when the edit is finished (Enter, the focus leaving,
// or Commit from the owner), so that typing 10 key by key is not turned into a clamped 1 on the
// way. Only digits can be typed. The owner's rule turns the typed number into the kept one,
// which the box then shows. While its signals are blocked, a finished edit commits nothing.
class CommitNumberEdit : public QLineEdit {
    Q_OBJECT
  public:
    // The typed number: the text's leading digits, saturating at the largest unsigned 32-bit
    // number; an empty box reads as 0, so that the rule's lower bound decides.
    using Rule = std::function<qint64(qint64 typed)>;
    static constexpr int kAnyDigits = 0;

    CommitNumberEdit(int maxDigits, Rule rule, QWidget* parent = nullptr);

    // Shows a value as it is.
    void SetValue(qint64 value);
    // Applies the rule to the text as it stands, shows the result and returns it.
    qint64 Commit();

  signals:
    // The user finished an edit; `value` is the one now shown.
    void committed(qint64 value);

  protected:
    // Also when the text was not changed since the last edit: the rule gives the same value
    // again.
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Finish();

    Rule rule_;
};
