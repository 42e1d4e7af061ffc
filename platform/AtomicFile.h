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

// Opens `path` for writing, with `flags` added (O_CREAT, O_TRUNC ...), without waiting: a FIFO
// that no program reads is refused at once. The descriptor (blocking once open), or -1 with
// the reason in `error`.
int OpenForWriting(const QString& path, int flags, QString* error = nullptr);
