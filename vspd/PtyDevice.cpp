#include "vspd/PtyDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "vspd/ControlProtocol.h"

namespace vspd {
namespace {

constexpr size_t kReadOutChunk = 4096;
// A program that keeps writing cannot hold the service in a read-out.
constexpr int kMaxReadOuts = 256;

// Reads a non-blocking descriptor until it has nothing more; `bytesOf` tells how many bytes
// of each read count. Returns their sum.
template <typename BytesOf>
uint64_t ReadOut(int fd, BytesOf bytesOf) {
    uint64_t total = 0;
    uint8_t buffer[kReadOutChunk];
    for (int i = 0; i < kMaxReadOuts; ++i) {
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n > 0) {
            total += bytesOf(buffer, size_t(n));
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

uint64_t PtyDevice::DiscardSlaveInput() {
    int slave = open(slavePath_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return 0;
    // A canonical tty keeps an unfinished line from the reader, and an echoing one would
    // send back what moves into it meanwhile: both are off while the service reads.
    termios saved{};
    bool cooked = tcgetattr(slave, &saved) == 0 && (saved.c_lflag & (ICANON | ECHO | ECHONL));
    if (cooked) {
        termios plain = saved;
        plain.c_lflag &= ~tcflag_t(ICANON | ECHO | ECHONL);
        tcsetattr(slave, TCSANOW, &plain);
    }
    uint64_t total = ReadOut(slave, [](const uint8_t*, size_t n) { return uint64_t(n); });
    if (cooked) tcsetattr(slave, TCSANOW, &saved);
    close(slave);
    return total;
}

uint64_t PtyDevice::DiscardMasterInput() {
    // Packet mode: a status byte comes first, then data only when it is TIOCPKT_DATA.
    return ReadOut(master_, [](const uint8_t* buffer, size_t n) {
        return n > 1 && buffer[0] == TIOCPKT_DATA ? uint64_t(n - 1) : 0;
    });
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

}  // namespace vspd
