#include "tests/support/TestNamespace.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

bool InTestNamespace() {
    const char* inside = std::getenv("VELTRO_IN_NETNS");
    return inside && std::string_view(inside) == "1";
}

void EnterTestNamespace(char** argv) {
    if (InTestNamespace()) return;
    // The script runs the program it is given: this one, by its own path, with its arguments.
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        std::fprintf(stderr, "Could not find this program's path; tests that %s fail.\n",
                     kNeedsTestNamespace);
        return;
    }
    self[length] = '\0';
    std::vector<char*> args{const_cast<char*>(VELTRO_IN_NETNS_SCRIPT), self};
    for (char** arg = argv + 1; *arg; ++arg) args.push_back(*arg);
    args.push_back(nullptr);
    ::execv(VELTRO_IN_NETNS_SCRIPT, args.data());
    std::fprintf(stderr, "Could not start %s: %s; tests that %s fail.\n", VELTRO_IN_NETNS_SCRIPT,
                 std::strerror(errno), kNeedsTestNamespace);
}
