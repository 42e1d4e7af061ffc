#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <span>

// The device's answer to a status query (command 0x11), 32 bytes:
//   0  magic, 8  command 0x11, 9  modem status byte, 10  firmware version text (14 bytes, ends
//   at its first zero byte), 24  TX count, 28  RX count (unsigned 32-bit, little-endian).
struct StatusReply {
    static constexpr int kSize = 32;
    static constexpr int kModemOffset = 9;
    static constexpr int kVersionOffset = 10;
    static constexpr int kVersionWidth = 14;
    static constexpr int kTxOffset = 24;
    static constexpr int kRxOffset = 28;

    uint8_t modemStatus = 0;
    QByteArray firmwareVersion;  // without its zero byte; at most kVersionWidth bytes
    uint32_t txCount = 0;
    uint32_t rxCount = 0;

    bool operator==(const StatusReply&) const = default;

    QByteArray Encode() const;
    // nullopt unless the datagram has the magic, command 0x11 and all 32 bytes. A version
    // field without a zero byte gives its 14 bytes, never the counters after it.
    static std::optional<StatusReply> Decode(std::span<const uint8_t> datagram);
};
