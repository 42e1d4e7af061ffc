#include "app/HostInterface.h"

namespace {

constexpr char kNoSelection[] = "0.0.0.0";

QString ChooseAddress(const QStringList& addresses, VspDriverQueries& driver,
                      const QString& storedSelection, const ChooseInterface& choose) {
    if (addresses.size() == 1) return addresses.front();
    // Another address would cut off ports that are connected now: keep the stored one.
    if (driver.PortBusy() || driver.IsAnyPortConnected()) return storedSelection;
    // The address in use before is offered first, so that going on out of habit keeps it.
    const qsizetype stored = addresses.indexOf(storedSelection);
    const int preselected = static_cast<int>(stored >= 0 ? stored : addresses.size() - 1);
    const int index = choose(addresses, preselected);
    return addresses[index >= 0 && index < addresses.size() ? index : preselected];
}

}  // namespace

HostInterface SelectHostInterface(NetInterfaces& net, VspDriverQueries& driver,
                                  UserPrompts& prompts, QString& storedSelection,
                                  const ChooseInterface& choose) {
    HostInterface result;
    const auto addresses = net.HostAddresses();
    if (!addresses) {
        prompts.Inform(QString::fromLatin1(kHostLookupFailedText));
        return result;
    }
    if (addresses->isEmpty()) {
        prompts.Inform(QString::fromLatin1(kNoAdaptersText));
        return result;
    }
    if (storedSelection == QLatin1String(kNoSelection)) storedSelection = addresses->back();

    result.address = ChooseAddress(*addresses, driver, storedSelection, choose);

    // Only an adapter's first address is compared, as the adapter table lists it.
    const auto adapters = net.Adapters();
    if (adapters) {
        for (const AdapterInfo& adapter : *adapters) {
            if (adapter.address != result.address) continue;
            result.netmask = adapter.netmask;
            storedSelection = result.address;
            return result;
        }
    }
    prompts.Inform(QString::fromLatin1(kAdapterInfoFailedText));
    return result;
}
