// The state file reader of veltro-vspd: a damaged file must load what it can, and what
// it loads must survive being written and read again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vspd/StateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vspd::ServiceState state =
        vspd::DecodeState(std::string_view(reinterpret_cast<const char*>(data), size));
    if (vspd::DecodeState(vspd::EncodeState(state)) != state) std::abort();
    return 0;
}
