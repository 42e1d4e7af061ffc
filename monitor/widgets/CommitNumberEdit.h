#pragma once

#include <QLineEdit>
#include <functional>

// A number box whose value is taken only when the edit is finished (Enter, focus leaving, or
// Commit from the owner), so that typing 10 key by key is not turned into a clamped 1 first.
// The owner's rule turns the typed number into the kept one, which the box then shows.
class CCommitNumberEdit : public QLineEdit {
    Q_OBJECT
  public:
    using Rule = std::function<int(qint64 typed)>;

    CCommitNumberEdit(int maxDigits, Rule rule, QWidget* parent = nullptr);

    void SetValue(int value);
    // Applies the rule to the text as it stands and shows the result.
    int Commit();
    int Value() const { return value_; }

  private:
    Rule rule_;
    int value_ = 0;
};
