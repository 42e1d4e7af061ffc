// The control-request decoder of veltro-vspd, which reads bytes from any local client:
// no input may crash it, a decoded request must encode back to exactly the input, and
// the driver buffers and the reply decoder must hold to the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "vspd/ControlProtocol.h"
#include "vspd/DriverRequests.h"
#include "vspd/WinErrors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    vspd::DecodedRequest decoded = vspd::DecodeRequest(in);
    if (decoded.request) {
        if (decoded.error != 0) std::abort();
        if (vspd::EncodeRequest(*decoded.request) != std::vector<uint8_t>(in.begin(), in.end())) {
            std::abort();
        }
        if (auto* ioctl = std::get_if<vspd::IoctlRequest>(&*decoded.request)) {
            auto info = vspd::RemoteInfoRequest::Decode(ioctl->input);
            if (info && vspd::RemoteInfoRequest::Decode(info->Encode()) != info) std::abort();
            vspd::DecodeDosName(ioctl->input);
            vspd::DecodeComNumber(ioctl->input);
        }
    } else if (decoded.error != winerr::kInvalidParameter &&
               decoded.error != winerr::kInvalidFunction) {
        std::abort();
    }
    if (auto reply = vspd::DecodeReply(in)) {
        auto again = vspd::DecodeReply(vspd::EncodeReply(*reply));
        if (!again || *again != *reply) std::abort();
    }
    return 0;
}
