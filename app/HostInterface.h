#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "platform/NetInterfaces.h"
#include "platform/UserPrompts.h"
#include "vsp/VspDriverQueries.h"

// The local address every socket binds to, and its netmask for the subnet checks.
struct HostInterface {
    QString address;  // empty when no address could be chosen
    QString netmask;  // empty when the adapter table did not yield it

    bool operator==(const HostInterface&) const = default;
};

// Shows the interface dialog with the entry at `preselected` selected and returns the index
// of the entry selected when it closed.
using ChooseInterface = std::function<int(const QStringList& addresses, int preselected)>;

inline constexpr char kHostLookupFailedText[] = "Host information lookup failed!";
inline constexpr char kNoAdaptersText[] = "Network adapters lookup failed!";
inline constexpr char kAdapterInfoFailedText[] =
    "Failed to retrieve the network adapter information!\r\n"
    "Please check if the adapter's IP address is configured properly.";

// Decides the host address once at start-up. With several addresses the user chooses,
// unless a virtual port is in use or cannot be checked: then the stored selection stands.
// storedSelection ("0.0.0.0" on a first start) becomes the chosen address on success.
HostInterface SelectHostInterface(NetInterfaces& net, VspDriverQueries& driver,
                                  UserPrompts& prompts, QString& storedSelection,
                                  const ChooseInterface& choose);
