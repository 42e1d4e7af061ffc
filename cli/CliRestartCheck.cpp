#include "cli/CliRestartCheck.h"

#include "cli/CliCommand.h"
#include "devcfg/SetupMapping.h"

namespace {

DeviceSetupValues Values(const DeviceConfigRecord& record, int row) {
    DeviceSetupValues values;
    FillSetupValues(values, record, row);
    return values;
}

}  // namespace

DeviceConfigRecord RecordAsCommand(const DeviceConfigRecord& record, int row) {
    return BuildSetupRecord(Values(record, row), record.MacAddress()).command;
}

bool ReportsCommand(const DeviceConfigRecord& reported, const DeviceConfigRecord& command,
                    int row) {
    DeviceConfigRecord left = RecordAsCommand(reported, row);
    DeviceConfigRecord right = command;
    left.Set(devrec::currentIp, 0);
    right.Set(devrec::currentIp, 0);
    return left == right;
}

QStringList SettingsNotTaken(const DeviceConfigRecord& reported, const DeviceConfigRecord& command,
                             int row) {
    return ChangedLines(Values(reported, row), Values(command, row));
}
