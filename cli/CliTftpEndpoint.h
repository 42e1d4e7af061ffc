#pragma once

#include <cstdint>

#include "upgrade/TftpSocket.h"

// One push upgrade's UDP endpoint on the event loop. It remembers the port the device's TFTP
// server answers from, so that an upgrade cancelled half-way can tell that server it ends
// (RFC 1350: an ERROR packet to the transfer's port) instead of leaving it waiting.
class CliTftpEndpoint final : public TftpTransport {
  public:
    static constexpr char kCancelled[] = "transfer cancelled";

    explicit CliTftpEndpoint(uint32_t deviceAddress) : device_(deviceAddress) {}

    bool Open(uint32_t hostAddress) override { return socket_.Open(hostAddress); }
    int64_t SendTo(const QByteArray& packet, uint32_t address, uint16_t port) override {
        return socket_.SendTo(packet, address, port);
    }
    int LastError() const override { return socket_.LastError(); }
    void SetReceiver(Receiver receiver) override;

    // The ERROR "transfer cancelled" to the device's transfer port; false when the device has
    // not answered yet, so that no transfer of its exists.
    bool SendCancel();

  private:
    TftpSocket socket_{TftpSocket::Reader::EventLoop};
    uint32_t device_;
    uint16_t serverPort_ = 0;
};
