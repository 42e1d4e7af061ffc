// Reads arbitrary VELTRO.dat text; whatever is read must write out and read back the same.
#include <cstddef>
#include <cstdint>

#include "app/AppSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto settings = DecodeSettingsFile(text);
    if (!settings) return 0;
    const QByteArray written = EncodeSettingsFile(*settings);
    const auto reread = DecodeSettingsFile(written);
    if (!reread || EncodeSettingsFile(*reread) != written) __builtin_trap();
    return 0;
}
