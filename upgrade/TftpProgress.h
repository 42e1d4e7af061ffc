#pragma once

#include <QString>
#include <cstdint>

// How far a push upgrade got: the bytes the device acknowledged, of the image's size.
struct TftpProgress {
    int64_t sent = 0;
    int64_t total = 0;

    bool operator==(const TftpProgress&) const = default;
};

// A size as people read it: "512 B", "64 KiB", "1.2 MiB".
QString SizeText(int64_t bytes);
// "1.2 MiB of 8.0 MiB".
QString ProgressText(const TftpProgress& progress);
