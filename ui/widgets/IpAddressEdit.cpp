#include "ui/widgets/IpAddressEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "protocol/Address.h"

IpAddressEdit::IpAddressEdit(QWidget* parent) : QLineEdit(parent) {
    const QString part = "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?";
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("%1(\\.%1){0,3}").arg(part)), this));
}

uint32_t IpAddressEdit::Address() const {
    return ParseDottedAddress(text());
}

void IpAddressEdit::SetAddress(uint32_t hostOrder) {
    setText(FormatDotted(hostOrder));
}
