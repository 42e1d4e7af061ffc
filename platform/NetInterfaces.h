#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// One network adapter as the program compares it: its first IPv4 address and netmask.
struct AdapterInfo {
    QString name;
    QString address;  // dotted text
    QString netmask;  // dotted text
};

class NetInterfaces {
  public:
    virtual ~NetInterfaces() = default;
    // The host's IPv4 addresses as dotted text, in the kernel's order; nullopt when the
    // lookup fails.
    virtual std::optional<QStringList> HostAddresses() = 0;
    // Each adapter's first IPv4 address; nullopt when the table cannot be read.
    virtual std::optional<std::vector<AdapterInfo>> Adapters() = 0;
    // Every IPv4 address of the interfaces that are up, loopback included, with its netmask:
    // the subnets this host is on. nullopt when the table cannot be read.
    virtual std::optional<std::vector<AdapterInfo>> Subnets() = 0;
    // The MTU of each interface that is up and not loopback; empty when there is none.
    virtual std::vector<uint32_t> Mtus() = 0;
};

// getifaddrs: interfaces that are up, loopback left out unless nothing else has an address.
class LinuxNetInterfaces final : public NetInterfaces {
  public:
    std::optional<QStringList> HostAddresses() override;
    std::optional<std::vector<AdapterInfo>> Adapters() override;
    std::optional<std::vector<AdapterInfo>> Subnets() override;
    std::vector<uint32_t> Mtus() override;
};
