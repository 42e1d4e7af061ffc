#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What one simulated device is made of: the values its factory record starts from, its
// behaviour on the wire, and the faults it shows on demand.
namespace devsim {

using Mac = std::array<uint8_t, 6>;

inline constexpr int kDefaultRestartMs = 3000;
inline constexpr uint16_t kDefaultDataPort = 4001;
// The range of the "blksize" option (RFC 2348).
inline constexpr int kMinTftpBlockSize = 8;
inline constexpr int kMaxTftpBlockSize = 65464;

// How the TFTP side answers a write request.
enum class TftpMode {
    OptionAck,  // OACK when the request carries options, ACK 0 otherwise
    AckZero,    // always ACK 0 with 512-byte blocks, as a server that ignores options
    Silent,     // takes the request and says nothing
    Refuse,     // answers the request with an error packet, as a device short of flash
};

// What the device's serial line answers with.
enum class SerialAnswer {
    Echo,        // a loopback plug: every byte comes back
    Silent,      // takes the bytes, answers nothing
    CloseAfter,  // echoes, and drops the connection once it has carried serialCloseAfter bytes
};

// Faults apply to the answers of the management and probe ports.
struct Faults {
    bool silent = false;   // answer nothing
    int delayMs = 0;       // answer this much later
    bool twice = false;    // send every answer two times
    bool noMagic = false;  // answers go out with their magic overwritten
    // Request codes the faults apply to; empty means every request.
    std::vector<uint8_t> commands;

    bool AppliesTo(uint8_t command) const;
    bool Any() const { return silent || delayMs > 0 || twice || noMagic; }
};

// The body of a status reply.
struct StatusValues {
    uint8_t modemStatus = 0x30;
    QString firmwareVersion = QStringLiteral("V1.6.12");
    uint32_t txCount = 0;
    uint32_t rxCount = 0;
};

struct DeviceProfile {
    QString name;            // up to 16 characters; may be empty
    std::optional<Mac> mac;  // default: derived from the device's index
    uint32_t address = 0;    // host order, within 127.0.0.0/8; 0: the next free address
    // The address its records claim (host order), as a misconfigured device may; 0: the
    // address it answers on.
    uint32_t claimedAddress = 0;
    uint8_t operationMode = 1;  // 0 Socket, 1 VCOM, 2 RFC2217, 3 MODBUS gateway
    bool clientMode = false;
    bool dhcp = false;
    bool udp = false;        // data over UDP instead of TCP
    uint8_t linkStatus = 0;  // 0 idle, 1 connected
    uint16_t listenPort = kDefaultDataPort;
    uint16_t destinationPort = kDefaultDataPort;
    QString destinationHost = QStringLiteral("127.0.0.1");
    uint32_t baudRate = 115200;
    bool wifi = false;
    int restartMs = kDefaultRestartMs;
    bool restartAfterUpgrade = true;  // a whole firmware image makes the device restart
    // The version its status reply gives once a whole image was written; empty: unchanged.
    QString upgradeVersion;
    int upgradeRestartDelayMs = 0;  // ... this long after it acknowledged the last block
    Faults faults;
    TftpMode tftpMode = TftpMode::OptionAck;
    // The largest block it takes: a request for more is answered with this size.
    int tftpBlockSize = kMaxTftpBlockSize;
    // Each acknowledgement of a DATA block goes out this much later, as across a slow link.
    int tftpAckDelayMs = 0;
    uint8_t probeByte = 1;  // offset 69 of the probe answer: nonzero while connected
    StatusValues status;
    SerialAnswer serialAnswer = SerialAnswer::Echo;
    uint32_t serialCloseAfter = 0;
};

}  // namespace devsim
