#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "upgrade/TftpPacket.h"

// The "blksize" option (RFC 2348) of a push upgrade that asks for blocks of its own size:
// what may be asked, and what the device's option acknowledgement lets the client send.
constexpr int kTftpMinBlockSize = 8;
constexpr int kTftpMaxBlockSize = 65464;  // the largest DATA packet that fits a UDP datagram
// Devices compare acknowledged block numbers as signed 16-bit values, so an image must fit in
// 32767 blocks, the final short or empty block included.
constexpr int kTftpMaxBlocks = 32767;

// Why an image of `imageSize` bytes cannot be sent in blocks of blockSize, or empty.
QString TftpBlockSizeProblem(int blockSize, int64_t imageSize);

struct TftpBlockSizeAnswer {
    int blockSize = kTftpBlockSize;  // what each DATA block carries
    QByteArray refusal;              // not empty: the transfer ends with this error message
};

// The device's answer to a request that asked for `asked`: no "blksize" in it gives 512
// bytes; a size below the RFC's least, above the one asked or one the image does not fit in
// is refused.
TftpBlockSizeAnswer ReadTftpBlockSizeAnswer(int asked, const TftpOptionAck& answer,
                                            int64_t imageSize);
