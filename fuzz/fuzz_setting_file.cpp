// Reads arbitrary device setting files; a refused file changes nothing, and what a load leaves
// must write out and load back stably (numbers beyond the signed range settle after one pass).
#include <cstddef>
#include <cstdint>

#include "devcfg/DeviceSettingFile.h"

namespace {

QByteArray Pass(const QByteArray& text) {
    DeviceSetupValues values;
    settingfile::Load(text, values);
    const settingfile::Written written = settingfile::Write(values);
    if (!written.complete) __builtin_trap();  // a loaded name never holds a space
    return written.text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    DeviceSetupValues values;
    const DeviceSetupValues before = values;
    const auto report = settingfile::Load(text, values, [](int line) {
        if (line < 2 || line > settingfile::kLineCount) __builtin_trap();
        settingfile::ActsAtOnce(line);
    });
    if (report.lineCount < 0 || report.lineCount > settingfile::kLineCount) __builtin_trap();
    // A file that is refused, whole or in part, changes nothing.
    if (report.result != settingfile::LoadResult::Loaded) {
        if (values != before) __builtin_trap();
        return 0;
    }
    const QByteArray settled = Pass(Pass(text));
    if (Pass(settled) != settled) __builtin_trap();
    return 0;
}
