#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>
#include <vector>

// TFTP packets (RFC 1350 with the option extension of RFC 2347) as value types. Every 16-bit
// field is big-endian; strings are NUL-terminated bytes.
enum class TftpOpcode : uint16_t {
    ReadRequest = 1,
    WriteRequest = 2,
    Data = 3,
    Ack = 4,
    Error = 5,
    OptionAck = 6,
};

constexpr int kTftpHeaderSize = 4;  // opcode and block number (or error code)
constexpr int kTftpBlockSize = 512;
constexpr int kTftpMaxPacketSize = kTftpHeaderSize + kTftpBlockSize;

struct TftpOption {
    QByteArray name;
    QByteArray value;
    bool operator==(const TftpOption&) const = default;
};

struct TftpRequest {
    TftpOpcode opcode = TftpOpcode::WriteRequest;  // ReadRequest or WriteRequest
    QByteArray fileName;
    QByteArray mode;
    std::vector<TftpOption> options;
    bool operator==(const TftpRequest&) const = default;
};

struct TftpData {
    uint16_t block = 0;
    QByteArray data;  // at most kTftpBlockSize bytes; fewer ends the transfer
    bool operator==(const TftpData&) const = default;
};

struct TftpAck {
    uint16_t block = 0;
    bool operator==(const TftpAck&) const = default;
};

struct TftpError {
    uint16_t code = 0;
    QByteArray message;
    bool operator==(const TftpError&) const = default;
};

struct TftpOptionAck {
    std::vector<TftpOption> options;
    bool operator==(const TftpOptionAck&) const = default;
};

// The write request of a firmware upgrade: octet mode, the block size asked for (512 as the
// window asks), the image's length.
TftpRequest MakeUpgradeRequest(const QByteArray& fileName, int64_t fileLength,
                               int blockSize = kTftpBlockSize);

QByteArray EncodeTftp(const TftpRequest& packet);
QByteArray EncodeTftp(const TftpData& packet);
// The same DATA packet straight from a slice of the image, into a buffer that keeps its
// capacity from block to block.
void EncodeTftpData(QByteArray& out, uint16_t block, QByteArrayView data);
QByteArray EncodeTftp(const TftpAck& packet);
QByteArray EncodeTftp(const TftpError& packet);
QByteArray EncodeTftp(const TftpOptionAck& packet);

// The opcode field, when the packet is long enough to carry one.
std::optional<uint16_t> PeekTftpOpcode(QByteArrayView bytes);

// Each decoder accepts only its own opcode and rejects a packet that is cut short.
std::optional<TftpRequest> DecodeTftpRequest(QByteArrayView bytes);
std::optional<TftpData> DecodeTftpData(QByteArrayView bytes);
// Bytes after the block number are ignored.
std::optional<TftpAck> DecodeTftpAck(QByteArrayView bytes);
// The message runs to its NUL, or to the end of a packet that lacks one.
std::optional<TftpError> DecodeTftpError(QByteArrayView bytes);
std::optional<TftpOptionAck> DecodeTftpOptionAck(QByteArrayView bytes);
