#pragma once

#include <QString>

#include "platform/NetInterfaces.h"

// The host address the command line binds to and its netmask for the subnet checks.
struct CliHost {
    QString address;
    QString netmask;
    QString error;  // set when no address could be chosen
};

// `bind` when it is one of the host's addresses; without it, the one address there is. With
// several addresses and no choice the error lists them.
CliHost ChooseCliHost(NetInterfaces& net, const QString& bind);
