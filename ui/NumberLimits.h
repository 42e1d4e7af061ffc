#pragma once

#include <QString>
#include <cstdint>

// The range of an unsigned number box: a value below `minimum` becomes `minimum`, one above
// `maximum` becomes `maximum`.
struct NumberLimits {
    uint32_t minimum;
    uint32_t maximum;
    uint32_t Clamp(uint32_t value) const {
        return value < minimum ? minimum : value > maximum ? maximum : value;
    }
};

// Text of a number box as it is read: its leading decimal digits, saturating at the largest
// unsigned 32-bit number; no digits read as 0.
uint32_t ReadUnsigned(const QString& text);
