#include "cli/CliTargets.h"

#include <QRegularExpression>
#include <algorithm>

#include "protocol/Ipv4Address.h"

namespace {

const QString kNotSent = QStringLiteral("not sent");

}  // namespace

std::optional<CliMac> ParseMac(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9A-Fa-f]{2}([:-][0-9A-Fa-f]{2}){5}$"));
    if (!form.match(text).hasMatch()) return std::nullopt;
    CliMac mac{};
    const QStringList pairs = text.split(QRegularExpression(QStringLiteral("[:-]")));
    for (size_t i = 0; i < mac.size(); ++i)
        mac[i] = static_cast<uint8_t>(pairs[static_cast<qsizetype>(i)].toUInt(nullptr, 16));
    return mac;
}

std::optional<CliTarget> ParseTarget(const QString& text) {
    if (const auto ip = Ipv4Address::Parse(text))
        return CliTarget{text, ip->HostOrder(), std::nullopt};
    if (const auto mac = ParseMac(text)) return CliTarget{text, std::nullopt, mac};
    return std::nullopt;
}

QString NormalMac(const CliMac& mac) {
    return QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                             mac[4], mac[5]);
}

CliPlan::CliPlan(const CliSession& session, const std::vector<CliTarget>& targets) {
    const std::vector<CliDevice> listed = session.Devices();
    for (const CliTarget& target : targets) {
        std::vector<CliDevice> named;
        for (const CliDevice& device : listed)
            if (target.ip ? device.record.Get(devrec::currentIp) == *target.ip
                          : device.record.MacAddress() == *target.mac)
                named.push_back(device);
        if (named.size() == 1) {
            const CliMac mac = named.front().record.MacAddress();
            const bool known =
                std::any_of(results_.begin(), results_.end(), [&](const CliResult& r) {
                    return !r.device.mac.isEmpty() && r.device.record.MacAddress() == mac;
                });
            if (known) continue;
            const QString twins = session.WhyTwins(named.front());
            results_.push_back(
                {named.front(), false, twins.isEmpty() ? kNotSent : kNotSent + ": " + twins});
            pending_.push_back(twins.isEmpty());
            continue;
        }
        QString why = QStringLiteral("not found by the search");
        if (named.size() > 1) {
            QStringList macs;
            for (const CliDevice& device : named) macs << device.mac;
            why = QStringLiteral("%1 devices report this address (%2): name one by its MAC address")
                      .arg(named.size())
                      .arg(macs.join(QStringLiteral(", ")));
        }
        results_.push_back({{target.text, {}, {}}, false, why});
        pending_.push_back(false);
    }
}

std::vector<CliDevice> CliPlan::Devices() const {
    std::vector<CliDevice> devices;
    for (size_t i = 0; i < results_.size(); ++i)
        if (pending_[i]) devices.push_back(results_[i].device);
    return devices;
}

void CliPlan::Settle(const CliResult& result) {
    for (size_t i = 0; i < results_.size(); ++i) {
        if (!pending_[i] ||
            results_[i].device.record.MacAddress() != result.device.record.MacAddress())
            continue;
        results_[i] = result;
        pending_[i] = false;
        return;
    }
}

bool CliPlan::AllOk() const {
    return std::all_of(results_.begin(), results_.end(), [](const CliResult& r) { return r.ok; });
}
