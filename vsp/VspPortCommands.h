#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <set>

#include "platform/TimerHost.h"
#include "vsp/VspConnector.h"
#include "vsp/VspFrame.h"
#include "vsp/VspInstallService.h"
#include "vsp/VspLivePorts.h"
#include "vsp/VspService.h"
#include "vsp/VspServiceWatch.h"
#include "vsp/VspSupervision.h"

// The request that gives a port this configuration, with the host address filled in later.
vspd::RemoteInfoRequest VspConfigRequest(const vspd::RemoteInfoReply& config);

// The service's list as a request took it: error 0 when `ports` holds it.
struct VspListed {
    uint32_t error = 0;
    std::vector<VspInterface> ports;
};
// Takes the list; run on the worker.
VspListed VspList(VspServiceTools& tools);
// An action's error code and the list taken right after it.
struct VspOutcome {
    uint32_t error = 0;
    VspListed listed;
};
// A port's configuration sent again, to the device path a list gave.
struct VspRewrite {
    QString devicePath;
    vspd::RemoteInfoRequest request;
};
// Sends each, then takes the list; the first error is the outcome's.
VspOutcome VspRewriteAll(VspServiceTools& tools, const std::vector<VspRewrite>& rewrites);

// The virtual ports and everything done to them. It keeps the ports keyed by COM name as the
// service reports them; each command takes its port by name, asks the service without
// waiting for it, tells the user what went wrong, and then takes the list that the answer
// carries, which is what the list, the navigation tree, the device manager's status column
// and the supervision follow. A port with a command under way shows it until the answer. It
// also keeps what the user asked for apart from what is true now: a client port the user
// connected stays meant to be connected (vsp.dat keeps that) until the user closes it, and the
// repair reconnects such ports whenever the service is reachable.
class VspPortCommands final : public QObject, public TimerClient, public VspSupervisionHost {
    Q_OBJECT
  public:
    static constexpr int kReconnectTimer = 5;
    static constexpr int kServerWaitTimer = 6;
    static constexpr int kServiceWatchTimer = 7;
    static constexpr int kReconnectMs = 2000;
    // A failed repair waits twice as long each time, up to this.
    static constexpr int kRepairBackOffMaxMs = 60000;
    static constexpr int kServerWaitMs = 500;
    // How often the list follows the service, and how often a gone service is looked for.
    static constexpr int kServiceWatchMs = 5000;
    static constexpr int kServiceRetryMs = 2000;

    static constexpr uint32_t kDefaultMtu = 1500;
    static constexpr uint32_t kTcpOverhead = 40;
    static constexpr uint32_t kUdpOverhead = 28;
    static constexpr uint32_t kNewPortAddress = 0xC0A80003;  // 192.168.0.3
    static constexpr uint32_t kNewPortPacketSize = 1400;

    static inline const QString kStopTerminal =
        QStringLiteral("Please stop terminal program first\n");
    static inline const QString kServiceDown = QStringLiteral(
        "The virtual serial port service is not running: start it with \"systemctl --user "
        "start veltro-vspd\", or run \"veltro-vspd\".");
    static inline const QString kServiceDownStatus =
        QStringLiteral("The virtual serial port service is not running.");
    static inline const QString kServiceBack =
        QStringLiteral("The virtual serial port service is running again.");
    static inline const QString kNotAnswering =
        QStringLiteral("The virtual serial port service is not answering.");
    static inline const QString kAnsweringAgain =
        QStringLiteral("The virtual serial port service is answering again.");
    static inline const QString kRestarted = QStringLiteral(
        "The virtual serial port service restarted: the links of its ports were dropped.");

    explicit VspPortCommands(VspFrame& frame, QObject* parent = nullptr);
    ~VspPortCommands() override;

    const VspLivePorts& Ports() const { return ports_; }
    bool ServiceUp() const { return serviceUp_; }
    // False from a request that got no answer in time to the next list.
    bool Answering() const { return answering_; }
    VspService& Service() { return service_; }
    VspSupervision& Supervision() { return supervision_; }
    const VspConnector& Connector() const { return connector_; }
    // A command on the port waits for its answer.
    bool Working(const QString& name) const { return working_.count(name) != 0; }
    // No request, attempt or command is under way.
    bool Settled() const;
    // The client ports the user means to be connected.
    const std::set<QString>& Intent() const { return intent_; }

    // The view's initial update: the saved intent, supervision and the watch on the service.
    void Start();
    // Takes the service's list, unless a list is already on its way.
    void Sync();
    // Follows a list that an answer carried; false when it carried none.
    bool Take(const VspListed& listed);
    // False, after telling the user once, when the error says the service is gone or does
    // not answer.
    bool Reached(uint32_t error);
    // The list's refresh: takes the list and sends every free port its configuration again
    // with the current host address; `added` names a port just added, which gets the first
    // configuration of a new port.
    void Refresh(const QString& added = {});
    // Writes vsp.dat, once the ports have been read from a running service.
    void SaveTable();

