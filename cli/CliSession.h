#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "cli/CliHost.h"
#include "cli/CliPrompts.h"
#include "cli/CliTimerHost.h"
#include "devmgr/DmController.h"
#include "devmgr/DmFrame.h"
#include "platform/NetInterfaces.h"
#include "protocol/BroadcastSocket.h"

// A listed device as the command line reports it: what identifies it even after its address
// changed, and its stored reply.
struct CliDevice {
    QString ip;
    QString mac;  // as the list shows it
    DeviceConfigRecord record;
};

// The outcome for one device.
struct CliResult {
    CliDevice device;
    bool ok = false;
    QString text;              // "ok", "unchanged", or the reason it failed
    QStringList changes = {};  // the settings an import changes, as "what: old -> new"
    QString nowIp = {};        // where the device answered last, when that is another address
};

// A restart seen in looks at the list during the searches that started after a device was
// told to restart: it counts as restarted once a look has not found it and a later one has. A
// device that answers every search never restarted; its answer from before the restart proves
// nothing.
struct CliRestartWatch {
    bool gone = false;
    bool back = false;
    void Searched(bool listed) {
        gone = gone || !listed;
        back = back || (gone && listed);
    }
    QString Failure() const {
        return gone ? QStringLiteral("did not come back after its restart")
                    : QStringLiteral("answered every search: no restart seen");
    }
};

// The device manager without a window: the main frame's part for a command line (its timers
// on the event loop, prompts on stderr, the broadcast socket on the chosen host address) and
// the device manager's controller, whose flows the subcommands run one after another. Devices
// are found in its list by their MAC addresses at the moment of use: replies that arrive
// while a command waits may add rows, and a search rebuilds the list.
class CliSession final : public DmFrame {
  public:
    // How long a device may take to answer searches again after it restarted.
    static constexpr int kRestartDeadlineMs = 60000;
    // How long into a search every device that is up has answered its first requests: a look
    // then sees a restarting device missing even if it answers the search's later requests.
    static constexpr int kEarlyLookMs = DmController::kTickMs / 2;

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
    bool Searching() const { return Running(DmController::kSearchTimer); }
    std::vector<CliDevice> Devices() const;
    bool Listed(const DeviceConfigRecord& device) const { return RowOf(device) >= 0; }
    // Searches until each device has restarted (CliRestartWatch: a look early in each search
    // and one at its end, so that a restart shorter than a search is seen) or the deadline
    // passed; the failure text of each, empty for the ones that came back.
    std::vector<QString> WaitForRestarts(const std::vector<DeviceConfigRecord>& devices);
    // Why nothing may be sent to the device's address (protocol/OneHost.h); empty if it may.
    QString WhyNotOneHost(const CliDevice& device);
    // Two devices that answered one search with the same MAC address: nothing may be sent to
    // it, since either may answer. The reason, naming both addresses, or empty.
    QString WhyTwins(const CliDevice& device) const;
    // Where the device is listed now, when that is not where `device` was listed; else empty.
    QString NowIp(const CliDevice& device) const;
    // Every reply for the device manager passes here first, then goes to the controller.
    void HandleReply(const ReceivedDatagram& datagram);

    enum class AckFlow { kReboot, kRestore };
    // The flow for every device; a device that stays silent fails, and the flow goes on with
    // the devices after it.
    std::vector<CliResult> RunAckFlow(AckFlow flow, const std::vector<CliDevice>& devices);
    // The setup flow with a command already built; then searches until the device reports the
    // command's record (CliRestartCheck.h), or, for a command that changes nothing, until it
    // has restarted. The failure text or empty.
    QString RunSetup(const CliDevice& device, const DeviceConfigRecord& command);

    // Runs the event loop until `done` holds; false when the deadline passed first.
    static bool WaitUntil(const std::function<bool()>& done, int deadlineMs);

    // DmFrame
    void AddLog(const QString&) override {}
    TimerHost& Timers() override { return timers_; }
    UserPrompts& Prompts() override { return prompts_; }
    CBroadcastSocket& BroadcastSocket() override { return socket_; }
    QString HostAddress() const override { return host_.address; }
    QString HostNetmask() const override { return host_.netmask; }
    NetInterfaces& Net() override { return net_; }
    void RunVspStartupRepair() override {}
    DmSettingsValues DmSettings() const override { return {}; }
    void SetDmSettings(const DmSettingsValues&) override {}

  private:
    // Searches until the device reports `command`; the failure text or empty.
    QString WaitForRecord(const DeviceConfigRecord& device, const DeviceConfigRecord& command,
                          int row);
    bool Running(int timerId) const { return timers_.IsRunning(controller_.get(), timerId); }
    int RowOf(const DeviceConfigRecord& device) const;
    void TickOnly(const std::vector<CliDevice>& devices);
    int FlowDeadlineMs(size_t devices) const;
    void NameLowPortDevice(int row);
    void NoteSearchReply(const ReceivedDatagram& datagram);

    CliHost host_;
    CliTimerHost timers_;
    CliPrompts prompts_;
    LinuxNetInterfaces net_;
    CBroadcastSocket socket_;
    std::unique_ptr<DmController> controller_;
    // Per list (a search rebuilds it): where each MAC address answered first, by MAC text.
    std::map<QString, QString> answeredAt_;
    // For the session: the MAC addresses two devices answered with, and their addresses.
    std::map<QString, QStringList> twins_;
};
