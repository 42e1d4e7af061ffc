// Reads arbitrary log file bytes; the rows read must write out and read back unchanged.
#include <cstddef>
#include <cstdint>

#include "app/SystemLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto rows =
        DecodeLogFile(bytes.first(std::min<qsizetype>(bytes.size(), kLogFileMaxBytes)));
    if (!rows) return 0;
    const auto reread = DecodeLogFile(EncodeLogFile(*rows));
    if (!reread || *reread != *rows) __builtin_trap();
    return 0;
}
