#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "cli/FleetPlan.h"

// A plan saved by plan --out and done by apply --plan: the inventory it was made from, with a
// digest of that file and of every file it names, and per device a digest of what the device
// and the port service said. apply makes the plan again and does it only when nothing of that
// has changed since.
namespace fleet {

struct SavedPlan {
    QString inventory;     // the inventory's path
    QStringList macs;      // the planned devices, as --limit takes them
    QByteArray savedJson;  // the file as it was read
};

// The file plan --out writes.
QByteArray SavePlan(const Plan& plan, const QString& inventoryPath, const QByteArray& digest);
// The saved plan in `bytes`; the reason it cannot be read, or empty.
QString ReadSavedPlan(const QByteArray& bytes, SavedPlan& out);
// Why the plan made now is not the saved one, naming the device that changed; empty when it is.
QString ChangedSince(const SavedPlan& saved, const Plan& now, const QByteArray& digest);

}  // namespace fleet
