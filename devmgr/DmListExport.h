#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class DmDeviceTable;
class UserPrompts;

// The firmware version the device monitor has read from the device with this MAC address (as
// the list shows it); empty when it has none.
using VersionLookup = std::function<QString(const QString& mac)>;

// The listed devices as CSV: a header line, then one line per row with the list's nine
// columns (the check box as 1 or 0) and the firmware version. Lines end in CR LF; fields
// holding a comma, a quote or a line break are quoted, with quotes doubled.
QByteArray DeviceListCsv(const DmDeviceTable& table, const VersionLookup& versionOf);

// "Export List...": asks for a file name and writes the CSV there. False when cancelled or
// when the file could not be written (said in a message box).
bool ExportDeviceList(UserPrompts& prompts, const DmDeviceTable& table,
                      const VersionLookup& versionOf);
