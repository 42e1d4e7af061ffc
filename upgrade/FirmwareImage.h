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

// Every firmware image of the device family begins with these four bytes.
inline constexpr char kFirmwareMagic[] = "QMDR";
inline constexpr char kNotFirmware[] = "It's not a correct firmware file !!";

// Whether `head` (the image, or at least its first bytes) begins as a firmware image does.
bool IsFirmwareImage(const QByteArray& head);

// A regular file of at most maxSize bytes; a larger one is refused before it is read.
FirmwareImage ReadFirmwareImage(const QString& path, int64_t maxSize);
