// plan and apply: a whole fleet from one inventory file.
#include <unistd.h>

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliPrompts.h"
#include "cli/FleetApply.h"
#include "cli/FleetPlan.h"
#include "cli/Inventory.h"

namespace {

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

// nullopt when the plan was made; otherwise the exit code, the reasons reported.
std::optional<int> Prepare(const CliCommand& command, bool force, Prepared& out) {
    const QString path = command.Positional()[0];
    out.parsed = inventory::Load(path);
    if (!out.parsed.Ok()) {
        for (const QString& line : inventory::FormatProblems(path, out.parsed.problems))
            PrintError(line);
        PrintError(
            QStringLiteral("veltroctl %1: %2 refused, nothing sent").arg(command.Name(), path));
        return kExitUsage;
    }
    int exitCode = kExitOk;
    out.session = OpenAndSearch(command, force, 0, exitCode);
    if (!out.session) return exitCode;
    CliSession& session = *out.session;
    fleet::Observed observed;
    observed.devices = session.Devices();
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
    if (out.plan.problems.empty()) return std::nullopt;
    for (const QString& line : inventory::FormatProblems(path, out.plan.problems)) PrintError(line);
    PrintError(QStringLiteral("veltroctl %1: %2 refused, nothing sent").arg(command.Name(), path));
    return kExitUsage;
}

}  // namespace

int RunPlan(const QStringList& args) {
    CliCommand command(QStringLiteral("plan"), QStringLiteral("INVENTORY"),
                       QStringLiteral("Shows what apply would change in each device of an "
                                      "inventory file, and the devices found but not in it. Exit "
                                      "code 0 when nothing would change, 1 when something would, "
                                      "2 when the file is refused."));
    if (auto code = command.Parse(args, 1, 1)) return *code;
    Prepared prepared;
    if (auto code = Prepare(command, false, prepared)) return *code;
    PrintOut(fleet::FormatPlan(prepared.plan, command.Json()));
    return prepared.plan.Changes() ? kExitFailed : kExitOk;
}

int RunApply(const QStringList& args) {
    CliCommand command(QStringLiteral("apply"), QStringLiteral("INVENTORY"),
                       QStringLiteral("Makes each device of an inventory file what it says: "
                                      "settings, firmware and virtual port, several devices at a "
                                      "time, each checked after its restart. Devices not in the "
                                      "file are sent nothing; Ctrl-C stops starting devices."));
    CliTransferOptions transfer(QStringLiteral("Devices worked on at a time"));
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Go on when a device is outside the host's subnet."));
    command.Parser().addOptions(transfer.Options() << force);
    if (auto code = command.Parse(args, 1, 1)) return *code;
    if (auto code = transfer.Read(command)) return *code;
    fleet::CatchInterrupt();
    Prepared prepared;
    if (auto code = Prepare(command, command.Parser().isSet(force), prepared)) return *code;
    CVspInstallService installer(CVspDriver::DefaultSocketPath());
    fleet::FleetApply apply(*prepared.session, *prepared.driver, installer,
                            {transfer.Parallel(), command.DevicePort(), transfer.TftpPort(), stderr,
                             transfer.BlockSize()});
    const std::vector<CliResult> results = apply.Run(prepared.plan);
    PrintOut(FormatResults(results, command.Json()));
    int succeeded = 0;
    for (const CliResult& result : results) succeeded += result.ok;
    PrintError(QStringLiteral("applied: %1 of %2 devices as the inventory says")
                   .arg(succeeded)
                   .arg(results.size()));
    return succeeded == static_cast<int>(results.size()) ? kExitOk : kExitFailed;
}
