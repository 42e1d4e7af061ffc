#include "tools/devsim/SimCommandLine.h"

#include <QCommandLineParser>

#include "protocol/Ipv4Address.h"
#include "tools/devsim/DeviceProfileText.h"

namespace devsim {

namespace {

constexpr size_t kDefaultDeviceCount = 4;
constexpr uint32_t kMaxDevices = 65000;
constexpr uint32_t kMaxRestartMs = 3600000;

const char* const kKeysHelp =
    "\nDevice keys (--device and --config lines): name mac addr mode role proto dhcp link\n"
    "listen dport dhost baud wifi restart upgrade-restart tftp blksize ack-delay probe silent\n"
    "late twice nomagic faults-for version upgrade-version modem tx rx serial (echo, silent,\n"
    "close:N)\n";

struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help."};
    QCommandLineOption version{"version", "Show the version."};
    QCommandLineOption count{{"n", "devices"}, "Total number of devices.", "count"};
    QCommandLineOption base{"base", "First device address (127.x.y.z).", "address",
                            Ipv4Address(kDefaultBaseAddress).ToString()};
    QCommandLineOption device{"device", "One device as key=value pairs (repeatable).", "profile"};
    QCommandLineOption config{"config", "File with one device per line.", "file"};
    QCommandLineOption demo{"demo", "A handful of varied devices."};
    QCommandLineOption restart{"restart-ms", "Default restart time.", "ms",
                               QString::number(kDefaultRestartMs)};
    QCommandLineOption upgradeVersion{
        "upgrade-version", "Version reported after a whole image was written.", "version"};
    QCommandLineOption managementPort{"management-port", "Device management port.", "port",
                                      QString::number(msg::kDevicePort)};
    QCommandLineOption probePort{"probe-port", "Device probe port.", "port",
                                 QString::number(msg::kDeviceProbePort)};
    QCommandLineOption tftpPort{"tftp-port", "Device TFTP port.", "port",
                                QString::number(kTftpPort)};
    QCommandLineOption noTftp{"no-tftp", "Do not open TFTP servers."};
    QCommandLineOption quiet{{"q", "quiet"}, "Log nothing once the devices are up."};

    void AddTo(QCommandLineParser& p) const {
        p.addOptions({help, version, count, base, device, config, demo, restart, upgradeVersion,
                      managementPort, probePort, tftpPort, noTftp, quiet});
    }
};

// The simulator's options and the default restart time; the option whose value is bad, or
// empty.
QString ReadGlobals(const QCommandLineParser& p, const Options& o, CommandLine& out,
                    int& restartMs) {
    const auto base = ParseLoopback(p.value(o.base));
    const auto restart = ParseUnsigned(p.value(o.restart), kMaxRestartMs);
    const auto m = ParseUnsigned(p.value(o.managementPort), 0xFFFF);
    const auto pp = ParseUnsigned(p.value(o.probePort), 0xFFFF);
    const auto t = ParseUnsigned(p.value(o.tftpPort), 0xFFFF);
    const std::pair<bool, const QCommandLineOption&> checks[] = {{base.has_value(), o.base},
                                                                 {restart.has_value(), o.restart},
                                                                 {m.has_value(), o.managementPort},
                                                                 {pp.has_value(), o.probePort},
                                                                 {t.has_value(), o.tftpPort}};
    for (const auto& [ok, option] : checks)
        if (!ok) return option.names().constLast();
    out.simulator = {*base, static_cast<uint16_t>(*m), static_cast<uint16_t>(*pp),
                     static_cast<uint16_t>(*t), !p.isSet(o.noTftp)};
    out.quiet = p.isSet(o.quiet);
    restartMs = static_cast<int>(*restart);
    return {};
}

// Appends the devices that --demo, --config and --device describe; the error text or empty.
QString ReadProfiles(const QCommandLineParser& p, const Options& o, const ReadLines& readFile,
                     const BaseProfile& base, std::vector<DeviceProfile>& profiles) {
    if (p.isSet(o.demo))
        for (DeviceProfile s : DemoProfiles()) {
            s.restartMs = base(0).restartMs;
            profiles.push_back(s);
        }
    for (const QString& file : p.values(o.config)) {
        const auto content = readFile(file);
        if (!content) return QStringLiteral("cannot read %1").arg(file);
        const FileParseResult r =
            ParseDeviceLines(*content, base, static_cast<int>(profiles.size()));
        if (!r.error.isEmpty()) return QStringLiteral("%1: %2").arg(file, r.error);
        profiles.insert(profiles.end(), r.profiles.begin(), r.profiles.end());
    }
    for (const QString& line : p.values(o.device)) {
        const ParseResult r = ParseDeviceLine(line, base(static_cast<int>(profiles.size())));
        if (!r.profile) return QStringLiteral("--device %1: %2").arg(line, r.error);
        profiles.push_back(*r.profile);
    }
    return {};
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& args, const ReadLines& readFile) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulates VTM5800x device servers on loopback addresses."));
    const Options o;
    o.AddTo(parser);
    CommandLine out;
    if (!parser.parse(QStringList{QStringLiteral("veltro-devsim")} + args)) {
        out.error = parser.errorText();
        return out;
    }
    // Qt's usage line names the path the program was started by.
    out.helpText = parser.helpText();
    out.helpText.replace(0, out.helpText.indexOf(QLatin1Char('\n')),
                         QStringLiteral("Usage: veltro-devsim [options]"));
    out.helpText += QLatin1String(kKeysHelp);
    out.help = parser.isSet(o.help);
    out.version = parser.isSet(o.version);
    if (!parser.positionalArguments().isEmpty()) {
        out.error =
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments()[0]);
        return out;
    }
    int restartMs = 0;
    const auto total = ParseUnsigned(parser.value(o.count), kMaxDevices);
    QString bad = ReadGlobals(parser, o, out, restartMs);
    if (bad.isEmpty() && parser.isSet(o.count) && !total) bad = o.count.names().constLast();
    if (!bad.isEmpty()) {
        out.error = QStringLiteral("bad value for --%1").arg(bad);
        return out;
    }
    const QString upgradeVersion = parser.value(o.upgradeVersion);
    const BaseProfile base = [restartMs, upgradeVersion](int index) {
        DeviceProfile s = DefaultProfile(index);
        s.restartMs = restartMs;
        s.upgradeVersion = upgradeVersion;
        return s;
    };
    out.error = ReadProfiles(parser, o, readFile, base, out.profiles);
    if (!out.error.isEmpty()) return out;
    const size_t wanted =
        parser.isSet(o.count) ? *total : (out.profiles.empty() ? kDefaultDeviceCount : 0);
    while (out.profiles.size() < wanted)
        out.profiles.push_back(base(static_cast<int>(out.profiles.size())));
    return out;
}

}  // namespace devsim
