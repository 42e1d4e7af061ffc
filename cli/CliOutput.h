#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "cli/CliSession.h"
#include "monitor/StatusReply.h"

// The answer to a status query, or why there is none.
struct CliStatus {
    std::optional<StatusReply> reply;
    QString why;
};

// One line of the search listing: the device list's columns, and with --status the answer to
// the status query.
struct CliListing {
    CliDevice device;
    QStringList cells;  // name, MAC, DHCP, IP, port, mode, status
    CliStatus status;
};

enum class CliFormat { kTable, kCsv, kJson };

// The column names, also the CSV header and the JSON keys.
QStringList ListingColumns(bool withStatus);
// The table shows control characters escaped (Printable); CSV keeps every character of a name
// (quoting what needs it) and JSON carries numbers as numbers, DHCP as true or false and the
// MAC address in its normal form. A device without status values shows why in their place
// (JSON: "status_error").
QString FormatListing(const std::vector<CliListing>& rows, CliFormat format, bool withStatus);

// One result line per device, made printable, or with `json` a JSON array of objects; a device
// that answered last at another address is named at it too ("now_ip").
QString FormatResults(const std::vector<CliResult>& results, bool json);