    void ScanMtu();
    uint32_t PacketSizeLimit(int32_t protocol) const;
    uint32_t MinMtu() const { return minMtu_; }

    // The port commands: each starts, tells the user of its failures when its answer comes,
    // and returns whether it started.
    bool Connect(const QString& name);
    bool ConnectToDevice(const QString& name, uint32_t address, uint16_t port, bool udp);
    // The user's Close: disconnects the port or ends its connection attempt.
    bool Close(const QString& name);
    bool Remove(const QString& name);
    // The new port's configuration and, when renumber > 0, its new number; `done` gets
    // the port's name after the answer, empty when it failed.
    using Applied = std::function<void(const QString& name, bool ok)>;
    bool Apply(const QString& name, const vspd::RemoteInfoRequest& request, int renumber,
               Applied done);
    // Installs COMn and gives it a new port's configuration; `done` gets whether it worked.
    void Install(int comNumber, std::function<void(bool)> done);
    // Called once by the device manager after its start-up.
    void RunStartupRepair();

    void OnTimer(int timerId) override;

    // What supervision watches and finds.
    std::vector<Watched> WatchedPorts() const override;
    QString HostAddress() const override { return frame_.HostAddress(); }
    void OnProbeFailed(const QString& name) override;
    void OnProbesUnavailable(const QString& why) override;
    void OnVerdict(const QString& name, vsppoll::Verdict verdict) override;

  signals:
    // The ports, or one port's state, changed.
    void portsChanged();
    void statusText(const QString& text);
    void serviceChanged(bool up);
    void removed(const QString& name);

  private:
    VspTask SyncFlow();
    VspTask RefreshFlow(QString added);
    VspTask ConnectFlow(QString name);
    VspTask AttemptFlow(QString name, VspConnector::Origin origin,
                        std::optional<vspd::RemoteInfoRequest> configure);
    VspTask AttemptResultFlow(QString name, uint32_t error, VspConnector::Origin origin,
                              bool cancelled);
    VspTask StartServerFlow(QString name);
    // `supervised`: a verdict's close, which supervision waits for.
    VspTask CloseFlow(QString name, bool supervised);
    VspTask RemoveFlow(QString name);
    VspTask ApplyFlow(QString name, vspd::RemoteInfoRequest config, int renumber, Applied done);
    VspTask InstallFlow(int comNumber, std::function<void(bool)> done);
    VspTask DropFlow(QString name, uint32_t address, uint16_t port, bool udp);
    VspTask DisconnectSilentFlow(QString name);
    VspTask RepairFlow();
    VspTask ReconnectFlow();

    // The client ports that vsp.dat saved as connected are meant to be.
    void TakeSavedIntent();
    void ServiceLost();
    void ServiceBack();
    void NotAnswering();
    void ShowPorts(const VspLivePorts::Changes& changes);
    void ShowDeviceStatus();
    void Inform(const QString& text);
    bool TellOpenFailure(uint32_t error);
    // Marks the port as waiting for a command; false when one is under way already.
    bool BeginWork(const QString& name);
    void EndWork(const QString& name);

    void OnAttemptFinished(const QString& name, uint32_t error, VspConnector::Origin origin,
                           bool cancelled);
    void TellConnectFailure(uint32_t error, VspConnector::Origin origin);
    void TellConfigureFailure(uint32_t error);
    // Ends an attempt that the user closed before it reached the service.
    bool CancelledEarly(const QString& name);
    void Reconnect();
    void RepairLater(int delayMs);
    // A repair attempt failed: the next pass waits twice as long as the last.
    void RepairAfterFailure();
    // The configurations that a refresh sends again; `added` gets a new port's.
    std::vector<VspRewrite> Rewrites(const QString& added) const;

    VspFrame& frame_;
    VspLivePorts ports_;
    VspSupervision supervision_;
    VspConnector connector_;
    VspServiceWatch watch_;
    bool serviceUp_ = true;
    bool syncing_ = false;
    bool answering_ = true;
    bool watchEnded_ = false;
    // Set once a running service's list has been taken: vsp.dat is never replaced before.
    bool listed_ = false;
    bool probesTold_ = false;
    int repairBackOffMs_ = kReconnectMs;
    uint32_t minMtu_ = kDefaultMtu;
    QStringList serverWaits_;
    QStringList itemTexts_;
    std::set<QString> working_;
    std::set<QString> intent_;
    std::set<QString> cancelledEarly_;
    std::vector<VspPortRecord> savedRecords_;  // what vsp.dat holds, once written here
    std::set<uint32_t> devicesShownConnected_;
    // Declared last: flows still waiting end before the rest goes.
    VspService service_;
};
