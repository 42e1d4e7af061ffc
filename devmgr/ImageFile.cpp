#include "devmgr/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

bool ImageFile::Open(const QString& path) {
    Close();
    // Non-blocking, so that a FIFO in the image's place cannot stall the user-interface thread.
    int fd;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    length_ = info.st_size;
    return true;
}

void ImageFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    length_ = 0;
}

std::optional<QByteArray> ImageFile::Read(int64_t offset, int64_t length) const {
    if (fd_ < 0) return std::nullopt;
    QByteArray bytes(length, Qt::Uninitialized);
    int64_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd_, bytes.data() + done, static_cast<size_t>(length - done), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        done += n;
    }
    return bytes;
}
