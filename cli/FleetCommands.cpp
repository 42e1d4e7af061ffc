// plan and apply: a whole fleet from one inventory file.
#include <unistd.h>

#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliInterrupt.h"
#include "cli/CliOutput.h"
#include "cli/CliPrompts.h"
#include "cli/FleetApply.h"
#include "cli/FleetPlan.h"
#include "cli/FleetReport.h"
#include "cli/FleetSaved.h"
#include "cli/Inventory.h"
#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

namespace {

constexpr int kMsPerSecond = 1000;
constexpr int kMinRestartTimeoutS = 1;
constexpr int kMaxRestartTimeoutS = 3600;
// A saved plan holds a few lines per device.
constexpr int64_t kMaxSavedPlanBytes = 4 * 1024 * 1024;

// The inventory, the session that searched, and the plan made from what the devices and the
// port service said.
struct Prepared {
    inventory::Parsed parsed;
    std::unique_ptr<CliSession> session;
    std::unique_ptr<CVspDriver> driver;
    fleet::Plan plan;
};

bool NeedsPorts(const inventory::Parsed& parsed) {
    for (const inventory::DeviceEntry& entry : parsed.devices)
        if (entry.port) return true;
    return false;
}

// The file's faults on standard error, and with --json on standard output too.
int Refuse(const CliCommand& command, const QString& path,
           const std::vector<inventory::Problem>& problems) {
    const QStringList lines = inventory::FormatProblems(path, problems);
    for (const QString& line : lines) PrintError(line);
    PrintError(QStringLiteral("veltroctl %1: %2 refused, nothing sent").arg(command.Name(), path));
    if (command.Json()) PrintOut(fleet::FormatRefusedJson(lines));
    return kExitUsage;
}

// --limit, for plan and apply alike.
QCommandLineOption LimitOption() {
    return {QStringLiteral("limit"),
            QStringLiteral("Only the devices named: a MAC address, a device name or a group; "
                           "repeat it or separate several by commas."),
            QStringLiteral("device")};
}

QStringList Limits(const CliCommand& command) {
    QStringList limits;
    for (const QString& value : command.Parser().values(QStringLiteral("limit")))
        limits << value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return limits;
}

// nullopt when the plan was made; otherwise the exit code, the reasons reported.
std::optional<int> Prepare(const CliCommand& command, const QString& path,
                           const QStringList& limits, bool force, Prepared& out) {
    LinuxNetInterfaces net;
    const std::vector<AdapterInfo> subnets = net.Subnets().value_or(std::vector<AdapterInfo>{});
    out.parsed = inventory::Load(path, subnets);
    if (!out.parsed.Ok()) return Refuse(command, path, out.parsed.problems);
    int exitCode = kExitOk;
    out.session = OpenAndSearch(command, force, 0, exitCode);
    if (!out.session) return exitCode;
    CliSession& session = *out.session;
    fleet::Observed observed;
    observed.devices = session.Devices();
    observed.subnets = subnets;
    std::vector<CliDevice> withFirmware;
    for (const CliDevice& device : observed.devices)
        for (const inventory::DeviceEntry& entry : out.parsed.devices)
            if (entry.firmware && entry.mac == device.record.MacAddress())
                withFirmware.push_back(device);
    if (!withFirmware.empty())
        for (const auto& [ip, reply] : QueryStatus(session, command.DevicePort(), withFirmware))
            observed.versions[ip] = QString::fromLatin1(reply.firmwareVersion);
    out.driver = std::make_unique<CVspDriver>(session.Prompts(),
                                              [&session] { return session.HostAddress(); });
    if (NeedsPorts(out.parsed)) {
        uint32_t error = 0;
        observed.ports = out.driver->Enumerate(&error);
        if (!observed.ports)
            PrintError(QStringLiteral("veltroctl %1: the port service does not answer (error %2)")
                           .arg(command.Name())
                           .arg(error));
    }
    out.plan = fleet::MakePlan(out.parsed.devices, observed);
    if (!limits.isEmpty())
        if (const QString unknown = fleet::Limit(out.plan, limits); !unknown.isEmpty())
            return command.Usage(
                QStringLiteral("--limit %1 names no device of %2").arg(unknown, path));
    if (out.plan.problems.empty()) return std::nullopt;
    return Refuse(command, path, out.plan.problems);
}

}  // namespace

int RunPlan(const QStringList& args) {
    CliCommand command(QStringLiteral("plan"), QStringLiteral("INVENTORY"),
                       QStringLiteral("Shows what apply would change in each device of an "
                                      "inventory file, and the devices found but not in it. Exit "
                                      "code 0 when nothing would change, 1 when something would, "
                                      "2 when the file is refused."));
    QCommandLineOption out(QStringLiteral("out"),
                           QStringLiteral("Also save the plan, for apply --plan."),
                           QStringLiteral("file"));
    command.Parser().addOptions({LimitOption(), out});
    if (auto code = command.Parse(args, 1, 1)) return *code;
    Prepared prepared;
    const QString path = command.Positional()[0];
    if (auto code = Prepare(command, path, Limits(command), false, prepared)) return *code;
    if (command.Parser().isSet(out))
        if (QString error; !WriteFileAtomically(
                command.Parser().value(out),
                fleet::SavePlan(prepared.plan, path, prepared.parsed.digest), &error)) {
            PrintError(QStringLiteral("veltroctl plan: cannot save the plan: %1").arg(error));
            return kExitFailed;
        }
    PrintOut(fleet::FormatPlan(prepared.plan, command.Json()));
    return prepared.plan.Changes() ? kExitFailed : kExitOk;
}

