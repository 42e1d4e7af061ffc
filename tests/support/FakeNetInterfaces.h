#pragma once

#include "platform/NetInterfaces.h"

// The host's interfaces as a test sets them.
class FakeNetInterfaces final : public NetInterfaces {
  public:
    std::optional<QStringList> hostAddresses = QStringList{};
    std::optional<std::vector<AdapterInfo>> adapters = std::vector<AdapterInfo>{};
    std::optional<std::vector<AdapterInfo>> subnets = std::vector<AdapterInfo>{};
    std::vector<uint32_t> mtus;

    std::optional<QStringList> HostAddresses() override { return hostAddresses; }
    std::optional<std::vector<AdapterInfo>> Adapters() override { return adapters; }
    std::optional<std::vector<AdapterInfo>> Subnets() override { return subnets; }
    std::vector<uint32_t> Mtus() override { return mtus; }
};
