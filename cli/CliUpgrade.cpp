#include "cli/CliUpgrade.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "protocol/Address.h"

namespace {

constexpr int kMaxParallel = 64;
constexpr int kWakeMs = 20;
constexpr int kRedrawMs = 200;
constexpr int kPercent = 100;

const QString kAckPrefix = QStringLiteral("TFTP_ACK ,#BLK : ");

// The log lines that say why a transfer ended.
bool IsFailureLine(const QString& line) {
    return line.startsWith(QLatin1String("TFTP_ERROR")) ||
           line.startsWith(QLatin1String("TFTP Retry Timeout")) ||
           line.startsWith(QLatin1String("Send WRQ, Err"));
}

}  // namespace

struct CliUpgrade::Job {
    enum class State { kQueued, kSending, kRestarting, kDone };

    CliDevice device;
    std::unique_ptr<CliPrompts> prompts;
    std::unique_ptr<CTftpClient> client;
    State state = State::kQueued;
    bool ended = false;
    bool finished = false;
    int64_t blocks = 0;
    QString failure;  // the log line that ended the transfer
    int64_t endedAt = 0;
    QDeadlineTimer restartDeadline;
    QString shown;  // the last plain progress line
    CliResult result;
};

CliUpgrade::CliUpgrade(CliSession& session, Settings settings)
    : session_(session), settings_(std::move(settings)) {}

CliUpgrade::~CliUpgrade() = default;

