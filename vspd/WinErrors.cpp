#include "vspd/WinErrors.h"

#include <utility>

namespace winerr {

namespace {

constexpr std::pair<uint32_t, const char*> kWords[] = {
    {kSuccess, "success"},
    {kInvalidFunction, "the service does not know the request"},
    {kFileNotFound, "no such port"},
    {kAccessDenied, "the port is open in another program or handle"},
    {kInvalidHandle, "the port is not open"},
    {kBadCommand, "the port does not take this command"},
    {kWriteFault, "the service could not write its state file"},
    {kGenFailure, "the service could not be reached or gave a broken reply"},
    {kSharingViolation, "the COM number is already in use"},
    {kInvalidParameter, "the service refused a malformed request or value"},
    {kSemTimeout, "remote host unreachable"},
    {kInsufficientBuffer, "the reply does not fit its buffer"},
    {kAlreadyExists, "it exists already"},
    {kNoMoreItems, "no more items"},
    {kServiceNotActive, "the port service is not running"},
    {kConnectionRefused, "the remote host refused the network connection"},
    {kConnectionAborted, "the connection attempt was cancelled"},
    {kNoSuchDevinst, "no such port instance"},
    {kAddressInUse, "the listen port is in use by another program"},
};

}  // namespace

const char* Describe(uint32_t code) {
    for (const auto& [known, words] : kWords)
        if (known == code) return words;
    return nullptr;
}

}  // namespace winerr
