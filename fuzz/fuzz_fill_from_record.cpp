// Fills the setup values from arbitrary 756-byte records and builds the setup command; a
// record that builds without a complaint must come back unchanged when built again.
#include <cstddef>
#include <cstdint>
#include <span>

#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto record = DeviceConfigRecord::FromBytes(std::span(data, size));
    if (!record) return 0;
    const int listIndex = size > devrec::kSize ? data[devrec::kSize] : 0;
    DeviceSetupValues values;
    if (!FillSetupValues(values, *record, listIndex)) return 0;
    const SetupBuild first = BuildSetupRecord(values, record->MacAddress());

    DeviceSetupValues fromFile;
    settingfile::Load(settingfile::Write(values).text, fromFile);
    BuildSetupRecord(fromFile, record->MacAddress());

    if (!first.Ok()) return 0;
    DeviceConfigRecord reply = first.command;
    reply.Set(devrec::command, 1);
    DeviceSetupValues again;
    if (!FillSetupValues(again, reply, listIndex)) __builtin_trap();
    const SetupBuild second = BuildSetupRecord(again, record->MacAddress());
    if (!second.Ok() || !(second.command == first.command)) __builtin_trap();
    return 0;
}
