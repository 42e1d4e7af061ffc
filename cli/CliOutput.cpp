#include "cli/CliOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "cli/CliPrompts.h"
#include "cli/CliTargets.h"

namespace {

enum Cell { kName, kMac, kDhcp, kIp, kPort, kMode, kStatus };

QString NowAt(const CliResult& result) {
    return result.nowIp.isEmpty() ? QString() : QStringLiteral(" (now at %1)").arg(result.nowIp);
}

QString CsvField(const QString& cell) {
    if (!cell.contains(QLatin1Char(',')) && !cell.contains(QLatin1Char('"')) &&
        !cell.contains(QLatin1Char('\n')) && !cell.contains(QLatin1Char('\r')))
        return cell;
    QString quoted = cell;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QStringList Cells(const CliListing& row, bool withStatus) {
    QStringList cells = row.cells;
    if (!withStatus) return cells;
    const std::optional<StatusReply>& s = row.status.reply;
    if (!s) return cells << row.status.why << QString() << QString() << QString();
    return cells << QString::fromLatin1(s->firmwareVersion)
                 << QStringLiteral("0x%1").arg(s->modemStatus, 2, 16, QLatin1Char('0'))
                 << QString::number(s->txCount) << QString::number(s->rxCount);
}

QJsonObject JsonRow(const CliListing& row, bool withStatus) {
    const QStringList& c = row.cells;
    QJsonObject object{
        {QStringLiteral("name"), c[kName]},
        {QStringLiteral("mac"), NormalMac(row.device.record.MacAddress())},
        {QStringLiteral("dhcp"), row.device.record.Flag(devrec::netFlags, devrec::kDhcpClient)},
        {QStringLiteral("ip"), c[kIp]},
        {QStringLiteral("port"), c[kPort].toInt()},
        {QStringLiteral("mode"), c[kMode]},
        {QStringLiteral("status"), c[kStatus]}};
    if (!withStatus) return object;
    const std::optional<StatusReply>& s = row.status.reply;
    if (!s) {
        object[QStringLiteral("status_error")] = row.status.why;
        return object;
    }
    object[QStringLiteral("firmware")] = QString::fromLatin1(s->firmwareVersion);
    object[QStringLiteral("modem")] = s->modemStatus;
    object[QStringLiteral("tx")] = static_cast<qint64>(s->txCount);
    object[QStringLiteral("rx")] = static_cast<qint64>(s->rxCount);
    return object;
}

QString Table(const std::vector<QStringList>& lines) {
    std::vector<qsizetype> widths(lines.front().size(), 0);
    for (const QStringList& line : lines)
        for (qsizetype i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
    QString out;
    for (const QStringList& line : lines) {
        QString text;
        for (qsizetype i = 0; i < line.size(); ++i)
            text += line[i].leftJustified(widths[i] + 2, QLatin1Char(' '));
        out += text.trimmed() + QLatin1Char('\n');
    }
    return out;
}

}  // namespace

QStringList ListingColumns(bool withStatus) {
    QStringList columns{QStringLiteral("name"),  QStringLiteral("mac"),  QStringLiteral("dhcp"),
                        QStringLiteral("ip"),    QStringLiteral("port"), QStringLiteral("mode"),
                        QStringLiteral("status")};
    if (withStatus)
        columns << QStringLiteral("firmware") << QStringLiteral("modem") << QStringLiteral("tx")
                << QStringLiteral("rx");
    return columns;
}

QString FormatListing(const std::vector<CliListing>& rows, CliFormat format, bool withStatus) {
    if (format == CliFormat::kJson) {
        QJsonArray array;
        for (const CliListing& row : rows) array.append(JsonRow(row, withStatus));
        return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    }
    std::vector<QStringList> lines{ListingColumns(withStatus)};
    for (const CliListing& row : rows) lines.push_back(Cells(row, withStatus));
    QString out;
    for (QStringList& line : lines) {
        QStringList fields;
        for (const QString& cell : line)
            fields << (format == CliFormat::kTable ? Printable(cell) : CsvField(cell));
        if (format == CliFormat::kCsv) out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
        line = fields;
    }
    return format == CliFormat::kTable ? Table(lines) : out;
}

QString FormatResults(const std::vector<CliResult>& results, bool json) {
    if (json) {
        QJsonArray array;
        for (const CliResult& result : results) {
            const bool listed = !result.device.mac.isEmpty();
            QJsonObject object{
                {QStringLiteral("ip"), result.device.ip},
                {QStringLiteral("mac"),
                 listed ? QJsonValue(NormalMac(result.device.record.MacAddress())) : QJsonValue()},
                {QStringLiteral("ok"), result.ok},
                {QStringLiteral("result"), result.text}};
            if (!result.nowIp.isEmpty()) object[QStringLiteral("now_ip")] = result.nowIp;
            if (!result.changes.isEmpty())
                object[QStringLiteral("changes")] = QJsonArray::fromStringList(result.changes);
            array.append(object);
        }
        return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    }
    QString out;
    for (const CliResult& result : results) {
        const QString mac = result.device.mac.isEmpty() ? QStringLiteral("-") : result.device.mac;
        out += Printable(
                   QStringLiteral("%1 %2 %3")
                       .arg(result.device.ip, mac,
                            (result.ok ? result.text : QStringLiteral("FAILED: ") + result.text) +
                                NowAt(result))) +
               QLatin1Char('\n');
        for (const QString& change : result.changes)
            out += QStringLiteral("  %1\n").arg(Printable(change));
    }
    return out;
}
