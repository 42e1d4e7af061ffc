#pragma once

#include <QByteArrayView>
#include <cstdint>

// The C library's leading-decimal conversions (atoi, strtol, strtoul) on bytes from files:
// optional leading white space and sign, then digits up to the first non-digit; no digits
// give 0. Out-of-range values saturate as they do where long is 32 bits wide.
int32_t LeadingInt32(QByteArrayView text);
// A leading minus negates modulo 2^32, as strtoul does ("-1" gives 4294967295).
uint32_t LeadingUInt32(QByteArrayView text);
