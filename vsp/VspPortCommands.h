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
#include "vsp/VspPorts.h"
#include "vsp/VspSupervision.h"

// The request that gives a port this configuration, with the host address filled in later.
vspd::RemoteInfoRequest VspConfigRequest(const vspd::RemoteInfoReply& config);

// The virtual ports and everything done to them. It keeps the ports keyed by COM name as the
// service reports them; each command takes its port by name, asks the service, tells the user
// what went wrong, and then takes the service's list again, which is what the list, the
// navigation tree, the device manager's status column and the supervision follow. A
// connection attempt is a state of its port that the connector's signal ends.
class VspPortCommands final : public QObject, public TimerClient, public VspSupervisionHost {
    Q_OBJECT
  public:
    static constexpr int kReconnectTimer = 5;
    static constexpr int kServerWaitTimer = 6;
    static constexpr int kServiceWatchTimer = 7;
    static constexpr int kReconnectMs = 2000;
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

    explicit VspPortCommands(VspFrame& frame, QObject* parent = nullptr);
    ~VspPortCommands() override;

    const VspPorts& Ports() const { return ports_; }
    bool ServiceUp() const { return serviceUp_; }
    VspSupervision& Supervision() { return supervision_; }
    const VspConnector& Connector() const { return connector_; }

    // The view's initial update: supervision and the watch on the service.
    void Start();
    // Takes the service's list; false when the service gave none.
    bool Sync();
    // The list's refresh: takes the list and sends every free port its configuration again
    // with the current host address; `added` names a port just added, which gets the first
    // configuration of a new port.
    void Refresh(const QString& added = {});
    // Writes vsp.dat, once the ports have been read from a running service.
    void SaveTable();

    void ScanMtu();
    uint32_t PacketSizeLimit(int32_t protocol) const;
    uint32_t MinMtu() const { return minMtu_; }

    // The port commands; each tells the user of its failures.
    void Connect(const QString& name);
    bool ConnectToDevice(const QString& name, uint32_t address, uint16_t port, bool udp);
    // Disconnects the port or ends its connection attempt.
    bool Close(const QString& name);
    bool Configure(const QString& name, const vspd::RemoteInfoRequest& request);
    bool Renumber(const QString& name, int comNumber);
    bool Remove(const QString& name);
    bool ScanComUsage(VspComUsage* used);
    // The new port's name once the service has it, else empty.
    QString Install(int comNumber);
    // Called once by the device manager after its start-up.
    void RunStartupRepair();

    void OnTimer(int timerId) override;

    // What supervision watches and finds.
    std::vector<Watched> WatchedPorts() const override;
    QString HostAddress() const override { return frame_.HostAddress(); }
    void OnProbeFailed(const QString& name) override;
    void OnVerdict(const QString& name, vsppoll::Verdict verdict) override;

  signals:
    // The ports, or one port's state, changed.
    void portsChanged();
    void statusText(const QString& text);
    void serviceChanged(bool up);

  private:
    // False, after telling the user once, when the error says the service is gone.
    bool Reached(uint32_t error);
    void ServiceLost();
    void ShowPorts(const VspPorts::Changes& changes);
    void ShowDeviceStatus();
    void Inform(const QString& text);
    bool TellOpenFailure(uint32_t error);

    void ConnectClient(const QString& name, const vspd::RemoteInfoReply& config);
    bool Attempt(const QString& name, VspConnector::Origin origin);
    void OnAttemptFinished(const QString& name, uint32_t error, VspConnector::Origin origin);
    void TellConnectFailure(uint32_t error, VspConnector::Origin origin);
    void StartServer(const QString& name);
    void DisconnectSilent(const QString& name);
    void Reconnect();
    void RewriteConfig(const VspPort& port, bool added);

    VspFrame& frame_;
    CVspDriver& driver_;
    VspPorts ports_;
    VspSupervision supervision_;
    VspConnector connector_;
    bool serviceUp_ = true;
    // Set once a running service's list has been taken: vsp.dat is never replaced before.
    bool listed_ = false;
    uint32_t minMtu_ = kDefaultMtu;
    QStringList serverWaits_;
    QStringList itemTexts_;
    std::vector<VspPortRecord> savedRecords_;  // what vsp.dat holds, once written here
    std::set<uint32_t> devicesShownConnected_;
};
