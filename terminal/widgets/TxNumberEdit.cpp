#include "terminal/widgets/TxNumberEdit.h"

#include <QRegularExpressionValidator>

TxNumberEdit::TxNumberEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kMaxDigits)), this));
    connect(this, &QLineEdit::editingFinished, this, &TxNumberEdit::finished);
}
