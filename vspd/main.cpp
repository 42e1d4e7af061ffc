// veltro-vspd: the virtual serial port service.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vspd/Service.h"
#include "vspd/VspdPaths.h"

namespace {

const char* const kUsage =
    "usage: veltro-vspd [options]\n"
    "  --socket PATH           control socket (VELTRO_VSPD_SOCKET)\n"
    "  --com-dir DIR           COM links (VELTRO_COM_DIR)\n"
    "  --state-dir DIR         state file (VELTRO_VSPD_STATE_DIR)\n"
    "  --connect-timeout-ms N  bound of a connection attempt (default 10000)\n"
    "  --retry-ms N            retry period of connect-at-start ports (default 5000)\n"
    "  --reconnect-ms N        first pause before restoring a dropped link (default 1000)\n"
    "  --reconnect-max-ms N    the pauses double up to this (default 30000)\n"
    "  --session-idle-ms N     a control session's part of a frame waits this long\n"
    "                          (default 5000)\n"
    "  --no-auto-map           give physical serial ports no COM names of their own\n"
    "  --sys-class-tty DIR     where to look for physical serial ports\n"
    "  -h, --help              show this help\n"
    "  --version               show the version\n";

int UsageError(const std::string& what) {
    std::fprintf(stderr, "veltro-vspd: %s (see veltro-vspd --help)\n", what.c_str());
    return 2;
}

bool ParseMs(const char* text, int* out) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (!*text || *end || value <= 0 || value > 3600000) return false;
    *out = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    vspd::ServiceOptions options;
    options.socketPath = vspd::DefaultSocketPath();
    options.table.comDir = vspd::DefaultComDir();
    options.table.stateDir = vspd::DefaultStateDir();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("veltro-vspd %s\n", VELTRO_VERSION);
            return 0;
        }
        if (arg == "--no-auto-map") {
            options.table.autoMap = false;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || arg == "--")
            return UsageError("unexpected argument \"" + arg + "\"");
        // The usage lists every option, each after two spaces and before its value's name.
        if (!std::strstr(kUsage, ("  " + arg + " ").c_str()))
            return UsageError("unknown option " + arg);
        if (!value) return UsageError("missing value for " + arg);
        if (arg == "--socket") {
            options.socketPath = value;
        } else if (arg == "--com-dir") {
            options.table.comDir = value;
        } else if (arg == "--state-dir") {
            options.table.stateDir = value;
        } else if (arg == "--sys-class-tty") {
            options.table.sysClassTty = value;
        } else if (arg == "--connect-timeout-ms") {
            ok = ParseMs(value, &options.table.timing.connectTimeoutMs);
        } else if (arg == "--retry-ms") {
            ok = ParseMs(value, &options.table.timing.autoRetryMs);
        } else if (arg == "--reconnect-ms") {
            ok = ParseMs(value, &options.table.timing.reconnectFirstMs);
        } else if (arg == "--reconnect-max-ms") {
            ok = ParseMs(value, &options.table.timing.reconnectMaxMs);
        } else if (arg == "--session-idle-ms") {
            ok = ParseMs(value, &options.sessionIdleLimitMs);
        } else {
            return UsageError("unknown option " + arg);
        }
        if (!ok) return UsageError("bad value \"" + std::string(value) + "\" for " + arg);
        ++i;
    }
    vspd::Service service(options);
    std::string error;
    if (!service.Start(&error)) {
        std::fprintf(stderr, "veltro-vspd: %s\n", error.c_str());
        return 1;
    }
    service.Run();
    return 0;
}
