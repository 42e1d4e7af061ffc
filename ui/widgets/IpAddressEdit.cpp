#include "ui/widgets/IpAddressEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "protocol/Ipv4Address.h"

IpAddressEdit::IpAddressEdit(QWidget* parent) : QLineEdit(parent) {
    const QString part = "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?";
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("%1(\\.%1){0,3}").arg(part)), this));
}

uint32_t IpAddressEdit::Address() const {
    // A text not yet a whole address is none (0.0.0.0), which no device has.
    return Ipv4Address::Parse(text()).value_or(Ipv4Address()).HostOrder();
}

void IpAddressEdit::SetAddress(uint32_t hostOrder) {
    setText(Ipv4Address(hostOrder).ToString());
}
