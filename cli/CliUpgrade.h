#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/CliPrompts.h"
#include "cli/CliSession.h"
#include "platform/QtTimerHost.h"
#include "upgrade/TftpClient.h"

// Push upgrades into several devices at once: each device has a TFTP client of its own and
// holds its slot until it has restarted (CliRestartWatch), or only until its transfer ended
// when the caller proves the restart itself. A stop request (CliInterrupt.h) cancels: no
// further device starts, each running transfer's server is sent an ERROR, and every device's
// state is reported.
class CliUpgrade {
  public:
    struct Settings {
        QString imagePath;  // checked already (FirmwareImageProblem)
        int64_t imageSize = 0;
        int parallel = 4;
        uint16_t tftpPort = CTftpClient::kServerPort;
        FILE* progress = stdout;
        bool terminal = false;     // redraw one progress line per device in place
        bool watchRestart = true;  // false: a device is done once its transfer ended
        int blockSize = 0;         // asked of each device; 0: the window's 512
    };

    CliUpgrade(CliSession& session, Settings settings);
    ~CliUpgrade();

    std::vector<CliResult> Run(const std::vector<CliDevice>& devices);
    // Whether a signal ended the run.
    bool Cancelled() const { return cancelled_; }

    // The same in steps, for a caller that runs the event loop itself: Add queues a device
    // (its index is returned), Poll starts and advances the transfers, Done and Result tell
    // one device's outcome, Cancel stops every transfer under way.
    size_t Add(const CliDevice& device);
    void Poll();
    bool Done(size_t index) const;
    const CliResult& Result(size_t index) const;
    void Cancel();

  private:
    struct Job;
    void StartJobs();
    void Start(Job& job);
    void Step(Job& job);
    void CheckRestarts();
    // `report`: the reason goes to stderr too, unless a message box showed it already.
    void Settle(Job& job, bool ok, const QString& text);
    void Look();
    // `step`: the percentage shown is a multiple of it.
    QString ProgressText(const Job& job, int step = 1) const;
    void ShowProgress(bool force);
    bool AllDone() const;

    CliSession& session_;
    Settings settings_;
    // The transfers' retry timers run at their real periods, whatever the flows' speed-up.
    QtTimerHost transferTimers_;
    std::vector<std::unique_ptr<Job>> jobs_;
    QElapsedTimer clock_;
    int64_t searchStartedAt_ = -1;  // of the search running or last finished
    bool lookedEarly_ = false;      // in the search running
    int64_t shownAt_ = -1;
    int linesShown_ = 0;
    bool cancelled_ = false;
};

int RunUpgrade(const QStringList& args);
