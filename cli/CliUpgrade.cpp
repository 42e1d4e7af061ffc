#include "cli/CliUpgrade.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <cstdio>

#include "cli/CliInterrupt.h"
#include "cli/CliTftpEndpoint.h"
#include "protocol/Ipv4Address.h"

namespace {

constexpr int kWakeMs = 20;
constexpr int kRedrawMs = 200;
constexpr int kPercent = 100;
// Off a terminal a transfer's progress is a line each time it passes this share.
constexpr int kPlainStepPercent = 25;

// The log lines that say why a transfer ended.
bool IsFailureLine(const QString& line) {
    return line.startsWith(QLatin1String("TFTP_ERROR")) ||
           line.startsWith(QLatin1String("TFTP Retry Timeout")) ||
           line.startsWith(QLatin1String("Send WRQ, Err")) ||
           line.startsWith(QLatin1String("No upgrade sent"));
}

}  // namespace

struct CliUpgrade::Job {
    enum class State { kQueued, kSending, kRestarting, kDone };

    CliDevice device;
    std::unique_ptr<CliPrompts> prompts;
    CliTftpEndpoint* endpoint = nullptr;  // owned by the client
    std::unique_ptr<CTftpClient> client;
    State state = State::kQueued;
    bool ended = false;
    bool finished = false;
    int64_t sent = 0;  // bytes the device acknowledged
    QString failure;   // the log line that ended the transfer
    int64_t endedAt = 0;
    QDeadlineTimer restartDeadline;
    CliRestartWatch restart;
    QString shown;  // the last plain progress line
    CliResult result;
};

CliUpgrade::CliUpgrade(CliSession& session, Settings settings)
    : session_(session), settings_(std::move(settings)) {}

CliUpgrade::~CliUpgrade() = default;

