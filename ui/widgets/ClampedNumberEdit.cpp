#include "ui/widgets/ClampedNumberEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

ClampedNumberEdit::ClampedNumberEdit(NumberLimits limits, QWidget* parent)
    : QLineEdit(parent), limits_(limits) {
    setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));
    connect(this, &QLineEdit::returnPressed, this, &ClampedNumberEdit::Finish);
}

uint32_t ClampedNumberEdit::Value() {
    const uint32_t value = limits_.Clamp(ReadUnsigned(text()));
    if (text() != QString::number(value)) setText(QString::number(value));
    return value;
}

void ClampedNumberEdit::SetValue(uint32_t value) {
    setText(QString::number(limits_.Clamp(value)));
}

// Also when the text was not changed since the last edit: a value the program put in is
// already clamped, and clamping again changes nothing.
void ClampedNumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    Finish();
}

void ClampedNumberEdit::Finish() {
    emit ValueCommitted(Value());
}
