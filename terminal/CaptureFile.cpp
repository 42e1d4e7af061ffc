#include "terminal/CaptureFile.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/AtomicFile.h"

bool CaptureFile::Start(const QString& path, QString* error) {
    Stop();
    path_ = path;
    written_ = 0;
    // A FIFO that nobody reads must not hold the window up.
    const int fd = OpenForWriting(path, O_CREAT | O_TRUNC, error);
    if (fd < 0) return false;
    if (file_.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    *error = file_.errorString();
    ::close(fd);
    return false;
}

bool CaptureFile::Write(QByteArrayView bytes, QString* error) {
    if (!Running()) return true;
    const qint64 taken = file_.write(bytes.data(), bytes.size());
    if (taken > 0) written_ += taken;
    if (taken == bytes.size()) return true;
    *error = file_.errorString();
    Stop();
    return false;
}

qint64 CaptureFile::Stop() {
    file_.close();
    return written_;
}
