#include "devmgr/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace {

// Non-blocking, so that a FIFO in the image's place cannot stall the user-interface thread.
int OpenForReading(const QByteArray& path) {
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

ImageFile::ImageFile(const QString& path) : path_(QFile::encodeName(path)) {}

std::optional<int64_t> ImageFile::Length() const {
    const int fd = OpenForReading(path_);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    if (!ok) return std::nullopt;
    return info.st_size;
}

std::optional<QByteArray> ImageFile::Read(int64_t offset, int64_t length) const {
    const int fd = OpenForReading(path_);
    if (fd < 0) return std::nullopt;
    QByteArray bytes(length, '\0');
    int64_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd, bytes.data() + done, static_cast<size_t>(length - done), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    ::close(fd);
    if (done != length) return std::nullopt;
    return bytes;
}