std::vector<CliResult> CliUpgrade::Run(const std::vector<CliDevice>& devices) {
    imageSize_ = QFileInfo(settings_.imagePath).size();
    clock_.start();
    for (const CliDevice& device : devices) {
        auto job = std::make_unique<Job>();
        job->device = device;
        job->result = {device, false, QStringLiteral("not started")};
        jobs_.push_back(std::move(job));
    }
    QTimer wake;
    wake.start(kWakeMs);
    while (!AllDone()) {
        StartJobs();
        for (auto& job : jobs_) Step(*job);
        CheckRestarts();
        ShowProgress(false);
        if (!AllDone()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    ShowProgress(true);
    std::vector<CliResult> results;
    for (const auto& job : jobs_) results.push_back(job->result);
    return results;
}

bool CliUpgrade::AllDone() const {
    for (const auto& job : jobs_)
        if (job->state != Job::State::kDone) return false;
    return true;
}

void CliUpgrade::StartJobs() {
    int busy = 0;
    for (const auto& job : jobs_)
        busy += job->state == Job::State::kSending || job->state == Job::State::kRestarting;
    for (auto& job : jobs_) {
        if (busy >= settings_.parallel) return;
        if (job->state != Job::State::kQueued) continue;
        Start(*job);
        busy += job->state != Job::State::kDone;
    }
}

void CliUpgrade::Start(Job& job) {
    job.prompts = std::make_unique<CliPrompts>(job.device.ip);
    job.client =
        std::make_unique<CTftpClient>(session_.Timers(), *job.prompts, [&job](const QString& line) {
            if (line.startsWith(kAckPrefix)) job.blocks = line.mid(kAckPrefix.size()).toLongLong();
            if (IsFailureLine(line)) job.failure = line;
        });
    job.client->SetServerPort(settings_.tftpPort);
    QObject::connect(job.client.get(), &CTftpClient::buttonsEnabled, [&job](bool enabled) {
        if (enabled) job.ended = true;
    });
    QObject::connect(job.client.get(), &CTftpClient::upgradeFinished,
                     [&job] { job.finished = true; });
    job.state = Job::State::kSending;
    if (!job.client->Start(settings_.imagePath, InetAddr(job.device.ip),
                           InetAddr(session_.HostAddress())))
        Settle(job, false, job.prompts->LastText(), false);
}

void CliUpgrade::Step(Job& job) {
    if (job.state != Job::State::kSending || !job.ended) return;
    if (!job.finished) {
        Settle(job, false, job.failure.isEmpty() ? QStringLiteral("transfer failed") : job.failure);
        return;
    }
    job.state = Job::State::kRestarting;
    job.endedAt = clock_.elapsed();
    job.restartDeadline.setRemainingTime(session_.Scaled(CliSession::kRestartDeadlineMs));
}

// Searches while a device waits for its restart: a search that started after its transfer
// ended and lists its MAC address shows it came back.
void CliUpgrade::CheckRestarts() {
    bool waiting = false;
    for (const auto& job : jobs_) waiting = waiting || job->state == Job::State::kRestarting;
    if (!waiting || session_.Timers().IsRunning(&session_.Controller(), DmController::kSearchTimer))
        return;
    const std::vector<CliDevice> listed = session_.Devices();
    for (auto& job : jobs_) {
        if (job->state != Job::State::kRestarting) continue;
        const bool searchedSince = searchStartedAt_ >= job->endedAt;
        bool back = false;
        for (const CliDevice& device : listed) back = back || device.mac == job->device.mac;
        if (searchedSince && back)
            Settle(*job, true, QStringLiteral("upgraded"));
        else if (job->restartDeadline.hasExpired())
            Settle(*job, false, QStringLiteral("did not come back after the upgrade"));
    }
    searchStartedAt_ = clock_.elapsed();
    session_.Controller().StartSearch();
}

void CliUpgrade::Settle(Job& job, bool ok, const QString& text, bool report) {
    job.state = Job::State::kDone;
    job.result.ok = ok;
    job.result.text = text;
    if (!ok && report) PrintError(QStringLiteral("%1: %2").arg(job.device.ip, text));
}

QString CliUpgrade::ProgressText(const Job& job) const {
    const int64_t sent = std::min(job.blocks * kTftpBlockSize, imageSize_);
    const int64_t percent = imageSize_ > 0 ? sent * kPercent / imageSize_ : kPercent;
    switch (job.state) {
        case Job::State::kQueued:
            return QStringLiteral("waiting");
        case Job::State::kSending:
            return QStringLiteral("sending %1%").arg(percent);
        case Job::State::kRestarting:
            return QStringLiteral("sent, waiting for the restart");
        case Job::State::kDone:
            break;
    }
    return job.result.ok ? job.result.text : QStringLiteral("FAILED: ") + job.result.text;
}

// On a terminal one line per device, redrawn in place; otherwise a line whenever a device's
// state changes.
void CliUpgrade::ShowProgress(bool force) {
    FILE* out = settings_.progress;
    if (settings_.terminal) {
        if (!force && shownAt_ >= 0 && clock_.elapsed() - shownAt_ < kRedrawMs) return;
        shownAt_ = clock_.elapsed();
        if (linesShown_ > 0) std::fprintf(out, "\033[%dA", linesShown_);
        for (const auto& job : jobs_)
            std::fprintf(out, "\033[2K%s %s\n", job->device.ip.toLocal8Bit().constData(),
                         ProgressText(*job).toLocal8Bit().constData());
        linesShown_ = static_cast<int>(jobs_.size());
        std::fflush(out);
        return;
    }
    for (auto& job : jobs_) {
        const QString text = job->device.ip + QLatin1Char(' ') + ProgressText(*job);
        if (job->state == Job::State::kSending && job->blocks > 0) continue;
        if (text == job->shown) continue;
        job->shown = text;
        std::fprintf(out, "%s\n", text.toLocal8Bit().constData());
    }
    std::fflush(out);
}

int RunUpgrade(const QStringList& args) {
    CliCommand command(QStringLiteral("upgrade"), QStringLiteral("FIRMWARE IP..."),
                       QStringLiteral("Pushes a firmware image into devices, several at a time, "
                                      "each until it answers again after its restart."));
    QCommandLineOption parallel(QStringLiteral("parallel"),
                                QStringLiteral("Devices upgraded at a time (default 4)."),
                                QStringLiteral("n"), QStringLiteral("4"));
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Go on when a device is outside the host's subnet."));
    QCommandLineOption tftpPort(QStringLiteral("tftp-port"),
                                QStringLiteral("The devices' TFTP port."), QStringLiteral("port"),
                                QString::number(CTftpClient::kServerPort));
    tftpPort.setFlags(QCommandLineOption::HiddenFromHelp);
    command.Parser().addOptions({parallel, force, tftpPort});
    if (auto code = command.Parse(args, 2, -1)) return *code;
    bool ok = false;
    const int n = command.Parser().value(parallel).toInt(&ok);
    if (!ok || n < 1 || n > kMaxParallel) return command.Usage(QStringLiteral("bad --parallel"));
    const uint32_t port = command.Parser().value(tftpPort).toUInt(&ok);
    if (!ok || port == 0 || port > 0xFFFF) return command.Usage(QStringLiteral("bad --tftp-port"));
    int exitCode = kExitOk;
    const bool forced = command.Parser().isSet(force);
    auto session = OpenAndSearch(command, forced, 0, exitCode);
    if (!session) return exitCode;
    std::vector<CliResult> results;
    std::vector<CliDevice> devices;
    for (const CliDevice& device : Lookup(*session, command.Positional().mid(1), results)) {
        session->Prompter().SetPrefix(device.ip);
        if (session->Controller().SubnetCheck(device.record, DmSubnetWarning::kUpgrade))
            devices.push_back(device);
        else
            results.push_back(
                {device, false, QStringLiteral("outside the host's subnet (--force)")});
    }
    session->Prompter().SetPrefix({});
    // Progress goes where the results go, unless they are JSON.
    FILE* progress = command.Json() ? stderr : stdout;
    CliUpgrade upgrade(*session, {command.Positional()[0], n, static_cast<uint16_t>(port), progress,
                                  isatty(fileno(progress)) != 0});
    const std::vector<CliResult> done = upgrade.Run(devices);
    results.insert(results.end(), done.begin(), done.end());
    results = InArgumentOrder(std::move(results), command.Positional().mid(1));
    int upgraded = 0;
    for (const CliResult& result : results) upgraded += result.ok;
    PrintOut(FormatResults(results, command.Json()));
    PrintError(QStringLiteral("upgraded %1 of %2 devices").arg(upgraded).arg(results.size()));
    return upgraded == static_cast<int>(results.size()) ? kExitOk : kExitFailed;
}
