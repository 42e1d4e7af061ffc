#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "cli/CliHost.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliTargets.h"
#include "devcfg/DeviceSetupValues.h"
#include "monitor/StatusReply.h"

// Exit codes: every device succeeded, a device failed, the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr uint32_t kMaxPortNumber = 0xFFFF;

// The options every subcommand takes, and the parsing they share.
class CliCommand {
  public:
    CliCommand(const QString& name, const QString& synopsis, const QString& description);

    QCommandLineParser& Parser() { return parser_; }
    const QCommandLineParser& Parser() const { return parser_; }
    // Parses `args`; nullopt when the subcommand is to go on, else the exit code (help shown,
    // or a usage error reported).
    std::optional<int> Parse(const QStringList& args, qsizetype minPositional,
                             qsizetype maxPositional);
    QStringList Positional() const { return parser_.positionalArguments(); }
    bool Json() const { return parser_.isSet(json_); }
    uint16_t DevicePort() const { return devicePort_; }
    int Speedup() const { return speedup_; }
    // The host address per --bind; nullopt (reported) when none could be chosen.
    std::optional<CliHost> Host() const;
    // The devices named in `texts`; nullopt to go on, else the exit code of the usage error.
    std::optional<int> Targets(const QStringList& texts, std::vector<CliTarget>& targets) const;
    // A usage error: reported with a hint, exit code 2.
    int Usage(const QString& text) const;
    QString Name() const { return name_; }

  private:
    QString name_;
    QString synopsis_;
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption bind_;
    QCommandLineOption json_;
    QCommandLineOption devicePortOption_;
    QCommandLineOption speedupOption_;
    uint16_t devicePort_ = 0;
    int speedup_ = 1;
};

// --parallel, --block-size and the hidden --tftp-port of the commands that push firmware, and
// their checks.
class CliTransferOptions {
  public:
    static constexpr int kMaxParallel = 64;

    // `what` ends the help text of --parallel: "Devices upgraded at a time", say.
    explicit CliTransferOptions(const QString& what);
    QList<QCommandLineOption> Options() const {
        return {parallelOption_, blockSizeOption_, tftpPortOption_};
    }
    // After the command line was parsed: nullopt to go on, else the usage error's exit code.
    std::optional<int> Read(const CliCommand& command);
    int Parallel() const { return parallel_; }
    uint16_t TftpPort() const { return tftpPort_; }
    // 0 without --block-size: the window's 512-byte request.
    int BlockSize() const { return blockSize_; }

  private:
    QCommandLineOption parallelOption_;
    QCommandLineOption blockSizeOption_;
    QCommandLineOption tftpPortOption_;
    int parallel_ = 0;
    int blockSize_ = 0;
    uint16_t tftpPort_ = 0;
};

void PrintOut(const QString& text);
// Opens the session and searches; null with the exit code set when it cannot.
std::unique_ptr<CliSession> OpenAndSearch(const CliCommand& command, bool force, int waitMs,
                                          int& exitCode);
// Settles, as not sent, each device of the plan whose address names no single host.
void RefuseNotOneHost(CliSession& session, CliPlan& plan);

// The setting file lines whose values differ, as "Description: old -> new".
QStringList ChangedLines(const DeviceSetupValues& before, const DeviceSetupValues& after);
// One status query to each device that an address of its own names (one host's, reported by
// no other listed device, its MAC address not shared): the answer or why there is none, by
// MAC address as the list shows it.
std::map<QString, CliStatus> QueryStatusByMac(CliSession& session, uint16_t devicePort,
                                              const std::vector<CliDevice>& devices);
// The same, the answers by the device's address.
std::map<QString, StatusReply> QueryStatus(CliSession& session, uint16_t devicePort,
                                           const std::vector<CliDevice>& devices);

// The subcommands; each returns the exit code.
int RunSearch(const QStringList& args);
int RunExport(const QStringList& args);
int RunImport(const QStringList& args);
int RunReboot(const QStringList& args);
int RunRestore(const QStringList& args);
int RunUpgrade(const QStringList& args);
int RunPlan(const QStringList& args);
int RunApply(const QStringList& args);

// The program: the subcommand named first in `args` (the program name left out).
int RunCli(const QStringList& args);
