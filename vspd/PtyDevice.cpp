#include "vspd/PtyDevice.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "vspd/ControlProtocol.h"

namespace vspd {
namespace {

constexpr size_t kReadOutChunk = 4096;
// A program that keeps writing cannot hold the service in a read-out.
constexpr int kMaxReadOuts = 256;

// Reads a non-blocking descriptor until it has nothing more; returns how many bytes came.
uint64_t ReadOut(int fd) {
    uint64_t total = 0;
    uint8_t buffer[kReadOutChunk];
    for (int i = 0; i < kMaxReadOuts; ++i) {
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n > 0) {
            total += uint64_t(n);
        } else if (!(n < 0 && errno == EINTR)) {
            break;
        }
    }
    return total;
}

}  // namespace

PtyDevice::~PtyDevice() {
    if (master_ >= 0) close(master_);
}

bool PtyDevice::Create(std::string* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof(name)) != 0) {
        *error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    // Termios requests on the master act on the slave.
    termios tio{};
    if (tcgetattr(master_, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(master_, TCSANOW, &tio);
    }
    int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        *error = slavePath_ + ": " + std::strerror(errno);
        return false;
    }
    close(slave);
    int packet = 1;
    if (ioctl(master_, TIOCPKT, &packet) != 0) {
        *error = std::string("TIOCPKT: ") + std::strerror(errno);
        return false;
    }
    return true;
}

SlaveDiscard PtyDevice::DiscardSlaveInput(bool held) {
    SlaveDiscard result;
    int slave = open(slavePath_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return result;
    termios saved{};
    bool known = tcgetattr(slave, &saved) == 0;
    if (known && held && (saved.c_lflag & ICANON)) {
        // A holder's settings are its own: its unfinished line is flushed, not read.
        int unread = 0;
        if (ioctl(slave, FIONREAD, &unread) != 0) unread = 0;
        result.flushStatus = tcflush(slave, TCIFLUSH) == 0;
        result.bytes = result.flushStatus ? uint64_t(std::max(unread, 0)) : 0;
    } else {
        // A read also takes what the kernel has not yet moved into the tty. Nobody holding
        // it, a canonical tty would keep an unfinished line from the reader, and an echoing
        // one would send back what moves into it meanwhile: both are off while it is read.
        bool cooked = known && !held && (saved.c_lflag & (ICANON | ECHO | ECHONL));
        if (cooked) {
            termios plain = saved;
            plain.c_lflag &= ~tcflag_t(ICANON | ECHO | ECHONL);
            tcsetattr(slave, TCSANOW, &plain);
        }
        result.bytes = ReadOut(slave);
        if (cooked) tcsetattr(slave, TCSANOW, &saved);
    }
    close(slave);
    return result;
}

bool PtyDevice::SlaveHeldOpen() const {
    pollfd p{master_, POLLIN, 0};
    return poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

std::string ComName(unsigned number) {
    return "COM" + std::to_string(number);
}

unsigned ComNumberOfName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) return 0;
    unsigned n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + unsigned(name[i] - '0');
    }
    return name[3] != '0' && n <= kComNumberMax ? n : 0;
}

bool PlaceLink(const std::string& dir, const std::string& name, const std::string& target,
               std::string* error) {
    std::string path = dir + "/" + name;
    std::string temp = dir + "/." + name + ".tmp";
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

void RemoveLink(const std::string& dir, const std::string& name) {
    std::string path = dir + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(path.c_str());
}

void RemoveLinkTo(const std::string& dir, const std::string& name, const std::string& target) {
    std::string path = dir + "/" + name;
    char buffer[PATH_MAX];
    ssize_t n = readlink(path.c_str(), buffer, sizeof(buffer));
    if (n > 0 && std::string(buffer, size_t(n)) == target) unlink(path.c_str());
}

}  // namespace vspd
