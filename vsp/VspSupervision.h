#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "protocol/OrvinSocket.h"

class VspController;

// A device's answer to the status probe: a management message of command 1 of which the
// supervision reads the device's address and the byte at offset 69 (nonzero: still connected).
struct VspProbeAnswer {
    static constexpr int kAddressOffset = 34;
    static constexpr int kStateOffset = 69;
    static constexpr int kSize = 70;

    uint32_t deviceAddress = 0;  // host order
    uint8_t state = 0;

    // kSize bytes: the header, the address in network order, the state byte, zeros elsewhere.
    QByteArray Encode() const;
    // nullopt without the magic, for another command, or when cut short of the state byte.
    static std::optional<VspProbeAnswer> Decode(std::span<const uint8_t> datagram);
    bool operator==(const VspProbeAnswer&) const = default;
};

// One connected row's supervision word: bit 1 means no answer since the last evaluation, the
// rest counts unanswered evaluations in steps of 256; an answer replaces the word by 0 or 1.
namespace vsppoll {
inline constexpr uint32_t kAnsweredOpen = 1;
inline constexpr uint32_t kAnsweredClosed = 0;
inline constexpr uint32_t kNoAnswerBit = 2;
inline constexpr uint32_t kCountStep = 256;
// Past this the port is disconnected: the 61st unanswered evaluation in a row.
inline constexpr uint32_t kDisconnectAbove = 15360;

enum class Verdict {
    kDisconnecting,  // silent, still counting
    kDisconnect,     // silent for too long: disconnect in the service
    kClose,          // the device says its side is closed
    kConnected,      // the device answered
};
// One evaluation of a word: what to do with the row; the word moves on.
Verdict Evaluate(uint32_t& word);
}  // namespace vsppoll

// Watches the connected ports of the virtual serial port view: probes each connected device,
// evaluates the answers, and disconnects ports whose device stays silent. Also repairs, once
// at start-up, the client ports that vsp.dat saved as connected but the service has not. It
// works on the controller's rows and timers; everything runs on the user-interface thread.
class VspSupervision final : public OrvinSocketOwner {
  public:
    static constexpr int kFirstProbeMs = 5000;
    static constexpr int kEvaluationMs = 5000;
    static constexpr int kNextProbeMs = 10;
    static constexpr int kReconnectMs = 2000;
    static constexpr int kReceiveBufferSize = 1500;

    using LocalTime = std::function<QDateTime()>;

    explicit VspSupervision(VspController& view);

    // The view's initial update: the first probe pass when the connection check is on.
    void Start();
    // Timers 1, 2 and 5 of the view.
    void OnProbeTimer();
    void OnEvaluationTimer();
    void OnReconnectTimer();
    void RunStartupRepair();

    bool ProbeSocketOpen() const { return socketOpen_; }
    uint16_t ProbeSocketPort() const { return socket_.localPort(); }
    // Where the dated failure message takes its time from.
    void SetLocalTime(LocalTime localTime) { localTime_ = std::move(localTime); }

    void OnVspSocketData(COrvinSocket& socket) override;
    void OnMonitorSocketData(COrvinSocket&) override {}

  private:
    bool Supervised(int row) const;
    bool OpenProbeSocket();
    void Probe(int row);
    void TakeAnswer(const VspProbeAnswer& answer);
    void EvaluateRow(int row);
    void DisconnectSilent(int row);
    void CloseAnswered(int row);
    void ReportFailedDisconnection(int row, uint32_t error);
    void RepairRecord(int index);
    bool ReconnectRecord(int index);

    VspController& view_;
    COrvinSocket socket_;
    bool socketOpen_ = false;
    LocalTime localTime_ = [] { return QDateTime::currentDateTime(); };
};