int RunApply(const QStringList& args) {
    CliCommand command(QStringLiteral("apply"), QStringLiteral("INVENTORY | --plan FILE"),
                       QStringLiteral("Makes each device of an inventory file what it says: "
                                      "settings, firmware and virtual port, several devices at a "
                                      "time, each proven by what it reports after its restart. "
                                      "Devices not in the file are sent nothing. SIGINT or "
                                      "SIGTERM starts no further step on any device, reports "
                                      "every device and exits with 130."));
    CliTransferOptions transfer(QStringLiteral("Devices worked on at a time"));
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Go on when a device is outside the host's subnet."));
    QCommandLineOption restartTimeout(
        QStringLiteral("restart-timeout"),
        QStringLiteral("How long a device may take after a restart to report what it was "
                       "given, %1 to %2 s.")
            .arg(kMinRestartTimeoutS)
            .arg(kMaxRestartTimeoutS),
        QStringLiteral("s"), QString::number(CliSession::kRestartDeadlineMs / kMsPerSecond));
    QCommandLineOption saved(QStringLiteral("plan"),
                             QStringLiteral("Do the plan that plan --out saved, in place of an "
                                            "INVENTORY; refused when the fleet or the file "
                                            "changed since."),
                             QStringLiteral("file"));
    command.Parser().addOptions(transfer.Options()
                                << force << restartTimeout << LimitOption() << saved);
    if (auto code = command.Parse(args, 0, 1)) return *code;
    const bool fromSaved = command.Parser().isSet(saved);
    if (fromSaved == (command.Positional().size() == 1))
        return command.Usage(QStringLiteral("give an INVENTORY or --plan FILE"));
    if (auto code = transfer.Read(command)) return *code;
    bool ok = false;
    const int timeoutS = command.Parser().value(restartTimeout).toInt(&ok);
    if (!ok || timeoutS < kMinRestartTimeoutS || timeoutS > kMaxRestartTimeoutS)
        return command.Usage(QStringLiteral("--restart-timeout is %1 to %2 seconds")
                                 .arg(kMinRestartTimeoutS)
                                 .arg(kMaxRestartTimeoutS));
    CatchStopSignals();
    fleet::SavedPlan plan;
    if (fromSaved) {
        const RegularFile file = ReadRegularFile(command.Parser().value(saved), kMaxSavedPlanBytes);
        const QString why = file.status == RegularFile::Status::Read
                                ? fleet::ReadSavedPlan(file.bytes, plan)
                                : QStringLiteral("cannot read it");
        if (!why.isEmpty())
            return command.Usage(
                QStringLiteral("--plan %1: %2").arg(command.Parser().value(saved), why));
    }
    const QString path = fromSaved ? plan.inventory : command.Positional()[0];
    Prepared prepared;
    if (auto code = Prepare(command, path, fromSaved ? plan.macs : Limits(command),
                            command.Parser().isSet(force), prepared))
        return *code;
    if (fromSaved)
        if (const QString why = fleet::ChangedSince(plan, prepared.plan, prepared.parsed.digest);
            !why.isEmpty()) {
            PrintError(
                QStringLiteral("veltroctl apply: %1; make a new plan, nothing sent").arg(why));
            return kExitUsage;
        }
    CVspInstallService installer(CVspDriver::DefaultSocketPath());
    fleet::FleetApply apply(*prepared.session, *prepared.driver, installer,
                            {.parallel = transfer.Parallel(),
                             .devicePort = command.DevicePort(),
                             .tftpPort = transfer.TftpPort(),
                             .restartTimeoutMs = timeoutS * kMsPerSecond,
                             .progress = stderr,
                             .blockSize = transfer.BlockSize()});
    const std::vector<fleet::Outcome> outcomes = apply.Run(prepared.plan);
    std::vector<CliResult> results;
    for (const fleet::Outcome& outcome : outcomes) results.push_back(outcome.result);
    PrintOut(command.Json() ? fleet::FormatApplyJson(prepared.plan, outcomes, apply.Interrupted())
                            : FormatResults(results, false));
    // The summary after the results, also where both go to one file.
    std::fflush(stdout);
    int succeeded = 0;
    for (const CliResult& result : results) succeeded += result.ok;
    PrintError(QStringLiteral("applied: %1 of %2 devices as the inventory says%3")
                   .arg(succeeded)
                   .arg(results.size())
                   .arg(apply.Interrupted() ? QStringLiteral(" (interrupted)") : QString()));
    if (apply.Interrupted()) return kExitInterrupted;
    return succeeded == static_cast<int>(results.size()) ? kExitOk : kExitFailed;
}
