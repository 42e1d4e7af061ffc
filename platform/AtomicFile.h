#pragma once

#include <QByteArrayView>
#include <QString>

// Every file the program writes goes through here. A regular file (or a new one): the bytes go
// into a temporary file next to the target, which is renamed over the target only once all of
// them are on disk. On any failure (no room, no permission, no folder) the old file stays as it
// was and false comes back, with the reason in `error` when given.
//
// A target that exists and is not a regular file (a device node, a FIFO, a pipe such as
// /dev/fd/N) is written directly and never replaced. A FIFO that no program reads is refused
// at once rather than waited for.
bool WriteFileAtomically(const QString& path, QByteArrayView bytes, QString* error = nullptr);
