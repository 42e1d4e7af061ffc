#include "upgrade/FirmwareImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace {

// Non-blocking, so that a FIFO in the image's place cannot stall the user-interface thread.
int OpenForReading(const QString& path) {
    int fd;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Up to size bytes; fewer if the file ends sooner, nothing on a read error.
bool ReadAll(int fd, int64_t size, QByteArray& bytes) {
    bytes.resize(size);
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes.data() + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        done += n;
    }
    bytes.truncate(done);
    return true;
}

}  // namespace

FirmwareImage ReadFirmwareImage(const QString& path, int64_t maxSize) {
    FirmwareImage image;
    const int fd = OpenForReading(path);
    if (fd < 0) return image;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        if (info.st_size > maxSize) {
            image.status = FirmwareImage::Status::TooLarge;
        } else if (ReadAll(fd, info.st_size, image.bytes)) {
            image.status = FirmwareImage::Status::Read;
        }
    }
    ::close(fd);
    return image;
}

bool IsFirmwareImage(const QByteArray& head) {
    return head.startsWith(kFirmwareMagic);
}
