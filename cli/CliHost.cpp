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
    if (!addresses->contains(chosen)) {
        host.error =
            QStringLiteral("%1 is not a host address (choose one of: %2)").arg(chosen, list);
        return host;
    }
    // Any of the host's addresses, not only an adapter's first: each has its own netmask.
    if (const auto subnets = net.Subnets())
        for (const AdapterInfo& subnet : *subnets)
            if (subnet.address == chosen) return {chosen, subnet.netmask, {}};
    host.error = QStringLiteral("no netmask known for %1").arg(chosen);
    return host;
}
