#include "upgrade/FirmwareImage.h"

#include <QFileInfo>

#include "platform/RegularFile.h"

FirmwareImage ReadFirmwareImage(const QString& path, int64_t maxSize) {
    RegularFile file = ReadRegularFile(path, maxSize);
    FirmwareImage image;
    if (file.status == RegularFile::Status::TooLarge)
        image.status = FirmwareImage::Status::TooLarge;
    if (file.status == RegularFile::Status::Read) image = {FirmwareImage::Status::Read, file.bytes};
    return image;
}

bool HasFirmwareMark(QByteArrayView bytes) {
    return bytes.startsWith(QByteArrayView(kFirmwareMark));
}

QString FirmwareImageProblem(const FirmwareImage& image, int64_t maxSize) {
    switch (image.status) {
        case FirmwareImage::Status::CannotOpen:
            return QString::fromLatin1(kCantOpenImage);
        case FirmwareImage::Status::TooLarge:
            return QStringLiteral("The firmware file is too large, at most %1 bytes can be sent !!")
                .arg(maxSize);
        case FirmwareImage::Status::Read:
            break;
    }
    return HasFirmwareMark(image.bytes) ? QString() : QString::fromLatin1(kNotFirmware);
}

QString WhatIsNoImage(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("no such file");
    if (info.isDir()) return QStringLiteral("a directory");
    if (!info.isFile()) return QStringLiteral("not a regular file");
    return QStringLiteral("not readable");
}
