#include "cli/CliHost.h"

CliHost ChooseCliHost(NetInterfaces& net, const QString& bind) {
    CliHost host;
    const auto addresses = net.HostAddresses();
    if (!addresses || addresses->isEmpty()) {
        host.error = QStringLiteral("no IPv4 address on this host");
        return host;
    }
    const QString list = addresses->join(QStringLiteral(", "));
    if (bind.isEmpty() && addresses->size() > 1) {
        host.error =
            QStringLiteral("several host addresses (%1): choose one with --bind").arg(list);
        return host;
    }
    const QString chosen = bind.isEmpty() ? addresses->front() : bind;
    const auto adapters = net.Adapters();
    // As the program does: only an adapter's first address is compared.
    if (adapters)
        for (const AdapterInfo& adapter : *adapters)
            if (adapter.address == chosen) return {chosen, adapter.netmask, {}};
    host.error =
        addresses->contains(chosen)
            ? QStringLiteral(
                  "no netmask known for %1 (not an adapter's first address; "
                  "choose one of: %2)")
                  .arg(chosen, list)
            : QStringLiteral("%1 is not a host address (choose one of: %2)").arg(chosen, list);
    return host;
}
