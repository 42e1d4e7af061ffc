#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

// Every firmware image of the device family begins with these four bytes.
inline constexpr char kFirmwareMark[] = "QMDR";
inline constexpr const char* kCantOpenImage = "Can't open target file !!";
inline constexpr const char* kNotFirmware = "It's not a correct firmware file !!";

// The firmware image, read whole when an upgrade starts: the device gets the file exactly as
// it was then, whatever happens to the file while the upgrade runs.
struct FirmwareImage {
    enum class Status { Read, CannotOpen, TooLarge };
    Status status = Status::CannotOpen;
    QByteArray bytes;
};

// A regular file of at most maxSize bytes; a larger one is refused before it is read.
FirmwareImage ReadFirmwareImage(const QString& path, int64_t maxSize);

// Whether the bytes (the image, or at least its first bytes) begin with the mark.
bool HasFirmwareMark(QByteArrayView bytes);

// What the window says of an image it refuses, checked in its order (the image dialog's mark,
// then what the upgrade itself refuses); empty when the image can be sent.
QString FirmwareImageProblem(const FirmwareImage& image, int64_t maxSize);

// What stands at `path` where no image could be opened, for a message on the command line:
// "no such file", "a directory", "not a regular file" or "not readable".
QString WhatIsNoImage(const QString& path);
