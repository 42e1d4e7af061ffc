#include "upgrade/TftpPacket.h"

#include <algorithm>

#include "protocol/ByteOrder.h"

namespace {

const uint8_t* Bytes(QByteArrayView bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

QByteArray Header(TftpOpcode opcode, uint16_t second) {
    QByteArray out(kTftpHeaderSize, '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    bytes::PutBE16(p, static_cast<uint16_t>(opcode));
    bytes::PutBE16(p + 2, second);
    return out;
}

QByteArray Opcode(TftpOpcode opcode) {
    QByteArray out(2, '\0');
    bytes::PutBE16(reinterpret_cast<uint8_t*>(out.data()), static_cast<uint16_t>(opcode));
    return out;
}

void AppendString(QByteArray& out, const QByteArray& text) {
    out += text;
    out += '\0';
}

void AppendOptions(QByteArray& out, const std::vector<TftpOption>& options) {
    for (const auto& option : options) {
        AppendString(out, option.name);
        AppendString(out, option.value);
    }
}

bool HasOpcode(QByteArrayView bytes, TftpOpcode opcode, qsizetype minimumSize) {
    return bytes.size() >= minimumSize && PeekTftpOpcode(bytes) == static_cast<uint16_t>(opcode);
}

// Splits NUL-terminated strings from offset to the end; nullopt if the last one is unterminated.
std::optional<std::vector<QByteArray>> SplitStrings(QByteArrayView bytes, qsizetype offset) {
    std::vector<QByteArray> strings;
    while (offset < bytes.size()) {
        const qsizetype end = bytes.indexOf('\0', offset);
        if (end < 0) return std::nullopt;
        strings.emplace_back(bytes.sliced(offset, end - offset).toByteArray());
        offset = end + 1;
    }
    return strings;
}

std::optional<std::vector<TftpOption>> PairUp(const std::vector<QByteArray>& strings,
                                              size_t first) {
    if ((strings.size() - first) % 2 != 0) return std::nullopt;
    std::vector<TftpOption> options;
    for (size_t i = first; i < strings.size(); i += 2) {
        options.push_back({strings[i], strings[i + 1]});
    }
    return options;
}

}  // namespace

TftpRequest MakeUpgradeRequest(const QByteArray& fileName, int64_t fileLength, int blockSize) {
    return {TftpOpcode::WriteRequest,
            fileName,
            "octet",
            {{"blksize", QByteArray::number(blockSize)},
             {"tsize", QByteArray::number(static_cast<qlonglong>(fileLength))}}};
}

QByteArray EncodeTftp(const TftpRequest& packet) {
    QByteArray out = Opcode(packet.opcode);
    AppendString(out, packet.fileName);
    AppendString(out, packet.mode);
    AppendOptions(out, packet.options);
    return out;
}

QByteArray EncodeTftp(const TftpData& packet) {
    QByteArray out;
    EncodeTftpData(out, packet.block, packet.data);
    return out;
}

void EncodeTftpData(QByteArray& out, uint16_t block, QByteArrayView data) {
    out.resize(kTftpHeaderSize + data.size());
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    bytes::PutBE16(p, static_cast<uint16_t>(TftpOpcode::Data));
    bytes::PutBE16(p + 2, block);
    std::copy(data.begin(), data.end(), out.begin() + kTftpHeaderSize);
}

QByteArray EncodeTftp(const TftpAck& packet) {
    return Header(TftpOpcode::Ack, packet.block);
}

QByteArray EncodeTftp(const TftpError& packet) {
    QByteArray out = Header(TftpOpcode::Error, packet.code);
    AppendString(out, packet.message);
    return out;
}

QByteArray EncodeTftp(const TftpOptionAck& packet) {
    QByteArray out = Opcode(TftpOpcode::OptionAck);
    AppendOptions(out, packet.options);
    return out;
}

std::optional<uint16_t> PeekTftpOpcode(QByteArrayView bytes) {
    if (bytes.size() < 2) return std::nullopt;
    return bytes::GetBE16(Bytes(bytes));
}

std::optional<TftpRequest> DecodeTftpRequest(QByteArrayView bytes) {
    const auto opcode = PeekTftpOpcode(bytes);
    if (opcode != static_cast<uint16_t>(TftpOpcode::ReadRequest) &&
        opcode != static_cast<uint16_t>(TftpOpcode::WriteRequest)) {
        return std::nullopt;
    }
    const auto strings = SplitStrings(bytes, 2);
    if (!strings || strings->size() < 2) return std::nullopt;
    auto options = PairUp(*strings, 2);
    if (!options) return std::nullopt;
    return TftpRequest{static_cast<TftpOpcode>(*opcode), (*strings)[0], (*strings)[1],
                       std::move(*options)};
}

std::optional<TftpData> DecodeTftpData(QByteArrayView bytes) {
    if (!HasOpcode(bytes, TftpOpcode::Data, kTftpHeaderSize)) return std::nullopt;
    if (bytes.size() > kTftpMaxPacketSize) return std::nullopt;
    return TftpData{bytes::GetBE16(Bytes(bytes) + 2), bytes.sliced(kTftpHeaderSize).toByteArray()};
}

std::optional<TftpAck> DecodeTftpAck(QByteArrayView bytes) {
    if (!HasOpcode(bytes, TftpOpcode::Ack, kTftpHeaderSize)) return std::nullopt;
    return TftpAck{bytes::GetBE16(Bytes(bytes) + 2)};
}

std::optional<TftpError> DecodeTftpError(QByteArrayView bytes) {
    if (!HasOpcode(bytes, TftpOpcode::Error, kTftpHeaderSize)) return std::nullopt;
    QByteArrayView text = bytes.sliced(kTftpHeaderSize);
    const qsizetype end = text.indexOf('\0');
    if (end >= 0) text = text.first(end);
    return TftpError{bytes::GetBE16(Bytes(bytes) + 2), text.toByteArray()};
}

std::optional<TftpOptionAck> DecodeTftpOptionAck(QByteArrayView bytes) {
    if (!HasOpcode(bytes, TftpOpcode::OptionAck, 2)) return std::nullopt;
    const auto strings = SplitStrings(bytes, 2);
    if (!strings) return std::nullopt;
    auto options = PairUp(*strings, 0);
    if (!options) return std::nullopt;
    return TftpOptionAck{std::move(*options)};
}
