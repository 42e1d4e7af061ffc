#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

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

AdapterInfo Info(const ifaddrs* entry) {
    return {QString::fromLocal8Bit(entry->ifa_name), Dotted(entry->ifa_addr),
            entry->ifa_netmask ? Dotted(entry->ifa_netmask) : QString()};
}

std::vector<AdapterInfo> FirstAddresses(const ifaddrs* list) {
    std::vector<AdapterInfo> adapters;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!IsUpIpv4(entry)) continue;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        bool known = false;
        for (const auto& adapter : adapters) known = known || adapter.name == name;
        if (!known) adapters.push_back(Info(entry));
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

std::optional<std::vector<AdapterInfo>> LinuxNetInterfaces::Subnets() {
    IfAddrsPtr list = ReadIfAddrs();
    if (!list) return std::nullopt;
    std::vector<AdapterInfo> subnets;
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next)
        if (IsUpIpv4(entry)) subnets.push_back(Info(entry));
    return subnets;
}

std::vector<uint32_t> LinuxNetInterfaces::Mtus() {
    std::vector<uint32_t> mtus;
    IfAddrsPtr list = ReadIfAddrs();
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (!list || probe < 0) {
        if (probe >= 0) close(probe);
        return mtus;
    }
    std::set<std::string> seen;
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
        if (!seen.insert(entry->ifa_name).second) continue;
        ifreq request{};
        std::strncpy(request.ifr_name, entry->ifa_name, IFNAMSIZ - 1);
        if (ioctl(probe, SIOCGIFMTU, &request) == 0 && request.ifr_mtu > 0)
            mtus.push_back(static_cast<uint32_t>(request.ifr_mtu));
    }
    close(probe);
    return mtus;
}
