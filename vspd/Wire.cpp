#include "vspd/Wire.h"

#include "protocol/ByteOrder.h"

namespace vspd {

void WireWriter::U16(uint16_t v) {
    uint8_t b[2];
    bytes::PutLE16(b, v);
    out_.insert(out_.end(), b, b + 2);
}

void WireWriter::U32(uint32_t v) {
    uint8_t b[4];
    bytes::PutLE32(b, v);
    out_.insert(out_.end(), b, b + 4);
}

void WireWriter::U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
}

void WireWriter::Text(std::string_view text) {
    U16(static_cast<uint16_t>(text.size()));
    out_.insert(out_.end(), text.begin(), text.end());
}

const uint8_t* WireReader::Take(size_t count) {
    if (!ok_ || in_.size() - pos_ < count) {
        ok_ = false;
        return nullptr;
    }
    const uint8_t* p = in_.data() + pos_;
    pos_ += count;
    return p;
}

uint8_t WireReader::U8() {
    const uint8_t* p = Take(1);
    return p ? *p : 0;
}

uint16_t WireReader::U16() {
    const uint8_t* p = Take(2);
    return p ? bytes::GetLE16(p) : 0;
}

uint32_t WireReader::U32() {
    const uint8_t* p = Take(4);
    return p ? bytes::GetLE32(p) : 0;
}

uint64_t WireReader::U64() {
    uint64_t low = U32();
    uint64_t high = U32();
    return high << 32 | low;
}

std::string WireReader::Text(size_t maxLength) {
    uint16_t length = U16();
    if (length > maxLength) ok_ = false;
    const uint8_t* p = Take(length);
    return p ? std::string(reinterpret_cast<const char*>(p), length) : std::string();
}

std::vector<uint8_t> WireReader::Bytes(size_t count) {
    const uint8_t* p = Take(count);
    return p ? std::vector<uint8_t>(p, p + count) : std::vector<uint8_t>();
}

std::vector<uint8_t> WireReader::Rest() {
    return Bytes(ok_ ? in_.size() - pos_ : 0);
}

}  // namespace vspd
