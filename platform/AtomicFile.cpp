#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace {

bool Fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

QString SystemReason(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Whether `path` names something that exists and is not a regular file (symbolic links
// followed).
bool IsSpecial(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

// Writes into the existing object itself: nothing to rename, nothing to truncate.
bool WriteDirectly(const QString& path, QByteArrayView bytes, QString* error) {
    const int fd = OpenForWriting(path, 0, error);
    if (fd < 0) return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : EIO;
            ::close(fd);
            return Fail(error, SystemReason(code));
        }
        done += n;
    }
    if (::close(fd) != 0) return Fail(error, SystemReason(errno));
    return true;
}

}  // namespace

int OpenForWriting(const QString& path, int flags, QString* error) {
    // Without O_NONBLOCK a FIFO that nobody reads would block the open for ever.
    constexpr mode_t kNewFileMode = 0666;  // less the umask, as any program's
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags, kNewFileMode);
    if (fd < 0) {
        Fail(error, errno == ENXIO ? QStringLiteral("no program reads it") : SystemReason(errno));
        return -1;
    }
    // Once open, the writes wait for a slow reader as any program's output does.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool WriteFileAtomically(const QString& path, QByteArrayView bytes, QString* error) {
    if (IsSpecial(path)) return WriteDirectly(path, bytes, error);
    QSaveFile file(path);
    // No fallback to writing in place: a cut file is worse than a failed save.
    file.setDirectWriteFallback(false);
    // The explicit flush matters: commit() does not see a failure of the buffered write.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes.data(), bytes.size()) == bytes.size() &&
        file.flush() && file.commit()) {
        return true;
    }
    if (error) *error = file.errorString();
    file.cancelWriting();
    return false;
}
