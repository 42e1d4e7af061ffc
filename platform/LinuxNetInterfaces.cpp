#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>

#include "platform/NetInterfaces.h"
#include "platform/SocketAddress.h"

namespace {

struct IfAddrsDeleter {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using IfAddrsPtr = std::unique_ptr<ifaddrs, IfAddrsDeleter>;

IfAddrsPtr ReadIfAddrs() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return nullptr;
    return IfAddrsPtr(list);
}

QString Dotted(const sockaddr* address) {
    return QString::fromStdString(net::DottedText(*reinterpret_cast<const sockaddr_in*>(address)));
}

bool IsUpIpv4(const ifaddrs* entry) {
    return entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP);
}

std::vector<AdapterInfo> FirstAddresses(const ifaddrs* list) {
    std::vector<AdapterInfo> adapters;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!IsUpIpv4(entry)) continue;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        bool known = false;
        for (const auto& adapter : adapters) known = known || adapter.name == name;
        if (known) continue;
        adapters.push_back({name, Dotted(entry->ifa_addr),
                            entry->ifa_netmask ? Dotted(entry->ifa_netmask) : QString()});
    }
    return adapters;
}

}  // namespace

std::optional<QStringList> LinuxNetInterfaces::HostAddresses() {
    IfAddrsPtr list = ReadIfAddrs();
    if (!list) return std::nullopt;
    QStringList addresses;
    QStringList loopback;
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!IsUpIpv4(entry)) continue;
        ((entry->ifa_flags & IFF_LOOPBACK) ? loopback : addresses) << Dotted(entry->ifa_addr);
    }
    return addresses.isEmpty() ? loopback : addresses;
}

std::optional<std::vector<AdapterInfo>> LinuxNetInterfaces::Adapters() {
    IfAddrsPtr list = ReadIfAddrs();
    if (!list) return std::nullopt;
    return FirstAddresses(list.get());
}
