#pragma once

#include <QLineEdit>

// A box for a whole number whose value counts only when the edit is finished (Enter or the
// focus leaving), so that typing 50 is not corrected on the way at 5.
class TxNumberEdit final : public QLineEdit {
    Q_OBJECT
  public:
    static constexpr int kMaxDigits = 7;

    explicit TxNumberEdit(QWidget* parent = nullptr);
    // The number in the box; 0 when it is empty.
    qint64 Value() const { return text().toLongLong(); }
    void SetValue(qint64 value) { setText(QString::number(value)); }

  signals:
    void finished();
};
