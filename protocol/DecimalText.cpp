#include "protocol/DecimalText.h"

namespace {

constexpr uint64_t kSaturated = uint64_t{1} << 33;  // beyond every 32-bit range

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Sign and magnitude of the leading number; the magnitude stops growing at kSaturated.
struct Leading {
    bool negative = false;
    uint64_t magnitude = 0;
};

Leading ReadLeading(QByteArrayView text) {
    Leading result;
    qsizetype i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) result.negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        result.magnitude = result.magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (result.magnitude > kSaturated) result.magnitude = kSaturated;
    }
    return result;
}

}  // namespace

int32_t LeadingInt32(QByteArrayView text) {
    const Leading n = ReadLeading(text);
    if (n.negative) {
        return n.magnitude >= uint64_t{1} << 31 ? INT32_MIN : -static_cast<int32_t>(n.magnitude);
    }
    return n.magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n.magnitude);
}

uint32_t LeadingUInt32(QByteArrayView text) {
    const Leading n = ReadLeading(text);
    if (n.magnitude > UINT32_MAX) return UINT32_MAX;
    const auto value = static_cast<uint32_t>(n.magnitude);
    return n.negative ? 0u - value : value;
}
