#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "platform/TimerHost.h"
#include "protocol/OrvinSocket.h"

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

// One watched port's word: bit 1 means no answer since the last evaluation, the rest counts
// unanswered evaluations in steps of 256; an answer replaces the word by 0 or 1.
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
// One evaluation of a word: what to do with the port; the word moves on.
Verdict Evaluate(uint32_t& word);
}  // namespace vsppoll

// The ports that supervision watches, and what it finds about them.
class VspSupervisionHost {
  public:
    struct Watched {
        QString name;
        uint32_t peerIp = 0;  // host order, never 0
    };
    virtual ~VspSupervisionHost() = default;
    // The client links whose device is known, in list order.
    virtual std::vector<Watched> WatchedPorts() const = 0;
    virtual QString HostAddress() const = 0;
    // A probe could not be sent: the port shows as silent at once.
    virtual void OnProbeFailed(const QString& name) = 0;
    // No probe can be sent at all (the probe socket cannot be bound), and why.
    virtual void OnProbesUnavailable(const QString& why) = 0;
    virtual void OnVerdict(const QString& name, vsppoll::Verdict verdict) = 0;
};

// Probes the device of every watched port every five seconds and judges each port by the
// answers from its own peer. Keeps a word per port name; a port that is not watched, or that
// the last pass could not probe, is never judged or disconnected. Everything runs on the
// user-interface thread.
class VspSupervision final : public TimerClient, public OrvinSocketOwner {
  public:
    static constexpr int kProbeTimer = 1;
    static constexpr int kEvaluationTimer = 2;
    static constexpr int kFirstProbeMs = 5000;
    static constexpr int kEvaluationMs = 5000;
    static constexpr int kNextProbeMs = 10;
    static constexpr int kReceiveBufferSize = 1500;

    VspSupervision(VspSupervisionHost& host, TimerHost& timers);
    ~VspSupervision() override;

    // The first probe pass, five seconds on, when the connection check is on.
    void Start(bool connectionCheck);
    // A port that has just been linked starts as answered.
    void Watch(const QString& name);
    void Forget(const QString& name);
    uint32_t Word(const QString& name) const;
    // A verdict's command waits for the service: no pass starts until it has ended (a box it
    // shows runs timers), so that no second verdict piles up behind it.
    void Hold() { ++holds_; }
    void Release();

    bool ProbeSocketOpen() const { return socketOpen_; }
    uint16_t ProbeSocketPort() const { return socket_.localPort(); }

    void OnTimer(int timerId) override;
    void OnVspSocketData(COrvinSocket& socket) override;
    void OnMonitorSocketData(COrvinSocket&) override {}

  private:
    void ProbePass();
    void Evaluation();
    bool OpenProbeSocket();
    void TakeAnswer(const VspProbeAnswer& answer);
    bool StillWatched(const QString& name) const;

    VspSupervisionHost& host_;
    TimerHost& timers_;
    COrvinSocket socket_;
    bool socketOpen_ = false;
    std::map<QString, uint32_t> words_;
    std::set<QString> probed_;  // by the last pass
    int holds_ = 0;
    bool passDue_ = false;  // the next pass waits for the holds
};
