#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Little-endian field writer and bounds-checked reader for the control protocol's bodies.
namespace vspd {

class WireWriter {
  public:
    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void U64(uint64_t v);
    // A 16-bit length followed by the bytes; callers keep texts under 64 KiB.
    void Text(std::string_view text);
    void Bytes(std::span<const uint8_t> data) { out_.insert(out_.end(), data.begin(), data.end()); }
    std::vector<uint8_t> Take() { return std::move(out_); }

  private:
    std::vector<uint8_t> out_;
};

// Every getter returns 0 or empty once the input has run short; Ok() tells afterwards.
class WireReader {
  public:
    explicit WireReader(std::span<const uint8_t> in) : in_(in) {}
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();
    std::string Text(size_t maxLength);
    std::vector<uint8_t> Bytes(size_t count);
    std::vector<uint8_t> Rest();
    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && pos_ == in_.size(); }

  private:
    const uint8_t* Take(size_t count);
    std::span<const uint8_t> in_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace vspd
