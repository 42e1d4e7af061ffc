#include "platform/AtomicFile.h"

#include <QSaveFile>

bool WriteFileAtomically(const QString& path, QByteArrayView bytes, QString* error) {
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
