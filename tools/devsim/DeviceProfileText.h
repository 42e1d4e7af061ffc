#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "tools/devsim/DeviceProfile.h"

// Device descriptions as text, for the command line and the config file: one device per line,
// whitespace-separated key=value pairs, for example
//   name=Lab-01 mode=vcom dhcp=on link=1 late=400 tftp=ack0
// Keys: name mac addr mode role proto dhcp link listen dport dhost baud wifi restart silent
// late twice nomagic faults-for tftp blksize (the largest block its TFTP server takes) ack-delay
// (ms before each acknowledgement of a block) probe version upgrade-version modem tx rx
// upgrade-restart serial (echo, silent or close:N: what the serial line answers on the data port).
namespace devsim {

struct ParseResult {
    std::optional<DeviceProfile> profile;
    QString error;
};

// A number no greater than `max`.
std::optional<uint32_t> ParseUnsigned(const QString& text, uint32_t max, int base = 10);

// An address within 127.0.0.0/8 in any form inet_aton takes.
std::optional<uint32_t> ParseLoopback(const QString& text);

// Values the line leaves out come from `base`.
ParseResult ParseDeviceLine(const QString& line, const DeviceProfile& base);

// A config file's lines: blank lines and lines starting with '#' are skipped. The error names
// the line number. Device n of the result (counting from `first`) starts from base(n).
struct FileParseResult {
    std::vector<DeviceProfile> profiles;
    QString error;
};
using BaseProfile = std::function<DeviceProfile(int index)>;
FileParseResult ParseDeviceLines(const QStringList& lines, const BaseProfile& base, int first = 0);

// The --demo set: a handful of varied devices.
std::vector<DeviceProfile> DemoProfiles();

}  // namespace devsim
