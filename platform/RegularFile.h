#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// A file read whole, and only when it is a regular file of at most a given size: a FIFO, a
// device or a pipe in its place is refused at once, never waited on or read without end.
struct RegularFile {
    enum class Status { Read, CannotOpen, NotRegular, TooLarge };
    Status status = Status::CannotOpen;
    QByteArray bytes;
};

// The file's bytes as its size was when it was opened (a file that grows meanwhile is read
// up to that size); a file larger than maxSize is refused before it is read.
RegularFile ReadRegularFile(const QString& path, int64_t maxSize);
