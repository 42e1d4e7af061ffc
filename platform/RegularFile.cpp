#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace {

// Non-blocking, so that a FIFO in the file's place cannot stall the caller.
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

RegularFile::Status ReadOpen(int fd, int64_t maxSize, QByteArray& bytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return RegularFile::Status::CannotOpen;
    if (!S_ISREG(info.st_mode)) return RegularFile::Status::NotRegular;
    if (info.st_size > maxSize) return RegularFile::Status::TooLarge;
    return ReadAll(fd, info.st_size, bytes) ? RegularFile::Status::Read
                                            : RegularFile::Status::CannotOpen;
}

}  // namespace

RegularFile ReadRegularFile(const QString& path, int64_t maxSize) {
    RegularFile file;
    const int fd = OpenForReading(path);
    if (fd < 0) return file;
    file.status = ReadOpen(fd, maxSize, file.bytes);
    if (file.status != RegularFile::Status::Read) file.bytes.clear();
    ::close(fd);
    return file;
}
