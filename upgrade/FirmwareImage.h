#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// The firmware image, read whole when an upgrade starts: the device gets the file exactly as
// it was then, whatever happens to the file while the upgrade runs.
struct FirmwareImage {
    enum class Status { Read, CannotOpen, TooLarge };
    Status status = Status::CannotOpen;
    QByteArray bytes;
};

// A regular file of at most maxSize bytes; a larger one is refused before it is read.
FirmwareImage ReadFirmwareImage(const QString& path, int64_t maxSize);
