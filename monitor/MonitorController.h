#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "monitor/MonitorFrame.h"
#include "monitor/MonitorRow.h"
#include "platform/NetInterfaces.h"
#include "platform/TimerHost.h"
#include "protocol/OrvinSocket.h"

struct ReceivedDatagram;

// The device monitor without its widgets: the rows copied from the device manager's ticked
// devices, the interval, the Start/Stop state and the polling flow. One status query is
// outstanding at a time; a pass queries every row in turn and passes start every interval, or
// right after a pass that took longer. A row is its device (MAC address): it is asked at the
// address the device manager lists the device at now, and a reply goes to the row of the
// device the list pairs with the sender's address when it arrives.
class MonitorController : public QObject, public TimerClient, private OrvinSocketOwner {
    Q_OBJECT
  public:
    static constexpr int kPassTimer = 1;
    static constexpr int kReplyTimer = 2;
    static constexpr int kReplyTimeoutMs = 1000;
    static constexpr int kMsPerSecond = 1000;
    static constexpr int kMinInterval = 3;     // seconds
    static constexpr int kMaxInterval = 3600;  // seconds
    static inline const QString kSocketFailedText =
        QStringLiteral("Failed to create Monitor socket!");
    static inline const QString kStartLog = QStringLiteral("Monitor function starts");
    static inline const QString kStopLog = QStringLiteral("Monitor function stoped.");

    static int ClampInterval(qint64 seconds);

    explicit MonitorController(MonitorFrame& frame, QObject* parent = nullptr);
    ~MonitorController() override;

    // The devices' management port; only tests and the benchmark use another one.
    void SetDevicePort(uint16_t port) { devicePort_ = port; }

    // The interval from the frame and the view's own socket (a message box when it fails).
    void InitialUpdate();
    // While stopped: one "Idle" row per ticked device of the device manager. While running:
    // nothing.
    void Fill();
    // Start when stopped, Stop when running.
    void OnStartStop();
    // Clamped to 3..3600 and written to the frame's settings; the kept value. A new interval
    // takes effect at the next pass.
    int SetInterval(qint64 seconds);

    int Interval() const { return interval_; }
    bool Running() const { return running_; }
    bool StartEnabled() const { return running_ || (socketReady_ && !rows_.empty()); }
    const std::vector<MonitorRow>& Rows() const { return rows_; }
    int CurrentRow() const { return current_; }
    // The last firmware version read from the device with this MAC address; empty when none
    // was read since a search last showed the device gone. Failed queries and rebuilt rows
    // keep it.
    QString VersionOf(const QString& mac) const;
    // A search of the device manager ended with these devices listed: the others are gone.
    void KeepVersionsOf(const QStringList& listedMacs);
    // Where the view's own socket is bound; 0 when it could not be made.
    uint16_t SocketPort() const;

    void HandleReply(const ReceivedDatagram& datagram);
    void OnTimer(int timerId) override;

  signals:
    void listReset();
    void rowChanged(int row);
    void controlsChanged();

  private:
    void Start();
    void Stop();
    void StartPass();
    void QueryCurrent();
    void Advance();
    void OnReplyTimeout();
    void OnPassTimer();
    bool QueryOutstanding();
    void FollowDevice(size_t index);
    int FindRowOfSender(const QString& sender) const;
    void OnVspSocketData(COrvinSocket&) override {}
    void OnMonitorSocketData(COrvinSocket& socket) override;

    MonitorFrame& frame_;
    TimerHost& timers_;
    uint16_t devicePort_;
    std::unique_ptr<COrvinSocket> socket_;
    bool socketReady_ = false;

    std::vector<MonitorRow> rows_;
    std::map<QString, QString> versions_;  // by MAC address
    int interval_ = kMinInterval;
    bool running_ = false;
    int current_ = 0;
    int last_ = 0;
    QString queried_;
    // While running, for each row: why its address names no single device, or empty. Settled
    // at the start against the host's subnets as they were then, and again for a row whose
    // device moved.
    std::vector<QString> noHost_;
    std::vector<AdapterInfo> subnets_;
    // Timer 1 expired while a pass was still going: the pass's end starts the next one.
    bool passTimeElapsed_ = false;
};
