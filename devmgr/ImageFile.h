#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The firmware image on disk. Each read opens and closes the file, so that an upgrade holds no
// descriptor between blocks.
class ImageFile {
  public:
    explicit ImageFile(const QString& path = {});

    // The file's length, or nullopt when it cannot be opened for reading.
    std::optional<int64_t> Length() const;
    // Exactly length bytes from offset, or nullopt when the file cannot be opened or holds fewer.
    std::optional<QByteArray> Read(int64_t offset, int64_t length) const;

  private:
    QByteArray path_;  // in the file system's encoding
};
