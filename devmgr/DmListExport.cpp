#include "devmgr/DmListExport.h"

#include <QStringList>

#include "devmgr/DmDeviceTable.h"
#include "platform/AtomicFile.h"
#include "platform/UserPrompts.h"

namespace {

const QStringList kHeader{"Checked", "NO.",  "Device Name", "MAC Address", "DHCP",
                          "IP",      "Port", "Mode",        "Status",      "Firmware Version"};

QString CsvField(const QString& text) {
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    QString quoted = text;
    quoted.replace('"', QStringLiteral("\"\""));
    return '"' + quoted + '"';
}

QByteArray CsvLine(const QStringList& fields) {
    QStringList escaped;
    for (const QString& field : fields) escaped << CsvField(field);
    return escaped.join(',').toUtf8() + "\r\n";
}

}  // namespace

QByteArray DeviceListCsv(const DmDeviceTable& table, const VersionLookup& versionOf) {
    QByteArray csv = CsvLine(kHeader);
    for (int row = 0; row < table.Count(); ++row) {
        QStringList fields{table.IsChecked(row) ? QStringLiteral("1") : QStringLiteral("0")};
        for (int column = DmDeviceTable::kNumberColumn; column < DmDeviceTable::kColumnCount;
             ++column)
            fields << table.CellText(row, column);
        fields << versionOf(table.CellText(row, DmDeviceTable::kMacColumn));
        csv += CsvLine(fields);
    }
    return csv;
}

bool ExportDeviceList(UserPrompts& prompts, const DmDeviceTable& table,
                      const VersionLookup& versionOf) {
    const QString path = prompts.SaveFileName(
        {"Export List", "devices.csv", "CSV Files (*.csv);;All Files (*)", "csv"});
    if (path.isEmpty()) return false;
    QString error;
    if (WriteFileAtomically(path, DeviceListCsv(table, versionOf), &error)) return true;
    prompts.FileFailure(QStringLiteral("Failed to write %1: %2").arg(path, error));
    return false;
}
