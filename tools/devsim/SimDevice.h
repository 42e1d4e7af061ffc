#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "devcfg/DeviceConfigRecord.h"
#include "platform/TimerHost.h"
#include "tools/devsim/DeviceProfile.h"
#include "tools/devsim/SerialDataPort.h"
#include "tools/devsim/TftpServer.h"

namespace devsim {

// What a device shares with the simulator that holds it.
struct SimContext {
    TimerHost* timers = nullptr;
    std::function<int64_t()> now;
    std::function<void(const QString&)> log;
    uint16_t managementPort = 0;
    uint16_t probePort = 0;
    uint16_t tftpPort = 0;
    bool tftp = true;
    // Whether devices open their serial data port.
    bool serial = true;
    // Tests read every datagram back; a long-running simulator keeps none.
    bool recordTraffic = true;
    // Whether a device may move to this address after a restart.
    std::function<bool(uint32_t address)> addressFree;
};

enum class Port { Management, Probe };

enum class Handling {
    Answered,
    Delayed,     // answered after the fault's delay
    Silenced,    // the silent fault swallowed it, as if it never arrived
    Restarting,  // arrived while the device restarts
    Taken,       // host announcement: recorded, no answer by design
    Ignored,     // no magic, unknown code, too short
};

struct ReceivedCommand {
    int64_t timeMs = 0;
    Port port = Port::Management;
    int command = -1;  // -1: no magic
    QByteArray bytes;
    QHostAddress sender;
    uint16_t senderPort = 0;
    bool broadcast = false;  // a search that came through the shared broadcast listener
    Handling handling = Handling::Ignored;
};

struct SentDatagram {
    int64_t timeMs = 0;
    Port port = Port::Management;
    QByteArray bytes;
    QHostAddress to;
    uint16_t toPort = 0;
    bool refused = false;  // the destination was not loopback: nothing went out
};

struct Announcement {
    int64_t timeMs = 0;
    uint32_t hostAddress = 0;  // host order
    std::array<uint8_t, 2> reportedPort{};
    QHostAddress sender;
};

// One simulated device: its management and probe sockets on its own loopback address, its
// TFTP server, its records and what it saw and sent.
class SimDevice final : public TimerClient {
  public:
    static constexpr int kRestartTimer = 1;
    static constexpr int kUpgradeRestartTimer = 2;

    SimDevice(int index, const DeviceProfile& profile, uint32_t address, const SimContext& context);
    ~SimDevice() override;
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Binds the management and probe sockets (and TFTP, unless the simulator leaves it out).
    bool Open();
    bool TftpOpen() const { return tftp_.IsOpen(); }

    uint32_t Address() const { return address_; }
    QString AddressText() const;
    Mac MacAddress() const { return mac_; }
    const DeviceProfile& Profile() const { return profile_; }

    const DeviceConfigRecord& FactoryRecord() const { return factory_; }
    const DeviceConfigRecord& StoredRecord() const { return stored_; }

    void SetFaults(const Faults& faults) { profile_.faults = faults; }
    void SetProbeByte(uint8_t value) { profile_.probeByte = value; }
    StatusValues& Status() { return profile_.status; }

    bool IsRestarting() const { return restarting_; }
    int RestartCount() const { return restarts_; }

    const std::vector<ReceivedCommand>& Received() const { return received_; }
    int CountReceived(int command) const;
    const std::vector<SentDatagram>& Sent() const { return sent_; }
    int RefusedSends() const;
    const std::vector<Announcement>& Announcements() const { return announcements_; }
    const std::vector<ReceivedImage>& Images() const { return tftp_.Images(); }
    TftpServer& Tftp() { return tftp_; }
    SerialDataPort& Serial() { return *serial_; }

    // The receive path of one datagram; public so that tests can feed any sender.
    void OnDatagram(Port port, const QByteArray& data, const QHostAddress& sender,
                    uint16_t senderPort, bool broadcast = false);

    void OnTimer(int timerId) override;

  private:
    struct Pending {
        Port port;
        QByteArray data;
        QHostAddress to;
        uint16_t toPort;
    };

    Handling HandleManagement(uint8_t command, const QByteArray& data, QByteArray& answer);
    Handling HandleProbe(uint8_t command, const QByteArray& data, const QHostAddress& sender,
                         QByteArray& answer);
    void Answer(Port port, uint8_t request, QByteArray answer, const QHostAddress& to,
                uint16_t toPort, Handling& handling);
    void Send(Port port, const QByteArray& data, const QHostAddress& to, uint16_t toPort);
    void BeginRestart(const char* why);
    // The address its records carry: its own, unless the profile claims another.
    uint32_t ClaimedAddress() const;
    void FinishRestart();
    bool BindAt(uint32_t address);
    void ReadAll(Port port);
    QUdpSocket* SocketFor(Port port);
    void Log(const QString& text) const;
    void Record(ReceivedCommand received);
    void OpenSerial();

    DeviceProfile profile_;
    uint32_t address_;
    Mac mac_;
    const SimContext& context_;
    DeviceConfigRecord factory_;
    DeviceConfigRecord stored_;
    std::unique_ptr<QUdpSocket> management_;
    std::unique_ptr<QUdpSocket> probe_;
    TftpServer tftp_;
    std::unique_ptr<SerialDataPort> serial_;
    bool restarting_ = false;
    int restarts_ = 0;
    int nextDelayTimer_ = kUpgradeRestartTimer + 1;
    std::map<int, Pending> pending_;
    std::vector<ReceivedCommand> received_;
    std::vector<SentDatagram> sent_;
    int refusedSends_ = 0;
    std::vector<Announcement> announcements_;
};

// The command byte of a datagram that carries the magic and one; -1 otherwise.
int CommandOf(const QByteArray& datagram);

// The name of a request or answer code in the log.
QString CommandName(Port port, int command);

}  // namespace devsim
