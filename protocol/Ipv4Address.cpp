#include "protocol/Ipv4Address.h"

#include <arpa/inet.h>

#include <bit>

namespace {

constexpr int kAddressBits = 32;

// Text as the C library reads it; a NUL inside the text would cut it short.
std::optional<QByteArray> CString(const QString& text) {
    QByteArray latin = text.toLatin1();
    if (latin.contains('\0') || QString::fromLatin1(latin) != text) return std::nullopt;
    return latin;
}

}  // namespace

std::optional<Ipv4Address> Ipv4Address::Parse(const QString& text) {
    // inet_pton takes exactly the strict form.
    const std::optional<QByteArray> latin = CString(text);
    in_addr address{};
    if (!latin || inet_pton(AF_INET, latin->constData(), &address) != 1) return std::nullopt;
    return Ipv4Address(ntohl(address.s_addr));
}

std::optional<Ipv4Address> Ipv4Address::ParseStandard(const QString& text) {
    const std::optional<QByteArray> latin = CString(text);
    in_addr address{};
    if (!latin || inet_aton(latin->constData(), &address) == 0) return std::nullopt;
    return Ipv4Address(ntohl(address.s_addr));
}

QString Ipv4Address::ToString() const {
    const std::array<uint8_t, 4> b = Bytes();
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

int Ipv4Address::PrefixLength() const {
    const int length = std::countl_one(value_);
    return length == kAddressBits || (value_ << length) == 0 ? length : -1;
}
