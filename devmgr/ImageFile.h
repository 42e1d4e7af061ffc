#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The firmware image of one upgrade, held open from its start to its end: a file replaced or
// deleted meanwhile cannot mix two images into one transfer.
class ImageFile {
  public:
    ImageFile() = default;
    ~ImageFile() { Close(); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Opens a regular file for reading; false if it cannot be opened or is no regular file.
    bool Open(const QString& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // The length when it was opened.
    int64_t Length() const { return length_; }
    // Exactly length bytes from offset, or nullopt when the file now holds fewer or reading fails.
    std::optional<QByteArray> Read(int64_t offset, int64_t length) const;

  private:
    int fd_ = -1;
    int64_t length_ = 0;
};
