#pragma once

#include <QLineEdit>
#include <QRegularExpressionValidator>

// A box for a whole number whose value counts only when the edit is finished (Enter or the
// focus leaving), so that typing 50 is not corrected on the way at 5.
class NumberEdit final : public QLineEdit {
    Q_OBJECT
  public:
    static constexpr int kMaxDigits = 7;

    explicit NumberEdit(QWidget* parent = nullptr) : QLineEdit(parent) {
        setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kMaxDigits)), this));
        connect(this, &QLineEdit::editingFinished, this, &NumberEdit::finished);
    }
    // The number in the box; 0 when it is empty.
    qint64 Value() const { return text().toLongLong(); }
    void SetValue(qint64 value) { setText(QString::number(value)); }

  signals:
    void finished();
};
