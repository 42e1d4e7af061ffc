#pragma once

#include <vector>

#include "upgrade/TftpTransport.h"

// Test double for the push upgrade's endpoint: records every send and lets the caller deliver
// datagrams as if they had arrived.
class FakeTftpTransport final : public TftpTransport {
  public:
    struct Sent {
        QByteArray packet;
        uint32_t address = 0;
        uint16_t port = 0;
    };

    bool Open(uint32_t hostAddress) override {
        boundTo = hostAddress;
        return !failOpen;
    }
    int64_t SendTo(const QByteArray& packet, uint32_t address, uint16_t port) override {
        sent.push_back({packet, address, port});
        return sendError != 0 ? -1 : packet.size();
    }
    int LastError() const override { return sendError; }
    void SetReceiver(Receiver receiver) override { receiver_ = std::move(receiver); }

    void Deliver(const QByteArray& packet, uint32_t address, uint16_t port) {
        if (receiver_) receiver_(packet, address, port);
    }

    bool failOpen = false;
    int sendError = 0;  // nonzero: every send fails with this error
    uint32_t boundTo = 0;
    std::vector<Sent> sent;

  private:
    Receiver receiver_;
};
