#include "cli/FleetReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "cli/CliTargets.h"
#include "protocol/Ipv4Address.h"

namespace fleet {

namespace {

QString PortWork(const inventory::PortSpec& spec, const PortSteps& steps) {
    QStringList parts;
    if (steps.add) parts << QStringLiteral("add");
    if (steps.configure)
        parts << QStringLiteral("configure %1 %2 %3:%4")
                     .arg(spec.udp ? QStringLiteral("udp") : QStringLiteral("tcp"),
                          spec.client ? QStringLiteral("client") : QStringLiteral("server"),
                          Ipv4Address(steps.config.remoteIp).ToString())
                     .arg(steps.config.remotePort);
    if (steps.connect)
        parts << (spec.client ? QStringLiteral("connect") : QStringLiteral("listen"));
    return QStringLiteral("%1: %2").arg(spec.com, parts.join(QStringLiteral(", ")));
}

bool WouldChange(const DevicePlan& plan) {
    return plan.device && plan.Changes();
}

QString PlanStatus(const DevicePlan& plan) {
    if (!plan.device) return QStringLiteral("not found");
    return plan.Changes() ? QStringLiteral("would change") : QStringLiteral("unchanged");
}

QJsonValue Name(const DevicePlan& plan) {
    if (plan.device) return plan.intended.Get(devrec::deviceName);
    return plan.entry->name ? QJsonValue(*plan.entry->name) : QJsonValue();
}

QJsonArray ChangesJson(const DevicePlan& plan) {
    QJsonArray changes;
    for (const inventory::SettingChange& change : PlanChanges(plan))
        changes.append(QJsonObject{{QStringLiteral("setting"), change.setting},
                                   {QStringLiteral("old"), change.old},
                                   {QStringLiteral("new"), change.now}});
    return changes;
}

QJsonObject DeviceJson(const DevicePlan& plan, const QString& address, const QString& status,
                       const QString& reason) {
    return QJsonObject{{QStringLiteral("mac"), NormalMac(plan.entry->mac)},
                       {QStringLiteral("name"), Name(plan)},
                       {QStringLiteral("address"), address.isEmpty() ? QJsonValue() : address},
                       {QStringLiteral("status"), status},
                       {QStringLiteral("reason"), reason.isEmpty() ? QJsonValue() : reason},
                       {QStringLiteral("changes"), ChangesJson(plan)}};
}

QString Json(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

const QString kLeftAlone = QStringLiteral("not in the inventory");

}  // namespace

std::vector<inventory::SettingChange> PlanChanges(const DevicePlan& plan) {
    std::vector<inventory::SettingChange> changes = plan.settingChanges;
    if (plan.upgrade)
        changes.push_back({QStringLiteral("firmware"),
                           plan.reportedVersion.isEmpty() ? QStringLiteral("(no status reply)")
                                                          : plan.reportedVersion,
                           plan.entry->firmware->version});
    if (plan.entry->port && plan.port.Any())
        changes.push_back({QStringLiteral("port"),
                           plan.port.before.isEmpty() ? QStringLiteral("(none)") : plan.port.before,
                           PortWork(*plan.entry->port, plan.port)});
    return changes;
}

QString FormatPlan(const Plan& plan, bool json) {
    if (json) {
        QJsonArray devices;
        for (const DevicePlan& one : plan.devices)
            devices.append(
                DeviceJson(one, one.device ? one.device->ip : QString(), PlanStatus(one), {}));
        for (const CliDevice& other : plan.others)
            devices.append(
                QJsonObject{{QStringLiteral("mac"), NormalMac(other.record.MacAddress())},
                            {QStringLiteral("name"), other.record.Get(devrec::deviceName)},
                            {QStringLiteral("address"), other.ip},
                            {QStringLiteral("status"), kLeftAlone},
                            {QStringLiteral("reason"), QStringLiteral("left alone")},
                            {QStringLiteral("changes"), QJsonArray()}});
        const bool changed = std::any_of(plan.devices.begin(), plan.devices.end(), WouldChange);
        return Json({{QStringLiteral("changed"), changed}, {QStringLiteral("devices"), devices}});
    }
    QString text;
    for (const DevicePlan& one : plan.devices) {
        text += QStringLiteral("%1 %2 %3\n")
                    .arg(inventory::MacText(one.entry->mac),
                         one.device ? one.device->ip : QStringLiteral("-"),
                         one.device ? PlanStatus(one) : QStringLiteral("not found by the search"));
        for (const inventory::SettingChange& change : PlanChanges(one))
            text += QStringLiteral("  %1\n").arg(change.Text());
    }
    for (const CliDevice& other : plan.others)
        text += QStringLiteral("%1 %2 %3 (left alone)\n").arg(other.mac, other.ip, kLeftAlone);
    return text;
}

QString FormatApplyJson(const Plan& plan, const std::vector<Outcome>& outcomes, bool interrupted) {
    QJsonArray devices;
    bool changed = false;
    bool failed = false;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const Outcome& outcome = outcomes[i];
        QJsonObject device = DeviceJson(
            plan.devices[i],
            outcome.result.device.ip == QLatin1String("-") ? QString() : outcome.result.device.ip,
            outcome.status, outcome.result.ok ? QString() : outcome.result.text);
        device[QStringLiteral("done")] = QJsonArray::fromStringList(outcome.done);
        devices.append(device);
        changed = changed || !outcome.done.isEmpty();
        failed = failed || !outcome.result.ok;
    }
    return Json({{QStringLiteral("changed"), changed},
                 {QStringLiteral("failed"), failed},
                 {QStringLiteral("interrupted"), interrupted},
                 {QStringLiteral("devices"), devices}});
}

QString FormatRefusedJson(const QStringList& problems) {
    return Json({{QStringLiteral("changed"), false},
                 {QStringLiteral("failed"), true},
                 {QStringLiteral("refused"), QJsonArray::fromStringList(problems)},
                 {QStringLiteral("devices"), QJsonArray()}});
}

}  // namespace fleet