std::vector<CliResult> CliUpgrade::Run(const std::vector<CliDevice>& devices) {
    for (const CliDevice& device : devices) Add(device);
    QTimer wake;
    wake.start(kWakeMs);
    while (!AllDone()) {
        if (StopRequested()) {
            Cancel();
            break;
        }
        Poll();
        if (!AllDone()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    ShowProgress(true);
    std::vector<CliResult> results;
    for (const auto& job : jobs_) results.push_back(job->result);
    return results;
}

size_t CliUpgrade::Add(const CliDevice& device) {
    if (!clock_.isValid()) clock_.start();
    auto job = std::make_unique<Job>();
    job->device = device;
    job->result = {device, false, QStringLiteral("not started")};
    jobs_.push_back(std::move(job));
    return jobs_.size() - 1;
}

void CliUpgrade::Poll() {
    StartJobs();
    for (auto& job : jobs_) Step(*job);
    CheckRestarts();
    ShowProgress(false);
}

bool CliUpgrade::Done(size_t index) const {
    return jobs_.at(index)->state == Job::State::kDone;
}

const CliResult& CliUpgrade::Result(size_t index) const {
    return jobs_.at(index)->result;
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
    const uint32_t device = job.device.record.Get(devrec::currentIp);
    auto endpoint = std::make_unique<CliTftpEndpoint>(device);
    job.endpoint = endpoint.get();
    job.client = std::make_unique<CTftpClient>(
        transferTimers_, *job.prompts,
        [&job](const QString& line) {
            if (IsFailureLine(line)) job.failure = line;
        },
        std::move(endpoint));
    job.client->SetServerPort(settings_.tftpPort);
    job.client->SetBlockSize(settings_.blockSize);
    QObject::connect(job.client.get(), &CTftpClient::buttonsEnabled, [&job](bool enabled) {
        if (enabled) job.ended = true;
    });
    QObject::connect(job.client.get(), &CTftpClient::progressed,
                     [&job](const TftpProgress& progress) { job.sent = progress.sent; });
    QObject::connect(job.client.get(), &CTftpClient::upgradeFinished,
                     [&job] { job.finished = true; });
    job.state = Job::State::kSending;
    if (!job.client->Start(
            settings_.imagePath, device,
            Ipv4Address::Parse(session_.HostAddress()).value_or(Ipv4Address()).HostOrder())) {
        const bool boxShown = job.failure.isEmpty();
        Settle(job, false, boxShown ? job.prompts->LastText() : job.failure);
    }
}

void CliUpgrade::Step(Job& job) {
    if (job.state != Job::State::kSending || !job.ended) return;
    if (!job.finished) {
        Settle(job, false, job.failure.isEmpty() ? QStringLiteral("transfer failed") : job.failure);
        return;
    }
    if (!settings_.watchRestart) {
        Settle(job, true, QStringLiteral("sent"));
        return;
    }
    job.state = Job::State::kRestarting;
    job.endedAt = clock_.elapsed();
    job.restartDeadline.setRemainingTime(session_.Scaled(CliSession::kRestartDeadlineMs));
}

// Searches while a device waits for its restart; each search that started after its transfer
// ended gives two looks (CliRestartWatch): early in it and at its end.
void CliUpgrade::CheckRestarts() {
    bool waiting = false;
    for (const auto& job : jobs_) waiting = waiting || job->state == Job::State::kRestarting;
    if (!waiting) return;
    if (session_.Searching()) {
        if (lookedEarly_ ||
            clock_.elapsed() - searchStartedAt_ < session_.Scaled(CliSession::kEarlyLookMs))
            return;
        lookedEarly_ = true;
        Look();
        return;
    }
    Look();
    for (auto& job : jobs_)
        if (job->state == Job::State::kRestarting && job->restartDeadline.hasExpired())
            Settle(*job, false, job->restart.Failure());
    searchStartedAt_ = clock_.elapsed();
    lookedEarly_ = false;
    session_.Controller().StartSearch();
}

void CliUpgrade::Look() {
    for (auto& job : jobs_) {
        if (job->state != Job::State::kRestarting || searchStartedAt_ < job->endedAt) continue;
        job->restart.Searched(session_.Listed(job->device.record));
        if (job->restart.back) Settle(*job, true, QStringLiteral("upgraded"));
    }
}

void CliUpgrade::Cancel() {
    cancelled_ = true;
    // A transfer that ended whole since the last Poll is sent, not cancelled.
    for (auto& job : jobs_) Step(*job);
    for (auto& job : jobs_) {
        if (job->state == Job::State::kSending) {
            job->endpoint->SendCancel();
            job->client.reset();
            Settle(*job, false, QStringLiteral("cancelled during the transfer"));
        } else if (job->state == Job::State::kRestarting) {
            Settle(*job, false, QStringLiteral("sent; cancelled before its restart was seen"));
        }
    }
}

// The result line tells the end, once.
void CliUpgrade::Settle(Job& job, bool ok, const QString& text) {
    job.state = Job::State::kDone;
    job.result.ok = ok;
    job.result.text = text;
}

QString CliUpgrade::ProgressText(const Job& job, int step) const {
    const int64_t size = settings_.imageSize;
    int64_t percent = size > 0 ? job.sent * kPercent / size : kPercent;
    percent -= percent % step;
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
// state changes or its transfer passes another quarter, flushed at once so that a pipe or file sees
// each device end.
void CliUpgrade::ShowProgress(bool force) {
    FILE* out = settings_.progress;
    if (settings_.terminal) {
        if (!force && shownAt_ >= 0 && clock_.elapsed() - shownAt_ < kRedrawMs) return;
        shownAt_ = clock_.elapsed();
        if (linesShown_ > 0) std::fprintf(out, "\033[%dA", linesShown_);
        for (const auto& job : jobs_)
            std::fprintf(out, "\033[2K%s\n",
                         Printable(job->device.ip + QLatin1Char(' ') + ProgressText(*job))
                             .toLocal8Bit()
                             .constData());
        linesShown_ = static_cast<int>(jobs_.size());
        std::fflush(out);
        return;
    }
    bool wrote = false;
    for (auto& job : jobs_) {
        const QString text =
            job->device.ip + QLatin1Char(' ') + ProgressText(*job, kPlainStepPercent);
        // Where the results follow on the same stream, they tell a device's end.
        if (text == job->shown || (job->state == Job::State::kDone && out == stdout)) continue;
        job->shown = text;
        std::fprintf(out, "%s\n", Printable(text).toLocal8Bit().constData());
        wrote = true;
    }
    if (wrote) std::fflush(out);
}
