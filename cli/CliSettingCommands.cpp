// export and import: the device setting file of the setup sheet, and the setup flow.
#include <QFile>

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliPrompts.h"
#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"
#include "devcfg/SetupRules.h"
#include "platform/AtomicFile.h"

namespace {

const QString kStandardOutput = QStringLiteral("-");
const QString kSeparator = QStringLiteral("; ");

// The values the setup sheet shows for a listed device.
DeviceSetupValues SheetValues(CliSession& session, const CliDevice& device) {
    DeviceSetupValues values;
    FillSetupValues(values, device.record,
                    session.Controller().Table().FindRowByMac(device.record.MacAddress()));
    return values;
}

// The setup checks' messages, and the texts too long for their fields.
QStringList SetupErrors(const SetupBuild& build) {
    QStringList errors;
    for (const QString& error : build.errors) errors << error.trimmed();
    for (const OverLongText& text : build.overLong)
        errors << OverLongMessage(text.label, text.limit);
    return errors;
}

// With the file on standard output the result line goes to stderr.
int Finish(const CliCommand& command, const CliResult& result, bool toStderr = false) {
    const QString text = FormatResults({result}, command.Json());
    if (toStderr)
        PrintError(text.trimmed());
    else
        PrintOut(text);
    return result.ok ? kExitOk : kExitFailed;
}

// The one device the command names, or its failed result.
std::optional<CliDevice> OneDevice(CliSession& session, const CliTarget& target, bool send,
                                   CliResult& failed) {
    CliPlan plan(session, {target});
    if (send) RefuseNotOneHost(session, plan);
    const std::vector<CliDevice> devices = plan.Devices();
    if (devices.empty()) {
        failed = plan.Results().front();
        return std::nullopt;
    }
    return devices.front();
}

// What the file could not hold, after "exported to ...".
QString CutText(const settingfile::Written& written) {
    if (written.cut.isEmpty()) return {};
    QStringList lines;
    for (int line : written.cut)
        lines << QStringLiteral("line %1 (%2)").arg(line).arg(settingfile::Description(line));
    return QStringLiteral(
               "; a setting file line holds one word of Latin-1 characters, so these "
               "do not read back as the device has them: %1")
        .arg(lines.join(QStringLiteral(", ")));
}

}  // namespace

QStringList ChangedLines(const DeviceSetupValues& before, const DeviceSetupValues& after) {
    const QStringList old = settingfile::FullValues(before);
    const QStringList now = settingfile::FullValues(after);
    QStringList changed;
    for (int line = 2; line <= settingfile::kLineCount; ++line)
        if (old[line - 1] != now[line - 1])
            changed << QStringLiteral("%1: %2 -> %3")
                           .arg(settingfile::Description(line), old[line - 1], now[line - 1]);
    return changed;
}

int RunExport(const QStringList& args) {
    CliCommand command(QStringLiteral("export"), QStringLiteral("DEVICE FILE"),
                       QStringLiteral("Writes a device's settings into a device setting file; "
                                      "FILE - writes them to standard output."));
    if (auto code = command.Parse(args, 2, 2)) return *code;
    std::vector<CliTarget> targets;
    if (auto code = command.Targets({command.Positional()[0]}, targets)) return *code;
    const QString path = command.Positional()[1];
    const bool toStdout = path == kStandardOutput;
    int exitCode = kExitOk;
    auto session = OpenAndSearch(command, false, 0, exitCode);
    if (!session) return exitCode;
    CliResult failed;
    const std::optional<CliDevice> device = OneDevice(*session, targets.front(), false, failed);
    if (!device) return Finish(command, failed, toStdout);
    const settingfile::Written written = settingfile::Write(SheetValues(*session, *device));
    if (!written.complete)
        return Finish(command, {*device, false, QString::fromLatin1(setupmsg::kNoSpaces).trimmed()},
                      toStdout);
    if (toStdout) {
        std::fwrite(written.text.constData(), 1, static_cast<size_t>(written.text.size()), stdout);
        const bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
        return Finish(command,
                      {*device, ok,
                       ok ? QStringLiteral("exported to standard output") + CutText(written)
                          : QStringLiteral("cannot write to standard output")},
                      true);
    }
    if (QString error; !WriteFileAtomically(path, written.text, &error))
        return Finish(command,
                      {*device, false, QStringLiteral("cannot write %1: %2").arg(path, error)});
    return Finish(command,
                  {*device, true, QStringLiteral("exported to %1").arg(path) + CutText(written)});
}

int RunImport(const QStringList& args) {
    CliCommand command(QStringLiteral("import"), QStringLiteral("DEVICE FILE"),
                       QStringLiteral("Applies a device setting file to a device: the setup "
                                      "sheet's checks, then the setup command. A file that "
                                      "changes nothing sends nothing; a value outside what its "
                                      "setting holds sends nothing either."));
    QCommandLineOption check(QStringLiteral("check"),
                             QStringLiteral("Print what would change; send nothing."));
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Go on when the device is outside the host's subnet."));
    command.Parser().addOptions({check, force});
    if (auto code = command.Parse(args, 2, 2)) return *code;
    std::vector<CliTarget> targets;
    if (auto code = command.Targets({command.Positional()[0]}, targets)) return *code;
    const QString path = command.Positional()[1];
    QString unreadable;
    const std::optional<QByteArray> text = settingfile::ReadFile(path, &unreadable);
    if (!text) {
        PrintError(QStringLiteral("veltroctl import: %1").arg(unreadable));
        return kExitFailed;
    }
    int exitCode = kExitOk;
    auto session = OpenAndSearch(command, command.Parser().isSet(force), 0, exitCode);
    if (!session) return exitCode;
    CliResult failed;
    const std::optional<CliDevice> found = OneDevice(*session, targets.front(), true, failed);
    if (!found) return Finish(command, failed);
    const CliDevice& device = *found;
    const DeviceSetupValues before = SheetValues(*session, device);
    DeviceSetupValues after = before;
    const settingfile::CheckedLoad loaded = settingfile::LoadWhole(*text, after);
    switch (loaded.report.result) {
        case settingfile::LoadResult::VersionWrong:
            return Finish(command,
                          {device, false, QString::fromLatin1(settingfile::kVersionWrong)});
        case settingfile::LoadResult::Short:
            return Finish(command,
                          {device, false, settingfile::ShortFileMessage(loaded.report.lineCount)});
        case settingfile::LoadResult::Loaded:
            break;
    }
    // Each failure once: in the result.
    if (!loaded.refused.isEmpty())
        return Finish(command, {device, false,
                                QStringLiteral("refused: ") + loaded.refused.join(kSeparator)});
    const QStringList changed = ChangedLines(before, after);
    if (changed.isEmpty() && before == after)
        return Finish(command, {device, true, QStringLiteral("unchanged")});
    const SetupBuild build = BuildSetupRecord(after, device.record.MacAddress());
    if (!build.Ok())
        return Finish(command, {device, false,
                                QStringLiteral("refused by the setup checks: ") +
                                    SetupErrors(build).join(kSeparator)});
    if (command.Parser().isSet(check))
        return Finish(command, {device, true, QStringLiteral("would change"), changed});
    const QString error = session->RunSetup(device, build.command);
    return Finish(command,
                  {device, error.isEmpty(), error.isEmpty() ? QStringLiteral("changed") : error,
                   changed, session->NowIp(device)});
}
