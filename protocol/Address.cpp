#include "protocol/Address.h"

#include <arpa/inet.h>

#include <QStringList>

#include "protocol/DecimalText.h"

uint32_t ParseDottedAddress(const QString& text) {
    const QStringList parts = text.split('.');
    uint32_t value = 0;
    for (int i = 0; i < 4 && i < parts.size(); ++i) {
        // Read as a signed decimal number, as the C library's conversion does.
        const auto part = static_cast<uint32_t>(LeadingInt32(parts[i].toLatin1()));
        value |= (part & 0xFFu) << (24 - 8 * i);
    }
    return value;
}

std::optional<uint32_t> ParseInetAddress(const QString& text) {
    in_addr address{};
    if (inet_aton(text.toLatin1().constData(), &address) == 0) return std::nullopt;
    return ntohl(address.s_addr);
}

std::optional<uint32_t> ParseDottedQuad(const QString& text) {
    // inet_pton takes exactly the strict form; a NUL inside the text would cut it short.
    const QByteArray latin = text.toLatin1();
    in_addr address{};
    if (latin.contains('\0') || inet_pton(AF_INET, latin.constData(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

uint32_t InetAddr(const QString& text) {
    return ParseInetAddress(text).value_or(0xFFFFFFFFu);
}

std::optional<uint32_t> ParseUnicastAddress(const QString& text) {
    const std::optional<uint32_t> address = ParseInetAddress(text);
    if (!address || !IsUnicastAddress(*address)) return std::nullopt;
    return address;
}

QString FormatDotted(uint32_t hostOrder) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(hostOrder >> 24)
        .arg((hostOrder >> 16) & 0xFF)
        .arg((hostOrder >> 8) & 0xFF)
        .arg(hostOrder & 0xFF);
}
