#pragma once

#include <QString>
#include <cstdio>
#include <vector>

#include "cli/CliSession.h"
#include "cli/FleetPlan.h"
#include "vsp/VspDriver.h"
#include "vsp/VspInstallService.h"

namespace fleet {

// Makes a plan so: up to `parallel` devices at a time, each through its steps in order
// (settings, firmware, the restart wait, the check of what it reports, its port). A device
// the plan leaves unchanged is sent nothing.
class FleetApply {
  public:
    struct Settings {
        int parallel = 4;
        uint16_t devicePort = 0;
        uint16_t tftpPort = 0;
        FILE* progress = stderr;
        int blockSize = 0;  // --block-size; 0: the window's 512
    };

    FleetApply(CliSession& session, CVspDriver& driver, VspInstallService& installer,
               Settings settings);

    // One result per planned device, in the plan's order. Ctrl-C while it runs lets the
    // running step of the devices under way end, then stops: the results say which were
    // done, which were in the middle and which were not started.
    std::vector<CliResult> Run(const Plan& plan);

  private:
    struct Job;
    void RunGroup(std::vector<Job*>& group);
    void SubnetChecks(std::vector<Job*>& group);
    void SendSetups(std::vector<Job*>& group);
    void WaitBack(std::vector<Job*>& group, bool (*wanted)(const Job&), const QString& failure);
    void Relist(std::vector<Job*>& group);
    void Upgrade(std::vector<Job*>& group);
    void Verify(std::vector<Job*>& group);
    void MapPorts(std::vector<Job*>& group);
    QString MapPort(const Job& job);
    bool StopAfterStep(std::vector<Job*>& group, const QString& step);

    CliSession& session_;
    CVspDriver& driver_;
    VspInstallService& installer_;
    Settings settings_;
};

// Ctrl-C from now on only asks an apply to stop; a second one ends the program.
void CatchInterrupt();
bool Interrupted();

}  // namespace fleet
