#include "vspd/VspdPaths.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vspd {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::string();
}

// Whether a parent folder cannot be swapped under us by someone else: it is ours or root's.
// In a user namespace root's folders show an unmapped owner; a folder directly under "/" with
// the owner of "/" still counts as root's, as only that owner can make one there.
bool TrustedParent(const std::string& parent, const struct stat& st) {
    if (st.st_uid == getuid() || st.st_uid == 0) return true;
    struct stat top {};
    return parent.find('/', 1) == std::string::npos && parent.front() == '/' &&
           stat("/", &top) == 0 && top.st_uid == st.st_uid && (top.st_mode & 022) == 0;
}

}  // namespace

std::string RuntimeBaseDir() {
    std::string runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime.empty()) return runtime + "/veltro";
    return "/tmp/veltro-" + std::to_string(getuid());
}

std::string DefaultSocketPath() {
    std::string path = Env("VELTRO_VSPD_SOCKET");
    return path.empty() ? RuntimeBaseDir() + "/vspd/control.sock" : path;
}

std::string DefaultComDir() {
    std::string path = Env("VELTRO_COM_DIR");
    return path.empty() ? RuntimeBaseDir() + "/com" : path;
}

std::string DefaultStateDir() {
    std::string path = Env("VELTRO_VSPD_STATE_DIR");
    if (!path.empty()) return path;
    std::string state = Env("XDG_STATE_HOME");
    if (!state.empty()) return state + "/veltro";
    std::string home = Env("HOME");
    if (!home.empty()) return home + "/.local/state/veltro";
    return RuntimeBaseDir() + "/state";
}

bool UnixAddress(const std::string& path, sockaddr_un* address) {
    *address = {};
    if (path.size() >= sizeof(address->sun_path)) return false;
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool MakeDirectories(const std::string& path, bool privateDir, std::string* error) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string parent = path.substr(0, slash);
        struct stat st {};
        if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = parent + ": " + std::strerror(errno);
            return false;
        }
        // A folder that another user owns could be swapped under us (/tmp fallbacks).
        if (stat(parent.c_str(), &st) != 0 || !TrustedParent(parent, st)) {
            *error = parent + ": belongs to another user";
            return false;
        }
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = path + ": not a directory";
        return false;
    }
    if (st.st_uid != getuid()) {
        *error = path + ": belongs to another user";
        return false;
    }
    if (privateDir && (st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace vspd
