// Reads arbitrary vsp.dat bytes; the records must stay within the table and survive a
// write and read back.
#include <cstddef>
#include <cstdint>

#include "vsp/VspDatFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const VspFileContents contents = DecodeVspFile(bytes);
    const auto count = static_cast<int>(contents.records.size());
    if (count > kVspMaxPorts) __builtin_trap();
    const QByteArray written = EncodeVspFile(contents.records.data(), count);
    const VspFileContents reread = DecodeVspFile(written);
    if (written.size() <= kVspFileMaxBytes &&
        EncodeVspFile(reread.records.data(), static_cast<int>(reread.records.size())) != written) {
        __builtin_trap();
    }
    return 0;
}
