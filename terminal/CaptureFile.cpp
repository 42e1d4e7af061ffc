#include "terminal/CaptureFile.h"

bool CaptureFile::Start(const QString& path, QString* error) {
    Stop();
    file_.setFileName(path);
    written_ = 0;
    if (file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) return true;
    *error = file_.errorString();
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
