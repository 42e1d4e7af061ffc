#include "monitor/widgets/CommitNumberEdit.h"

#include <QRegularExpressionValidator>

CCommitNumberEdit::CCommitNumberEdit(int maxDigits, Rule rule, QWidget* parent)
    : QLineEdit(parent), rule_(std::move(rule)) {
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxDigits)), this));
    connect(this, &QLineEdit::editingFinished, this, &CCommitNumberEdit::Commit);
}

void CCommitNumberEdit::SetValue(int value) {
    value_ = value;
    setText(QString::number(value));
}

int CCommitNumberEdit::Commit() {
    // An empty box reads as 0, as the rule's lower bound then decides.
    SetValue(rule_(text().toLongLong()));
    return value_;
}
