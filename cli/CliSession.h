#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "cli/CliHost.h"
#include "cli/CliPrompts.h"
#include "cli/CliTimerHost.h"
#include "devmgr/DmController.h"
#include "devmgr/DmFrame.h"
#include "protocol/BroadcastSocket.h"

// A listed device as the command line reports it: what identifies it even after its address
// changed, and its stored reply.
struct CliDevice {
    QString ip;
    QString mac;
    DeviceConfigRecord record;
};

// The outcome for one device.
struct CliResult {
    CliDevice device;
    bool ok = false;
    QString text;              // "ok", "unchanged", or the reason it failed
    QStringList changes = {};  // the settings an import changes, as "what: old -> new"
};

// The device manager without a window: the main frame's part for a command line (its timers
// on the event loop, prompts on stderr, the broadcast socket on the chosen host address) and
// the device manager's controller, whose flows the subcommands run one after another.
class CliSession final : public DmFrame {
  public:
    // How long a device may take to answer searches again after it restarted.
    static constexpr int kRestartDeadlineMs = 60000;

    // `speedup` runs the flows' timers faster (see CliTimerHost).
    CliSession(const CliHost& host, bool force, int speedup = 1);
    ~CliSession() override;

    // Binds the socket and makes the controller; the error text or empty.
    QString Open(uint16_t devicePort);

    DmController& Controller() { return *controller_; }
    CliPrompts& Prompter() { return prompts_; }
    // A period of the flows as it runs here.
    int Scaled(int periodMs) const { return timers_.Scaled(periodMs); }

    // The device manager's search; then listens on until `waitMs` passed since it started.
    void Search(int waitMs = 0);
    std::vector<CliDevice> Devices() const;
    // The listed device at `ip`, or nullopt.
    std::optional<CliDevice> Find(const QString& ip) const;
    int RowOf(const QString& ip) const { return controller_->Table().FindRowByIp(ip); }

    enum class AckFlow { kReboot, kRestore };
    // The flow for every device; a device that stays silent fails, and the flow goes on with
    // the devices after it.
    std::vector<CliResult> RunAckFlow(AckFlow flow, const std::vector<CliDevice>& devices);
    // The setup flow with a command already built; then waits until the device answers
    // searches again. The failure text or empty.
    QString RunSetup(const CliDevice& device, const DeviceConfigRecord& command);
    // Searches again and again until every MAC address in `macs` is listed; the ones that
    // came back before the deadline.
    QStringList WaitForRestart(const QStringList& macs);

    // Runs the event loop until `done` holds; false when the deadline passed first.
    static bool WaitUntil(const std::function<bool()>& done, int deadlineMs);

    // DmFrame
    void AddLog(const QString&) override {}
    TimerHost& Timers() override { return timers_; }
    UserPrompts& Prompts() override { return prompts_; }
    CBroadcastSocket& BroadcastSocket() override { return socket_; }
    QString HostAddress() const override { return host_.address; }
    QString HostNetmask() const override { return host_.netmask; }
    void RunVspStartupRepair() override {}
    DmSettingsValues DmSettings() const override { return {}; }
    void SetDmSettings(const DmSettingsValues&) override {}

  private:
    bool Running(int timerId) const { return timers_.IsRunning(controller_.get(), timerId); }
    void TickOnly(const std::vector<int>& rows);
    int FlowDeadlineMs(size_t devices) const;

    CliHost host_;
    CliTimerHost timers_;
    CliPrompts prompts_;
    CBroadcastSocket socket_;
    std::unique_ptr<DmController> controller_;
};
