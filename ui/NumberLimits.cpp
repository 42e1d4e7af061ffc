#include "ui/NumberLimits.h"

#include <algorithm>

uint32_t ReadUnsigned(const QString& text) {
    uint64_t value = 0;
    for (QChar c : text) {
        if (c < '0' || c > '9') break;
        value =
            std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c.unicode() - '0'), UINT32_MAX);
    }
    return static_cast<uint32_t>(value);
}
