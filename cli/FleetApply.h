#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "cli/CliSession.h"
#include "cli/CliUpgrade.h"
#include "cli/FleetPlan.h"
#include "cli/FleetReport.h"
#include "vsp/VspDriver.h"
#include "vsp/VspInstallService.h"

namespace fleet {

// Makes a plan so: a pool of `parallel` slots, each device through its steps in order
// (settings, firmware, its port), a slot free as soon as its device is done. Each step that
// restarts the device is proven by what the device reports afterwards: the intended record
// in a search, the wanted version in a status reply. A device the plan leaves unchanged is
// sent nothing.
class FleetApply {
  public:
    struct Settings {
        int parallel = 4;
        uint16_t devicePort = 0;
        uint16_t tftpPort = 0;
        int restartTimeoutMs = CliSession::kRestartDeadlineMs;
        FILE* progress = stderr;
        int blockSize = 0;  // --block-size; 0: the window's 512
    };

    FleetApply(CliSession& session, CVspDriver& driver, VspInstallService& installer,
               Settings settings);
    ~FleetApply();

    // One result per planned device, in the plan's order. A stop request (CliInterrupt.h)
    // starts no further step on any device: transfers under way are cancelled, waits end, and
    // the results say what each device had done.
    std::vector<Outcome> Run(const Plan& plan);
    bool Interrupted() const { return interrupted_; }

  private:
    struct Job;
    enum class Step;
    void StartJobs();
    void Begin(Job& job, Step step);
    void Next(Job& job);
    void Advance(Job& job);
    void SendSetup(Job& job);
    void SendStatusQuery(Job& job);
    void OnSetupReply(const DeviceConfigRecord& reply);
    void OnStatusReply(const QString& sender, const QString& version);
    void Searches();
    void Looked(Job& job);
    void Interrupt();
    CliUpgrade& UpgradeFor(const inventory::FirmwareSpec& firmware);
    bool Finished() const;
    Outcome OutcomeOf(const Job& job) const;

    CliSession& session_;
    CVspDriver& driver_;
    VspInstallService& installer_;
    Settings settings_;
    std::vector<std::unique_ptr<Job>> jobs_;
    // By image and block size.
    std::map<std::pair<QString, int>, std::unique_ptr<CliUpgrade>> upgrades_;
    QElapsedTimer clock_;
    int64_t searchStartedAt_ = -1;  // of the search running or last finished
    bool interrupted_ = false;
};

}  // namespace fleet
