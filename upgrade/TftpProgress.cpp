#include "upgrade/TftpProgress.h"

namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * kKiB;

}  // namespace

QString SizeText(int64_t bytes) {
    if (bytes < kKiB) return QStringLiteral("%1 B").arg(bytes);
    if (bytes < kMiB) return QStringLiteral("%1 KiB").arg(bytes / kKiB);
    return QStringLiteral("%1 MiB").arg(static_cast<double>(bytes) / kMiB, 0, 'f', 1);
}

QString ProgressText(const TftpProgress& progress) {
    return SizeText(progress.sent) + QStringLiteral(" of ") + SizeText(progress.total);
}
