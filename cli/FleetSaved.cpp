#include "cli/FleetSaved.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>

#include "cli/CliRestartCheck.h"
#include "cli/CliTargets.h"
#include "cli/FleetReport.h"

namespace fleet {

namespace {

constexpr int kFormat = 1;

// What the device and the port service said that the plan rests on.
QString Seen(const DevicePlan& plan) {
    if (!plan.device) return QStringLiteral("not found");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(RecordAsCommand(plan.device->record, plan.row).ToByteArray());
    hash.addData(plan.device->ip.toUtf8());
    hash.addData(plan.reportedVersion.toUtf8());
    for (const inventory::SettingChange& change : PlanChanges(plan))
        hash.addData(change.Text().toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

std::map<QString, QString> SeenByMac(const QJsonArray& devices) {
    std::map<QString, QString> seen;
    for (const QJsonValue& device : devices)
        seen[device[QStringLiteral("mac")].toString()] = device[QStringLiteral("seen")].toString();
    return seen;
}

}  // namespace

QByteArray SavePlan(const Plan& plan, const QString& inventoryPath, const QByteArray& digest) {
    QJsonArray devices;
    for (const DevicePlan& one : plan.devices)
        devices.append(QJsonObject{{QStringLiteral("mac"), NormalMac(one.entry->mac)},
                                   {QStringLiteral("seen"), Seen(one)}});
    return QJsonDocument(
               QJsonObject{
                   {QStringLiteral("format"), kFormat},
                   {QStringLiteral("inventory"), QFileInfo(inventoryPath).absoluteFilePath()},
                   {QStringLiteral("digest"), QString::fromLatin1(digest.toHex())},
                   {QStringLiteral("devices"), devices}})
        .toJson(QJsonDocument::Indented);
}

QString ReadSavedPlan(const QByteArray& bytes, SavedPlan& out) {
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    if (object[QStringLiteral("format")].toInt() != kFormat ||
        !object[QStringLiteral("inventory")].isString() ||
        !object[QStringLiteral("devices")].isArray())
        return QStringLiteral("not a plan that plan --out wrote");
    out.inventory = object[QStringLiteral("inventory")].toString();
    out.savedJson = bytes;
    for (const auto& [mac, seen] : SeenByMac(object[QStringLiteral("devices")].toArray()))
        out.macs << mac;
    return {};
}

QString ChangedSince(const SavedPlan& saved, const Plan& now, const QByteArray& digest) {
    const QJsonObject object = QJsonDocument::fromJson(saved.savedJson).object();
    if (object[QStringLiteral("digest")].toString() != QString::fromLatin1(digest.toHex()))
        return QStringLiteral("%1 or a file it names changed since the plan was made")
            .arg(saved.inventory);
    std::map<QString, QString> before = SeenByMac(object[QStringLiteral("devices")].toArray());
    for (const DevicePlan& one : now.devices) {
        const QString mac = NormalMac(one.entry->mac);
        const auto it = before.find(mac);
        if (it == before.end()) return QStringLiteral("%1 is not in the saved plan").arg(mac);
        if (it->second != Seen(one))
            return QStringLiteral("%1 changed since the plan was made").arg(mac);
        before.erase(it);
    }
    if (!before.empty())
        return QStringLiteral("%1 is no longer planned").arg(before.begin()->first);
    return {};
}

}  // namespace fleet
