#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/CliPrompts.h"
#include "cli/CliSession.h"
#include "upgrade/TftpClient.h"

// Push upgrades into several devices at once: each device has a TFTP client of its own and
// holds its slot until it answers searches again after its restart.
class CliUpgrade {
  public:
    struct Settings {
        QString imagePath;
        int parallel = 4;
        uint16_t tftpPort = CTftpClient::kServerPort;
        FILE* progress = stdout;
        bool terminal = false;  // redraw one progress line per device in place
    };

    CliUpgrade(CliSession& session, Settings settings);
    ~CliUpgrade();

    std::vector<CliResult> Run(const std::vector<CliDevice>& devices);

  private:
    struct Job;
    void StartJobs();
    void Start(Job& job);
    void Step(Job& job);
    void CheckRestarts();
    // `report`: the reason goes to stderr too, unless a message box showed it already.
    void Settle(Job& job, bool ok, const QString& text, bool report = true);
    QString ProgressText(const Job& job) const;
    void ShowProgress(bool force);
    bool AllDone() const;

    CliSession& session_;
    Settings settings_;
    int64_t imageSize_ = 0;
    std::vector<std::unique_ptr<Job>> jobs_;
    QElapsedTimer clock_;
    int64_t searchStartedAt_ = -1;  // of the search running or last finished
    int64_t shownAt_ = -1;
    int linesShown_ = 0;
};

int RunUpgrade(const QStringList& args);
