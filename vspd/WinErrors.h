#pragma once

#include <cstdint>

// The Windows error codes that travel in control replies: the program tells some of them
// apart (5, 121, 1225) and shows the others by number; the tool says each in words.
namespace winerr {

constexpr uint32_t kSuccess = 0;
constexpr uint32_t kInvalidFunction = 1;  // unknown control code or request
constexpr uint32_t kFileNotFound = 2;     // no such device path
constexpr uint32_t kAccessDenied = 5;     // port held open by another program or handle
constexpr uint32_t kInvalidHandle = 6;    // request without an open port
constexpr uint32_t kBadCommand = 22;
constexpr uint32_t kWriteFault = 29;           // state file could not be written
constexpr uint32_t kGenFailure = 31;           // service unreachable or broken reply
constexpr uint32_t kSharingViolation = 32;     // COM number already claimed
constexpr uint32_t kInvalidParameter = 87;     // malformed request or buffer
constexpr uint32_t kSemTimeout = 121;          // remote host did not answer in time
constexpr uint32_t kInsufficientBuffer = 122;  // output buffer too small
constexpr uint32_t kAlreadyExists = 183;
constexpr uint32_t kNoMoreItems = 259;
constexpr uint32_t kServiceNotActive = 1062;  // no service answers at the socket
constexpr uint32_t kConnectionRefused = 1225;
constexpr uint32_t kConnectionAborted = 1236;  // attempt cancelled by a disconnection
constexpr uint32_t kNoSuchDevinst = 0xE000020B;
constexpr uint32_t kAddressInUse = 10048;  // listen port taken

// The reason in words ("the remote host refused the network connection"); null for a code
// that the service does not send.
const char* Describe(uint32_t code);

}  // namespace winerr
