#pragma once

#include <QByteArrayView>
#include <QString>

// Every file the program writes goes through here: the bytes go into a temporary file next to
// the target, which is renamed over the target only once all of them are on disk. On any
// failure (no room, no permission, no folder) the old file stays as it was and false comes
// back, with the reason in `error` when given.
bool WriteFileAtomically(const QString& path, QByteArrayView bytes, QString* error = nullptr);
