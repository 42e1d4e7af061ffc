#pragma once

#include <sys/un.h>

#include <string>

// Where the service, its control tool and the program meet. Each path comes from an
// environment variable, else from the user's runtime or state directory:
//   VELTRO_VSPD_SOCKET     control socket   $XDG_RUNTIME_DIR/veltro/vspd/control.sock
//   VELTRO_COM_DIR         COM links        $XDG_RUNTIME_DIR/veltro/com
//   VELTRO_VSPD_STATE_DIR  state file       $XDG_STATE_HOME/veltro (~/.local/state/veltro)
// Without XDG_RUNTIME_DIR the runtime paths go under /tmp/veltro-<uid>.
namespace vspd {

std::string RuntimeBaseDir();
std::string DefaultSocketPath();
std::string DefaultComDir();
std::string DefaultStateDir();

// The address of the Unix socket at path; false when the path is too long for one.
bool UnixAddress(const std::string& path, sockaddr_un* address);

// Creates the directory and its missing parents with the given mode. An existing final
// directory must belong to this user; with privateDir its mode is narrowed to 0700.
bool MakeDirectories(const std::string& path, bool privateDir, std::string* error);

}  // namespace vspd
