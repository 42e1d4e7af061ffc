#pragma once

#include <QStringList>

#include "devcfg/DeviceConfigRecord.h"

// What proves that a device took a setup command, for apply and import alike: after its
// restart it reports a record that is the command in every byte the command decides. A
// restart alone proves nothing (the device may have dropped the command); a device that
// restarts quickly may never be seen gone, yet its record shows the change.

// The setup command that a reported record stands for; `row` fills in a name it lacks.
DeviceConfigRecord RecordAsCommand(const DeviceConfigRecord& record, int row);
// Whether `reported` is `command` in every decided byte (its current address is its own).
bool ReportsCommand(const DeviceConfigRecord& reported, const DeviceConfigRecord& command, int row);
// The settings in which it is not, as "Description: reported -> command".
QStringList SettingsNotTaken(const DeviceConfigRecord& reported, const DeviceConfigRecord& command,
                             int row);
