#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "vspd/VspdPaths.h"

using namespace vspd;

namespace {

// An id no account on a test machine uses.
constexpr uid_t kOrdinaryUid = 43217;
constexpr char kRefused[] = "refused: ";

// Empty when done, else the step that failed and the kernel's reason.
std::string WriteFile(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY);
    const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    const int error = errno;
    if (fd >= 0) close(fd);
    return ok ? std::string() : std::string("writing ") + path + ": " + std::strerror(error);
}

// The child's view, as a real ordinary user (kOrdinaryUid when run as root) who maps itself to
// root in a user namespace of its own, as the demo does. Empty when entered, else why the
// kernel refused.
std::string EnterMappedUserNamespace(bool* dropped) {
    *dropped = getuid() == 0 && setgroups(0, nullptr) == 0 &&
               setresgid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) == 0 &&
               setresuid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) == 0;
    prctl(PR_SET_DUMPABLE, 1);  // else /proc/self is root's after the drop
    const std::string uidMap = "0 " + std::to_string(geteuid()) + " 1";
    const std::string gidMap = "0 " + std::to_string(getegid()) + " 1";
    if (unshare(CLONE_NEWUSER) != 0) return std::string("unshare: ") + std::strerror(errno);
    std::string refused = WriteFile("/proc/self/uid_map", uidMap);
    if (refused.empty()) refused = WriteFile("/proc/self/setgroups", "deny");
    if (refused.empty()) refused = WriteFile("/proc/self/gid_map", gidMap);
    return refused;
}

// What the child saw: 'y' made, 'n' refused, for a folder of its own under /tmp and then (when
// it could become another user) for one that the caller made; without a user namespace,
// kRefused and the kernel's reason.
std::string SeenInMappedUserNamespace(const std::string& callersDir) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        bool dropped = false;
        std::string error, seen = EnterMappedUserNamespace(&dropped);
        if (!seen.empty()) {
            seen.insert(0, kRefused);
        } else {
            char own[] = "/tmp/veltro-paths.XXXXXX";
            const bool made = mkdtemp(own) != nullptr;
            seen =
                made && MakeDirectories(std::string(own) + "/vspd/com", true, &error) ? "y" : "n";
            if (made) std::filesystem::remove_all(own);
            if (dropped) seen += MakeDirectories(callersDir + "/vspd", true, &error) ? 'y' : 'n';
        }
        (void)!write(fds[1], seen.data(), seen.size());
        _exit(0);
    }
    close(fds[1]);
    char buffer[256] = {};
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return std::string(buffer, n > 0 ? size_t(n) : 0);
}

}  // namespace

// An ordinary user's demo maps the user to root in a namespace of its own: /tmp then belongs
// to no one the namespace knows, yet it is the system's, so folders under it are fine. A
// folder another real user made stays refused.
TEST(VspdPaths, FoldersInAUserNamespaceOfAnOrdinaryUser) {
    char other[] = "/tmp/veltro-other.XXXXXX";
    ASSERT_NE(mkdtemp(other), nullptr);
    chmod(other, 0777);
    const std::string seen = SeenInMappedUserNamespace(other);
    std::filesystem::remove_all(other);
    // Machines that restrict user namespaces (a sysctl, or a security module) are no fault of
    // the service's; scripts/test runs where they are allowed and requires the case to run.
    if (seen.rfind(kRefused, 0) == 0) {
        if (std::getenv("VELTRO_REQUIRE_USERNS") != nullptr)
            FAIL() << "this machine refuses a user namespace ("
                   << seen.substr(std::strlen(kRefused)) << ") and VELTRO_REQUIRE_USERNS is set";
        GTEST_SKIP() << "this machine refuses a user namespace ("
                     << seen.substr(std::strlen(kRefused))
                     << "), which the demo for an ordinary user needs as well";
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0], 'y') << "a folder of the user's own under /tmp was refused";
    if (seen.size() > 1) {
        EXPECT_EQ(seen[1], 'n') << "another user's folder was taken";
    }
}
