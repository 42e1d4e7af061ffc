#pragma once

#include <QString>
#include <array>
#include <compare>
#include <cstdint>
#include <optional>

// One IPv4 address. The program meets it in three forms: dotted text, four bytes in network
// order (first octet first) and a 32-bit host-order number whose most significant byte is the
// first octet; this type converts between them and holds the host-order number.
class Ipv4Address {
  public:
    constexpr Ipv4Address() = default;
    constexpr explicit Ipv4Address(uint32_t hostOrder) : value_(hostOrder) {}
    static constexpr Ipv4Address FromBytes(const std::array<uint8_t, 4>& bytes) {
        return Ipv4Address(uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 |
                           uint32_t(bytes[2]) << 8 | bytes[3]);
    }
    static constexpr Ipv4Address LimitedBroadcast() { return Ipv4Address(0xFFFFFFFFu); }

    // The one parser of addresses that users, files and command lines give: exactly four
    // decimal parts of 0 to 255, no shortened forms and no leading zeros (which other programs
    // read as octal). nullopt for anything else.
    static std::optional<Ipv4Address> Parse(const QString& text);
    // The C library's conversion (inet_aton), which the device setting file and the setup
    // sheet have always accepted: also the shortened forms a.b.c, a.b and a, and octal or
    // hexadecimal parts. The whole text must be an address.
    static std::optional<Ipv4Address> ParseStandard(const QString& text);

    constexpr uint32_t HostOrder() const { return value_; }
    constexpr std::array<uint8_t, 4> Bytes() const {
        return {uint8_t(value_ >> 24), uint8_t(value_ >> 16), uint8_t(value_ >> 8),
                uint8_t(value_)};
    }
    QString ToString() const;

    // The prefix length of a contiguous netmask; -1 for a mask with holes.
    int PrefixLength() const;
    bool IsNetmask() const { return PrefixLength() >= 0; }
    // Whether this address and `other` share the subnet of `mask`.
    constexpr bool SameSubnet(Ipv4Address other, Ipv4Address mask) const {
        return (value_ & mask.value_) == (other.value_ & mask.value_);
    }

    constexpr auto operator<=>(const Ipv4Address&) const = default;

  private:
    uint32_t value_ = 0;
};
