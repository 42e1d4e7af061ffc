// search, reboot and restore: the device manager's search and acknowledgement flows.
#include <algorithm>
#include <cstdio>
#include <map>

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "protocol/Ipv4Address.h"
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

std::map<QString, CliStatus> QueryStatusByMac(CliSession& session, uint16_t devicePort,
                                              const std::vector<CliDevice>& devices) {
    std::map<QString, CliStatus> statuses;
    // A status reply carries no MAC address: only an address one listed device reports tells
    // whose it is.
    std::map<QString, QString> askedAt;  // address -> MAC
    const std::vector<CliDevice> listed = session.Devices();
    for (const CliDevice& device : devices) {
        QString why = session.WhyNotOneHost(device);
        if (why.isEmpty()) why = session.WhyTwins(device);
        const auto sharing = std::count_if(listed.begin(), listed.end(),
                                           [&](const CliDevice& d) { return d.ip == device.ip; });
        if (why.isEmpty() && sharing > 1)
            why = QStringLiteral("%1 devices report this address").arg(sharing);
        statuses[device.mac] = {std::nullopt, why.isEmpty() ? QStringLiteral("no answer")
                                                            : QStringLiteral("not asked: ") + why};
        if (why.isEmpty()) askedAt[device.ip] = device.mac;
    }
    size_t answered = 0;
    session.BroadcastSocket().SetMonitorHandler([&](const ReceivedDatagram& datagram) {
        const auto reply = StatusReply::Decode(datagram.slot.first(
            static_cast<size_t>(std::min<int>(datagram.length, datagram.slot.size()))));
        const auto asked = askedAt.find(Ipv4Address(datagram.sender.toIPv4Address()).ToString());
        if (!reply || asked == askedAt.end()) return;
        CliStatus& status = statuses[asked->second];
        if (!status.reply) ++answered;
        status = {reply, {}};
    });
    for (const auto& [ip, mac] : askedAt)
        session.BroadcastSocket().Send(msg::BuildStatusQuery(), ip, devicePort);
    CliSession::WaitUntil([&] { return answered >= askedAt.size(); }, kStatusWaitMs);
    session.BroadcastSocket().SetMonitorHandler(nullptr);
    return statuses;
}

std::map<QString, StatusReply> QueryStatus(CliSession& session, uint16_t devicePort,
                                           const std::vector<CliDevice>& devices) {
    const std::map<QString, CliStatus> byMac = QueryStatusByMac(session, devicePort, devices);
    std::map<QString, StatusReply> replies;
    for (const CliDevice& device : devices)
        if (const auto found = byMac.find(device.mac); found != byMac.end() && found->second.reply)
            replies[device.ip] = *found->second.reply;
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
    if (command.Json() && command.Parser().isSet(format) &&
        command.Parser().value(format) != QLatin1String("json"))
        return command.Usage(
            QStringLiteral("--json and --format %1").arg(command.Parser().value(format)));
    bool ok = false;
    const int waitMs = command.Parser().value(wait).toInt(&ok);
    if (!ok || waitMs < 0 || waitMs > kMaxWaitMs)
        return command.Usage(QStringLiteral("bad --wait"));
    const QString formatName =
        command.Json() ? QStringLiteral("json") : command.Parser().value(format);
    const std::map<QString, CliFormat> formats{{QStringLiteral("table"), CliFormat::kTable},
                                               {QStringLiteral("csv"), CliFormat::kCsv},
                                               {QStringLiteral("json"), CliFormat::kJson}};
    if (!formats.contains(formatName))
        return command.Usage(QStringLiteral("unknown format \"%1\"").arg(formatName));
    int exitCode = kExitOk;
    auto session = OpenAndSearch(command, false, waitMs, exitCode);
    if (!session) return exitCode;
    const bool withStatus = command.Parser().isSet(status);
    std::map<QString, CliStatus> statuses;
    // A copy: a late search reply may add rows while the answers are awaited.
    if (withStatus) statuses = QueryStatusByMac(*session, command.DevicePort(), session->Devices());
    // The list as it is now: a late search reply may have added rows during the wait.
    std::vector<CliListing> rows;
    const DmDeviceTable& table = session->Controller().Table();
    for (int row = 0; row < table.Count(); ++row) {
        const QString mac = DmDeviceTable::MacText(table.Record(row));
        CliListing listing{{table.IpText(row), mac, table.Record(row)},
                           {},
                           {std::nullopt, QStringLiteral("not asked: listed after the queries")}};
        for (int column = DmDeviceTable::kNameColumn; column <= DmDeviceTable::kStatusColumn;
             ++column)
            listing.cells << table.CellText(row, column);
        if (auto it = statuses.find(mac); it != statuses.end()) listing.status = it->second;
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
