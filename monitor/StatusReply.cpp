#include "monitor/StatusReply.h"

#include <algorithm>

#include "protocol/ByteOrder.h"
#include "protocol/Message.h"

QByteArray StatusReply::Encode() const {
    QByteArray out = msg::WithHeader(kSize, msg::kStatusReply, modemStatus);
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    const QByteArray version = firmwareVersion.left(kVersionWidth);
    std::copy(version.begin(), version.end(), p + kVersionOffset);
    bytes::PutLE32(p + kTxOffset, txCount);
    bytes::PutLE32(p + kRxOffset, rxCount);
    return out;
}

std::optional<StatusReply> StatusReply::Decode(std::span<const uint8_t> datagram) {
    if (datagram.size() < static_cast<size_t>(kSize) || !msg::HasMagic(datagram) ||
        datagram[msg::kCommandOffset] != msg::kStatusReply)
        return std::nullopt;
    const uint8_t* p = datagram.data();
    const uint8_t* version = p + kVersionOffset;
    const uint8_t* versionEnd = std::find(version, version + kVersionWidth, uint8_t{0});
    StatusReply reply;
    reply.modemStatus = p[kModemOffset];
    reply.firmwareVersion = QByteArray(reinterpret_cast<const char*>(version),
                                       static_cast<qsizetype>(versionEnd - version));
    reply.txCount = bytes::GetLE32(p + kTxOffset);
    reply.rxCount = bytes::GetLE32(p + kRxOffset);
    return reply;
}
