#include "cli/CliTftpEndpoint.h"

#include "upgrade/TftpPacket.h"

void CliTftpEndpoint::SetReceiver(Receiver receiver) {
    socket_.SetReceiver([this, receiver = std::move(receiver)](QByteArrayView packet,
                                                               uint32_t address, uint16_t port) {
        // The transfer takes its peer's port from the device's first answer, as here.
        const auto opcode = PeekTftpOpcode(packet);
        const bool answer = opcode && (*opcode == static_cast<uint16_t>(TftpOpcode::Ack) ||
                                       *opcode == static_cast<uint16_t>(TftpOpcode::Error) ||
                                       *opcode == static_cast<uint16_t>(TftpOpcode::OptionAck));
        if (address == device_ && answer && serverPort_ == 0) serverPort_ = port;
        if (receiver) receiver(packet, address, port);
    });
}

bool CliTftpEndpoint::SendCancel() {
    if (serverPort_ == 0) return false;
    const QByteArray error = EncodeTftp(TftpError{0, QByteArray(kCancelled)});
    return socket_.SendTo(error, device_, serverPort_) == error.size();
}
