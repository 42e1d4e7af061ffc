#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "cli/FleetPlan.h"

// What plan and apply print: per device a block of text, or with --json one object whose
// shape the README documents and the Ansible collection relies on.
namespace fleet {

// What became of one device in an apply.
struct Outcome {
    CliResult result;  // the result line: its address now, ok, the text
    // "changed", "unchanged", "failed", "interrupted", "not started" or "not found".
    QString status;
    QStringList done;  // the steps it was seen to take
};

// A device's changes in the inventory's words: its settings, then "firmware", then "port".
std::vector<inventory::SettingChange> PlanChanges(const DevicePlan& plan);

// One block per device ("MAC IP what", then its changes indented), or the JSON object
// {"changed", "devices": [{"mac", "name", "address", "status", "reason", "changes"}]}.
QString FormatPlan(const Plan& plan, bool json);
// The JSON object {"changed", "failed", "interrupted", "devices": [...]}, each device as in
// the plan with "status" and "reason" from the apply and the steps it took as "done".
QString FormatApplyJson(const Plan& plan, const std::vector<Outcome>& outcomes, bool interrupted);
// A refused file: {"changed": false, "failed": true, "refused": ["file:line: reason", ...],
// "devices": []}.
QString FormatRefusedJson(const QStringList& problems);

}  // namespace fleet
