#pragma once

// The service's log: one line on standard error, after the program's name.
namespace vspd {

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vspd
