// export and import: the device setting file of the setup sheet, and the setup flow.
#include <QFile>

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliPrompts.h"
#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"
#include "platform/AtomicFile.h"

namespace {

// The values the setup sheet shows for a listed device.
DeviceSetupValues SheetValues(CliSession& session, const CliDevice& device) {
    DeviceSetupValues values;
    FillSetupValues(values, device.record, session.RowOf(device.ip));
    return values;
}

int Finish(const CliCommand& command, const CliResult& result) {
    PrintOut(FormatResults({result}, command.Json()));
    return result.ok ? kExitOk : kExitFailed;
}

}  // namespace

QStringList ChangedLines(const DeviceSetupValues& before, const DeviceSetupValues& after) {
    const QList<QByteArray> old = settingfile::LineValues(settingfile::Write(before).text);
    const QList<QByteArray> now = settingfile::LineValues(settingfile::Write(after).text);
    QStringList changed;
    for (int line = 2; line <= settingfile::kLineCount; ++line) {
        const QByteArray a = old.value(line - 1);
        const QByteArray b = now.value(line - 1);
        if (a != b)
            changed << QStringLiteral("%1: %2 -> %3")
                           .arg(settingfile::Description(line), QString::fromLatin1(a),
                                QString::fromLatin1(b));
    }
    return changed;
}

int RunExport(const QStringList& args) {
    CliCommand command(QStringLiteral("export"), QStringLiteral("IP FILE"),
                       QStringLiteral("Writes a device's settings into a device setting file."));
    if (auto code = command.Parse(args, 2, 2)) return *code;
    const QString ip = command.Positional()[0];
    const QString path = command.Positional()[1];
    int exitCode = kExitOk;
    auto session = OpenAndSearch(command, false, 0, exitCode);
    if (!session) return exitCode;
    std::vector<CliResult> missing;
    const std::vector<CliDevice> found = Lookup(*session, {ip}, missing);
    if (found.empty()) return Finish(command, missing.front());
    const CliDevice& device = found.front();
    const settingfile::Written written = settingfile::Write(SheetValues(*session, device));
    if (!written.complete)
        return Finish(command, {device, false, QString::fromLatin1(setupmsg::kNoSpaces).trimmed()});
    if (QString error; !WriteFileAtomically(path, written.text, &error))
        return Finish(command,
                      {device, false, QStringLiteral("cannot write %1: %2").arg(path, error)});
    return Finish(command, {device, true, QStringLiteral("exported to %1").arg(path)});
}

int RunImport(const QStringList& args) {
    CliCommand command(QStringLiteral("import"), QStringLiteral("IP FILE"),
                       QStringLiteral("Applies a device setting file to a device: the setup "
                                      "sheet's checks, then the setup command. A file that "
                                      "changes nothing sends nothing."));
    QCommandLineOption check(QStringLiteral("check"),
                             QStringLiteral("Print what would change; send nothing."));
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Go on when the device is outside the host's subnet."));
    command.Parser().addOptions({check, force});
    if (auto code = command.Parse(args, 2, 2)) return *code;
    const QString ip = command.Positional()[0];
    const QString path = command.Positional()[1];
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintError(QStringLiteral("veltroctl import: %1 %2").arg(settingfile::kOpenFailed, path));
        return kExitFailed;
    }
    const QByteArray text = file.readAll();
    int exitCode = kExitOk;
    auto session = OpenAndSearch(command, command.Parser().isSet(force), 0, exitCode);
    if (!session) return exitCode;
    std::vector<CliResult> missing;
    const std::vector<CliDevice> found = Lookup(*session, {ip}, missing);
    if (found.empty()) return Finish(command, missing.front());
    const CliDevice& device = found.front();
    const DeviceSetupValues before = SheetValues(*session, device);
    DeviceSetupValues after = before;
    const settingfile::LoadReport loaded = settingfile::Load(text, after);
    switch (loaded.result) {
        case settingfile::LoadResult::VersionWrong:
            return Finish(command,
                          {device, false, QString::fromLatin1(settingfile::kVersionWrong)});
        case settingfile::LoadResult::Short:
            return Finish(command,
                          {device, false, settingfile::ShortFileMessage(loaded.lineCount)});
        case settingfile::LoadResult::Loaded:
            break;
    }
    const QStringList changed = ChangedLines(before, after);
    if (changed.isEmpty() && before == after)
        return Finish(command, {device, true, QStringLiteral("unchanged")});
    const SetupBuild build = BuildSetupRecord(after, device.record.MacAddress());
    for (const QString& error : build.errors)
        PrintError(QStringLiteral("%1: %2").arg(ip, error.trimmed()));
    if (!build.Ok())
        return Finish(command, {device, false, QStringLiteral("refused by the setup checks")});
    if (command.Parser().isSet(check))
        return Finish(command, {device, true, QStringLiteral("would change"), changed});
    const QString error = session->RunSetup(device, build.command);
    return Finish(command, {device, error.isEmpty(),
                            error.isEmpty() ? QStringLiteral("changed") : error, changed});
}
