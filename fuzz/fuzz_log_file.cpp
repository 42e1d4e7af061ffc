// Reads arbitrary log file bytes; the rows read must write out and read back unchanged, and
// any text saved as a message (separators included) must read back as one row.
#include <cstddef>
#include <cstdint>

#include "app/SystemLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);
    const auto saved = DecodeLogFile(EncodeLogFile({{"1", text, text}, {"2", "t", "m"}}));
    if (!saved || saved->size() != 2 || saved->back() != LogRow{"2", "t", "m"}) __builtin_trap();

    const auto rows =
        DecodeLogFile(bytes.first(std::min<qsizetype>(bytes.size(), kLogFileMaxBytes)));
    if (!rows) return 0;
    const auto reread = DecodeLogFile(EncodeLogFile(*rows));
    if (!reread || *reread != *rows) __builtin_trap();
    return 0;
}
