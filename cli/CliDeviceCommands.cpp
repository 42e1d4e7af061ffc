// search, reboot and restore: the device manager's search and acknowledgement flows.
#include <cstdio>
#include <map>

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "protocol/Message.h"

namespace {

// How long the status queries are answered after they went out.
constexpr int kStatusWaitMs = 1000;
constexpr int kMaxWaitMs = 600000;

int AckCommand(const QStringList& args, const QString& name, CliSession::AckFlow flow,
               const QString& description) {
    CliCommand command(name, QStringLiteral("DEVICE..."), description);
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Go on when a device is outside the host's subnet."));
    command.Parser().addOption(force);
    if (auto code = command.Parse(args, 1, -1)) return *code;
    std::vector<CliTarget> targets;
    if (auto code = command.Targets(command.Positional(), targets)) return *code;
    int exitCode = kExitOk;
    auto session = OpenAndSearch(command, command.Parser().isSet(force), 0, exitCode);
    if (!session) return exitCode;
    CliPlan plan(*session, targets);
    RefuseNotOneHost(*session, plan);
    if (const std::vector<CliDevice> devices = plan.Devices(); !devices.empty())
        for (const CliResult& result : session->RunAckFlow(flow, devices)) plan.Settle(result);
    PrintOut(FormatResults(plan.Results(), command.Json()));
    return plan.AllOk() ? kExitOk : kExitFailed;
}

}  // namespace

std::map<QString, StatusReply> QueryStatus(CliSession& session, uint16_t devicePort,
                                           const std::vector<CliDevice>& devices) {
    std::map<QString, StatusReply> replies;
    session.BroadcastSocket().SetMonitorHandler([&replies](const ReceivedDatagram& datagram) {
        const auto reply = StatusReply::Decode(datagram.slot.first(
            static_cast<size_t>(std::min<int>(datagram.length, datagram.slot.size()))));
        if (reply) replies[QHostAddress(datagram.sender.toIPv4Address()).toString()] = *reply;
    });
    size_t asked = 0;
    for (const CliDevice& device : devices) {
        if (!session.WhyNotOneHost(device).isEmpty()) continue;
        session.BroadcastSocket().Send(msg::BuildStatusQuery(), device.ip, devicePort);
        ++asked;
    }
    CliSession::WaitUntil([&] { return replies.size() >= asked; }, kStatusWaitMs);
    session.BroadcastSocket().SetMonitorHandler(nullptr);
    return replies;
}

int RunSearch(const QStringList& args) {
    CliCommand command(QStringLiteral("search"), {},
                       QStringLiteral("Lists the device servers that answer a broadcast search. "
                                      "Exits with 1 when none answered."));
    QCommandLineOption wait(QStringLiteral("wait"),
                            QStringLiteral("Listen at least this long for answers."),
                            QStringLiteral("ms"), QStringLiteral("0"));
    QCommandLineOption format(QStringLiteral("format"), QStringLiteral("table, csv or json."),
                              QStringLiteral("format"), QStringLiteral("table"));
    QCommandLineOption status(QStringLiteral("status"),
                              QStringLiteral("Add firmware version, modem byte and counters."));
    command.Parser().addOptions({wait, format, status});
    if (auto code = command.Parse(args, 0, 0)) return *code;
    bool ok = false;
    const int waitMs = command.Parser().value(wait).toInt(&ok);
    if (!ok || waitMs < 0 || waitMs > kMaxWaitMs)
        return command.Usage(QStringLiteral("bad --wait"));
    const QString formatName = command.Parser().value(format);
    const std::map<QString, CliFormat> formats{{QStringLiteral("table"), CliFormat::kTable},
                                               {QStringLiteral("csv"), CliFormat::kCsv},
                                               {QStringLiteral("json"), CliFormat::kJson}};
    if (!formats.contains(formatName))
        return command.Usage(QStringLiteral("unknown format \"%1\"").arg(formatName));
    int exitCode = kExitOk;
    auto session = OpenAndSearch(command, false, waitMs, exitCode);
    if (!session) return exitCode;
    const bool withStatus = command.Parser().isSet(status);
    std::map<QString, StatusReply> replies;
    if (withStatus) {
        // A copy: a late search reply may add rows while the answers are awaited.
        const std::vector<CliDevice> listed = session->Devices();
        replies = QueryStatus(*session, command.DevicePort(), listed);
    }
    // The list as it is now: a late search reply may have added rows during the wait.
    std::vector<CliListing> rows;
    const DmDeviceTable& table = session->Controller().Table();
    for (int row = 0; row < table.Count(); ++row) {
        CliListing listing{
            {table.IpText(row), table.CellText(row, DmDeviceTable::kMacColumn), table.Record(row)},
            {},
            std::nullopt};
        for (int column = DmDeviceTable::kNameColumn; column <= DmDeviceTable::kStatusColumn;
             ++column)
            listing.cells << table.CellText(row, column);
        if (auto it = replies.find(listing.device.ip); it != replies.end())
            listing.status = it->second;
        rows.push_back(listing);
    }
    PrintOut(FormatListing(rows, formats.at(formatName), withStatus));
    return rows.empty() ? kExitFailed : kExitOk;
}

int RunReboot(const QStringList& args) {
    return AckCommand(args, QStringLiteral("reboot"), CliSession::AckFlow::kReboot,
                      QStringLiteral("Reboots devices; one result line per device."));
}

int RunRestore(const QStringList& args) {
    return AckCommand(args, QStringLiteral("restore"), CliSession::AckFlow::kRestore,
                      QStringLiteral("Returns devices to their default settings and reboots them; "
                                     "one result line per device."));
}
