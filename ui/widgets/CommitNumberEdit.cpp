#include "ui/widgets/CommitNumberEdit.h"

#include <QRegularExpressionValidator>

#include "ui/NumberLimits.h"

CommitNumberEdit::CommitNumberEdit(int maxDigits, Rule rule, QWidget* parent)
    : QLineEdit(parent), rule_(std::move(rule)) {
    const QString digits = maxDigits == kAnyDigits ? QStringLiteral("[0-9]*")
                                                   : QStringLiteral("[0-9]{0,%1}").arg(maxDigits);
    setValidator(new QRegularExpressionValidator(QRegularExpression(digits), this));
    connect(this, &QLineEdit::returnPressed, this, &CommitNumberEdit::Finish);
}

void CommitNumberEdit::SetValue(qint64 value) {
    setText(QString::number(value));
}

qint64 CommitNumberEdit::Commit() {
    const qint64 value = rule_(ReadUnsigned(text()));
    if (text() != QString::number(value)) SetValue(value);
    return value;
}

void CommitNumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    Finish();
}

void CommitNumberEdit::Finish() {
    // An owner that is going blocks the box's signals: the focus leaving it then must not
    // reach the owner's rule either.
    if (signalsBlocked()) return;
    emit committed(Commit());
}
