#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "tools/devsim/DeviceProfile.h"
#include "tools/devsim/DeviceSimulator.h"

// The options of veltro-devsim.
namespace devsim {

struct CommandLine {
    SimulatorOptions simulator;
    std::vector<DeviceProfile> profiles;  // --demo, --config, --device in that order, then defaults
    bool quiet = false;
    bool help = false;
    bool version = false;
    QString helpText;
    QString error;
};

using ReadLines = std::function<std::optional<QStringList>(const QString& path)>;

// Arguments without the program name; `readFile` gives a config file's lines.
CommandLine ParseCommandLine(const QStringList& args, const ReadLines& readFile);

}  // namespace devsim
