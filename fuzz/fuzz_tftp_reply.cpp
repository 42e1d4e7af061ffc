// The push upgrade's reply handler under a script of datagrams and timer ticks. While the
// transfer runs its retry timer must be armed: no state may wait without a deadline.
//
// Input: a sequence of events. A byte 0xFF fires the next due timer. Any other byte delivers a
// datagram: its low two bits pick the sender (the device's TFTP port, its transfer port,
// another port of the device, a stranger), the next byte is the length, the bytes follow.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstdlib>
#include <memory>

#include "platform/ManualClock.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FakeTftpTransport.h"
#include "upgrade/FirmwareImage.h"
#include "upgrade/TftpClient.h"
#include "upgrade/TftpPacket.h"
#include "upgrade/TftpTransfer.h"

namespace {

constexpr uint32_t kDevice = 0x7F000001;
constexpr uint32_t kStranger = 0x7F000002;
constexpr uint16_t kTransferPort = 40000;
constexpr uint8_t kFireTimer = 0xFF;
constexpr int kImageSize = 1300;  // two full blocks and a short one

const QByteArray& Image() {
    static const QByteArray image = [] {
        QByteArray bytes(kImageSize, '\0');
        for (int i = 0; i < kImageSize; ++i) bytes[i] = static_cast<char>(i * 13 + i / 512);
        return bytes.replace(0, 4, kFirmwareMark);
    }();
    return image;
}

const QString& ImagePath() {
    static const QString path = [] {
        const QString name =
            QDir::temp().filePath(QStringLiteral("fuzz_tftp_reply_%1.bin").arg(getpid()));
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly) || file.write(Image()) != kImageSize) abort();
        std::atexit([] { QFile::remove(ImagePath()); });
        return name;
    }();
    return path;
}

// What went out must be the request to the TFTP port or true blocks of the image, all to the
// device, the blocks all to the port that the device answered from first; besides those only
// the "Unknown transfer ID" error, and never to that port.
void CheckSent(const std::vector<FakeTftpTransport::Sent>& sent) {
    const TftpError unknownId{TftpTransfer::kUnknownTransferId,
                              TftpTransfer::kUnknownTransferIdText};
    uint16_t dataPort = 0;
    for (const auto& item : sent) {
        if (item.packet.size() > kTftpMaxPacketSize) abort();
        if (const auto error = DecodeTftpError(item.packet)) {
            if (*error != unknownId) abort();
            continue;
        }
        if (item.address != kDevice) abort();
        if (DecodeTftpRequest(item.packet)) {
            if (item.port != CTftpClient::kServerPort) abort();
            continue;
        }
        const auto data = DecodeTftpData(item.packet);
        if (!data || data->block == 0) abort();
        if (dataPort == 0) dataPort = item.port;
        if (item.port != dataPort) abort();
        if (data->data != Image().mid((data->block - 1) * kTftpBlockSize, kTftpBlockSize)) abort();
    }
    for (const auto& item : sent)
        if (item.address == kDevice && item.port == dataPort && DecodeTftpError(item.packet))
            abort();
}

void CheckDeadline(CTftpClient& client, ManualClock& clock) {
    if (client.IsRunning() &&
        !clock.IsRunning(client.CallingThreadTransfer(), TftpTransfer::kRetryTimerId))
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ManualClock clock;
    ScriptedPrompts prompts;
    auto owned = std::make_unique<FakeTftpTransport>();
    FakeTftpTransport& transport = *owned;
    CTftpClient client(
        clock, prompts, [](const QString&) {}, std::move(owned));
    if (!client.Start(ImagePath(), kDevice, kDevice)) abort();
    CheckDeadline(client, clock);

    const uint16_t ports[] = {CTftpClient::kServerPort, kTransferPort, kTransferPort + 1,
                              kTransferPort};
    size_t i = 0;
    while (i < size) {
        const uint8_t event = data[i++];
        if (event == kFireTimer) {
            clock.FireNext();
            CheckDeadline(client, clock);
            continue;
        }
        size_t length = i < size ? data[i++] : 0;
        if (length > size - i) length = size - i;
        const QByteArray packet(reinterpret_cast<const char*>(data + i), static_cast<int>(length));
        i += length;
        const int sender = event & 3;
        transport.Deliver(packet, sender == 3 ? kStranger : kDevice, ports[sender]);
        CheckDeadline(client, clock);
    }
    CheckSent(transport.sent);
    if (!prompts.shown.empty()) abort();
    return 0;
}
