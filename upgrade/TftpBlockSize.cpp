#include "upgrade/TftpBlockSize.h"

QString TftpBlockSizeProblem(int blockSize, int64_t imageSize) {
    if (blockSize < kTftpMinBlockSize || blockSize > kTftpMaxBlockSize)
        return QStringLiteral("a TFTP block size is %1 to %2 bytes, not %3")
            .arg(kTftpMinBlockSize)
            .arg(kTftpMaxBlockSize)
            .arg(blockSize);
    if (imageSize / blockSize + 1 > kTftpMaxBlocks)
        return QStringLiteral("the image needs more than %1 blocks of %2 bytes")
            .arg(kTftpMaxBlocks)
            .arg(blockSize);
    return {};
}

TftpBlockSizeAnswer ReadTftpBlockSizeAnswer(int asked, const TftpOptionAck& answer,
                                            int64_t imageSize) {
    for (const TftpOption& option : answer.options) {
        if (option.name.toLower() != "blksize") continue;
        bool ok = false;
        const int size = option.value.toInt(&ok, 10);
        // The device's bytes are not repeated: they reach the log and a terminal.
        if (!ok) return {asked, "the blksize answered is no number"};
        if (size < kTftpMinBlockSize)
            return {asked, QStringLiteral("blksize %1 is less than %2")
                               .arg(size)
                               .arg(kTftpMinBlockSize)
                               .toLatin1()};
        if (size > asked)
            return {asked, QStringLiteral("blksize %1 is more than the %2 asked")
                               .arg(size)
                               .arg(asked)
                               .toLatin1()};
        if (const QString why = TftpBlockSizeProblem(size, imageSize); !why.isEmpty())
            return {size, why.toLatin1()};
        return {size, {}};
    }
    return {};
}
