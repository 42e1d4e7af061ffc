#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The three forms of an IPv4 address: dotted text, four bytes in network order, and a
// 32-bit host-order number whose most significant byte is the first octet.

// Dotted text to host order the program's own way: each dot-separated part is read as a
// decimal number and truncated to 8 bits; missing parts count as 0.
uint32_t ParseDottedAddress(const QString& text);

// The standard conversion (inet_addr): also takes the shortened forms a.b.c, a.b and a,
// and octal or hexadecimal parts. nullopt when the text is not an address.
std::optional<uint32_t> ParseInetAddress(const QString& text);

// Exactly four decimal parts of 0 to 255, as a user types an address; no shortened forms,
// and no leading zeros (which other programs read as octal). nullopt otherwise.
std::optional<uint32_t> ParseDottedQuad(const QString& text);

// inet_addr itself: a rejected text gives 255.255.255.255. Never use it for a destination: an
// empty or malformed text would become a broadcast.
uint32_t InetAddr(const QString& text);

// Whether a host-order address can name one host: neither 0.0.0.0 nor the limited broadcast.
inline bool IsUnicastAddress(uint32_t address) {
    return address != 0 && address != 0xFFFFFFFFu;
}

// A destination that names one host: the standard conversion, refusing besides what it
// rejects the addresses that IsUnicastAddress refuses.
std::optional<uint32_t> ParseUnicastAddress(const QString& text);

QString FormatDotted(uint32_t hostOrder);

// Whether two host-order addresses share the subnet of the given mask.
inline bool SameSubnet(uint32_t a, uint32_t b, uint32_t mask) {
    return (a & mask) == (b & mask);
}
