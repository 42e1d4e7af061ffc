#include "cli/CliCommand.h"

#include <cstdio>

#include "cli/CliInterrupt.h"
#include "cli/CliPrompts.h"
#include "cli/CliSession.h"
#include "protocol/Message.h"
#include "upgrade/TftpClient.h"

namespace {

constexpr int kMaxSpeedup = 100;

const char* const kUsage =
    "Usage: veltroctl COMMAND [OPTIONS] [ARGUMENTS]\n"
    "The device manager on the command line.\n\n"
    "Commands:\n"
    "  search                      list the devices that answer a broadcast search\n"
    "  export DEVICE FILE          write a device's settings into a setting file\n"
    "                              (FILE - is standard output)\n"
    "  import DEVICE FILE          apply a device setting file to a device\n"
    "  reboot DEVICE...            reboot devices\n"
    "  restore DEVICE...           return devices to their default settings\n"
    "  upgrade FIRMWARE DEVICE...  push a firmware image into devices\n"
    "  plan INVENTORY              show what apply would change in an inventory's devices\n"
    "  apply INVENTORY | --plan FILE\n"
    "                              make the devices what an inventory (or a saved plan) says\n\n"
    "A DEVICE is its IP address (as the search lists it) or its MAC address.\n"
    "Every command takes --help; --version shows the version. Exit code 0 when every\n"
    "device succeeded, 1 when any failed or there was nothing to act on (a search that\n"
    "found no device), 2 on a wrong command line or firmware file; an interrupted upgrade\n"
    "or apply exits with 130.\n";

void Print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

void PrintOut(const QString& text) {
    Print(stdout, text);
}

// Opens the session and searches; null with the exit code reported when it cannot.
std::unique_ptr<CliSession> OpenAndSearch(const CliCommand& command, bool force, int waitMs,
                                          int& exitCode) {
    const std::optional<CliHost> host = command.Host();
    if (!host) {
        exitCode = kExitUsage;
        return nullptr;
    }
    auto session = std::make_unique<CliSession>(*host, force, command.Speedup());
    const QString error = session->Open(command.DevicePort());
    if (!error.isEmpty()) {
        PrintError(QStringLiteral("veltroctl %1: %2").arg(command.Name(), error));
        exitCode = kExitFailed;
        return nullptr;
    }
    if (RunStoppable([&] { session->Search(waitMs); })) {
        PrintError(QStringLiteral("veltroctl %1: interrupted during the search; nothing was sent")
                       .arg(command.Name()));
        exitCode = kExitInterrupted;
        return nullptr;
    }
    return session;
}

void RefuseNotOneHost(CliSession& session, CliPlan& plan) {
    for (const CliDevice& device : plan.Devices())
        if (const QString why = session.WhyNotOneHost(device); !why.isEmpty())
            plan.Settle({device, false, QStringLiteral("not sent: %1").arg(why)});
}

CliCommand::CliCommand(const QString& name, const QString& synopsis, const QString& description)
    : name_(name),
      help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")),
      bind_(QStringLiteral("bind"),
            QStringLiteral("Host address to use; needed when the host has several."),
            QStringLiteral("address")),
      json_(QStringLiteral("json"), QStringLiteral("Print the result as JSON.")),
      devicePortOption_(QStringLiteral("device-port"),
                        QStringLiteral("The devices' management port."), QStringLiteral("port"),
                        QString::number(msg::kDevicePort)),
      speedupOption_(QStringLiteral("speedup"),
                     QStringLiteral("Run the flows' timers this many times faster."),
                     QStringLiteral("factor"), QStringLiteral("1")) {
    devicePortOption_.setFlags(QCommandLineOption::HiddenFromHelp);
    speedupOption_.setFlags(QCommandLineOption::HiddenFromHelp);
    parser_.setApplicationDescription(description);
    parser_.addOptions({help_, bind_, json_, devicePortOption_, speedupOption_});
    synopsis_ = synopsis;
}

std::optional<int> CliCommand::Parse(const QStringList& args, qsizetype minPositional,
                                     qsizetype maxPositional) {
    if (!parser_.parse(QStringList{QStringLiteral("veltroctl")} + args))
        return Usage(parser_.errorText());
    if (parser_.isSet(help_)) {
        // Qt's first line names the binary's path and no subcommand.
        QString help = parser_.helpText();
        help.replace(0, help.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: veltroctl %1 [options] %2").arg(name_, synopsis_));
        Print(stdout, help);
        return kExitOk;
    }
    const qsizetype count = Positional().size();
    if (count < minPositional) return Usage(QStringLiteral("missing arguments"));
    if (maxPositional >= 0 && count > maxPositional)
        return Usage(QStringLiteral("unexpected argument \"%1\"").arg(Positional()[maxPositional]));
    bool ok = false;
    const uint32_t port = parser_.value(devicePortOption_).toUInt(&ok);
    if (!ok || port == 0 || port > kMaxPortNumber)
        return Usage(QStringLiteral("bad --device-port"));
    devicePort_ = static_cast<uint16_t>(port);
    speedup_ = parser_.value(speedupOption_).toInt(&ok);
    if (!ok || speedup_ < 1 || speedup_ > kMaxSpeedup)
        return Usage(QStringLiteral("bad --speedup"));
    return std::nullopt;
}

CliTransferOptions::CliTransferOptions(const QString& what)
    : parallelOption_(QStringLiteral("parallel"),
                      what + QStringLiteral(", 1 to %1 (default 4).").arg(kMaxParallel),
                      QStringLiteral("n"), QStringLiteral("4")),
      blockSizeOption_(QStringLiteral("block-size"),
                       QStringLiteral("Ask the devices for TFTP blocks of n bytes (%1 to %2; "
                                      "1428 fits an Ethernet frame). Each device's answer "
                                      "decides; one that does not answer the option gets 512.")
                           .arg(kTftpMinBlockSize)
                           .arg(kTftpMaxBlockSize),
                       QStringLiteral("n")),
      tftpPortOption_(QStringLiteral("tftp-port"), QStringLiteral("The devices' TFTP port."),
                      QStringLiteral("port"), QString::number(CTftpClient::kServerPort)) {
    tftpPortOption_.setFlags(QCommandLineOption::HiddenFromHelp);
}

std::optional<int> CliTransferOptions::Read(const CliCommand& command) {
    const QCommandLineParser& parser = command.Parser();
    bool ok = false;
    parallel_ = parser.value(parallelOption_).toInt(&ok);
    if (!ok || parallel_ < 1 || parallel_ > kMaxParallel)
        return command.Usage(QStringLiteral("bad --parallel: 1 to %1").arg(kMaxParallel));
    blockSize_ = 0;
    if (parser.isSet(blockSizeOption_)) {
        blockSize_ = parser.value(blockSizeOption_).toInt(&ok);
        if (!ok || blockSize_ < kTftpMinBlockSize || blockSize_ > kTftpMaxBlockSize)
            return command.Usage(QStringLiteral("bad --block-size"));
    }
    const uint32_t port = parser.value(tftpPortOption_).toUInt(&ok);
    if (!ok || port == 0 || port > kMaxPortNumber)
        return command.Usage(QStringLiteral("bad --tftp-port"));
    tftpPort_ = static_cast<uint16_t>(port);
    return std::nullopt;
}

std::optional<CliHost> CliCommand::Host() const {
    LinuxNetInterfaces net;
    const CliHost host = ChooseCliHost(net, parser_.value(bind_));
    if (!host.error.isEmpty()) {
        PrintError(QStringLiteral("veltroctl %1: %2").arg(name_, host.error));
        return std::nullopt;
    }
    return host;
}

std::optional<int> CliCommand::Targets(const QStringList& texts,
                                       std::vector<CliTarget>& targets) const {
    for (const QString& text : texts) {
        const std::optional<CliTarget> target = ParseTarget(text);
        if (!target)
            return Usage(
                QStringLiteral("\"%1\" is neither an IPv4 address nor a MAC address").arg(text));
        targets.push_back(*target);
    }
    return std::nullopt;
}

int CliCommand::Usage(const QString& text) const {
    PrintError(QStringLiteral("veltroctl %1: %2 (see veltroctl %1 --help)").arg(name_, text));
    return kExitUsage;
}

int RunCli(const QStringList& args) {
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("search")) return RunSearch(rest);
    if (command == QLatin1String("export")) return RunExport(rest);
    if (command == QLatin1String("import")) return RunImport(rest);
    if (command == QLatin1String("reboot")) return RunReboot(rest);
    if (command == QLatin1String("restore")) return RunRestore(rest);
    if (command == QLatin1String("upgrade")) return RunUpgrade(rest);
    if (command == QLatin1String("plan")) return RunPlan(rest);
    if (command == QLatin1String("apply")) return RunApply(rest);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        Print(stdout, QString::fromLatin1(kUsage));
        return kExitOk;
    }
    if (command == QLatin1String("--version")) {
        Print(stdout, QStringLiteral("veltroctl %1\n").arg(QLatin1String(VELTRO_VERSION)));
        return kExitOk;
    }
    Print(stderr, command.isEmpty()
                      ? QStringLiteral("veltroctl: no command\n")
                      : QStringLiteral("veltroctl: unknown command \"%1\"\n").arg(command));
    Print(stderr, QString::fromLatin1(kUsage));
    return kExitUsage;
}
