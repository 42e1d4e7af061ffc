#include "cli/FleetApply.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliInterrupt.h"
#include "cli/CliPrompts.h"
#include "cli/CliRestartCheck.h"
#include "cli/FleetPorts.h"
#include "monitor/StatusReply.h"
#include "protocol/Message.h"

namespace fleet {

namespace {

// The event loop is woken this often to look at the devices' steps.
constexpr int kWakeMs = 20;

}  // namespace

enum class FleetApply::Step {
    kQueued,
    kSetup,        // the setup command sent each tick until the device replied
    kSetupBack,    // searches until it reports the intended record
    kUpgrade,      // the image being sent
    kUpgradeBack,  // status queries until it reports the wanted version
    kDone,
};

struct FleetApply::Job {
    const DevicePlan* plan = nullptr;
    CliDevice device;  // as the device last reported itself
    Step step = Step::kQueued;
    bool started = false;
    bool failed = false;
    QString failure;
    QStringList done;      // the steps proven
    int64_t stepAt = 0;    // when the step began
    int64_t sentAt = 0;    // the last setup command or status query
    int sends = 0;         // setup commands sent
    bool replied = false;  // to the setup command
    QDeadlineTimer deadline;
    QStringList notTaken;  // what the last search showed differing from the intended record
    bool recordShown = false;
    QString version;  // reported after the upgrade
    CliUpgrade* upgrade = nullptr;
    size_t upgradeIndex = 0;

    bool Restarts() const { return plan->setup || plan->upgrade; }
    void Fail(const QString& text) {
        failed = true;
        failure = text;
        step = Step::kDone;
        PrintError(QStringLiteral("%1: %2").arg(device.ip, text));
    }
};

FleetApply::FleetApply(CliSession& session, CVspDriver& driver, VspInstallService& installer,
                       Settings settings)
    : session_(session), driver_(driver), installer_(installer), settings_(settings) {}

FleetApply::~FleetApply() = default;

std::vector<Outcome> FleetApply::Run(const Plan& plan) {
    clock_.start();
    for (const DevicePlan& one : plan.devices) {
        auto job = std::make_unique<Job>();
        job->plan = &one;
        if (one.device) {
            job->device = *one.device;
        } else {
            job->device = {QStringLiteral("-"), inventory::MacText(one.entry->mac), {}};
            job->device.record.SetMacAddress(one.entry->mac);
        }
        if (!one.device || !one.Changes()) job->step = Step::kDone;
        jobs_.push_back(std::move(job));
    }
    CBroadcastSocket& socket = session_.BroadcastSocket();
    // Replies other than the setups' go where the session sends them (it also notes MAC twins).
    socket.SetDeviceManagerHandler([this](const ReceivedDatagram& datagram) {
        if (datagram.Command() != msg::kSetupReply) return session_.HandleReply(datagram);
        if (datagram.length < msg::kRecordSize) return;
        if (const auto reply = DeviceConfigRecord::FromBytes(datagram.slot)) OnSetupReply(*reply);
    });
    socket.SetMonitorHandler([this](const ReceivedDatagram& datagram) {
        const auto reply = StatusReply::Decode(datagram.slot.first(
            static_cast<size_t>(std::min<int>(datagram.length, datagram.slot.size()))));
        if (reply)
            OnStatusReply(QHostAddress(datagram.sender.toIPv4Address()).toString(),
                          QString::fromLatin1(reply->firmwareVersion));
    });
    // Its searches look for devices that restart: finding none at a time is no news.
    session_.Prompter().Mute(QStringLiteral("No devices found!"));
    QTimer wake;
    wake.start(kWakeMs);
    while (!Finished()) {
        if (StopRequested()) {
            Interrupt();
            break;
        }
        StartJobs();
        for (auto& [image, upgrade] : upgrades_) upgrade->Poll();
        for (auto& job : jobs_) Advance(*job);
        Searches();
        if (!Finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    socket.SetMonitorHandler(nullptr);
    socket.SetDeviceManagerHandler(
        [this](const ReceivedDatagram& datagram) { session_.HandleReply(datagram); });
    std::vector<Outcome> outcomes;
    for (const auto& job : jobs_) outcomes.push_back(OutcomeOf(*job));
    return outcomes;
}

bool FleetApply::Finished() const {
    return std::all_of(jobs_.begin(), jobs_.end(),
                       [](const auto& job) { return job->step == Step::kDone; });
}

void FleetApply::StartJobs() {
    int busy = 0;
    for (const auto& job : jobs_) busy += job->started && job->step != Step::kDone;
    for (auto& job : jobs_) {
        if (busy >= settings_.parallel) return;
        if (job->step != Step::kQueued) continue;
        job->started = true;
        ++busy;
        Next(*job);
        busy -= job->step == Step::kDone;
    }
}

// The next step of the device after the one it finished, or its first.
void FleetApply::Next(Job& job) {
    const DevicePlan& plan = *job.plan;
    switch (job.step) {
        case Step::kQueued:
            if (job.Restarts()) {
                // What the device manager checks before it sends anything to a device.
                if (const QString why = session_.WhyNotOneHost(job.device); !why.isEmpty())
                    return job.Fail(QStringLiteral("not sent: %1").arg(why));
                session_.Prompter().SetPrefix(job.device.ip);
                const bool near = session_.Controller().SubnetCheck(
                    job.device.record,
                    plan.setup ? DmSubnetWarning::kDeviceManager : DmSubnetWarning::kUpgrade);
                session_.Prompter().SetPrefix({});
                if (!near) return job.Fail(QStringLiteral("outside the host's subnet (--force)"));
            }
            if (plan.setup) return Begin(job, Step::kSetup);
            [[fallthrough]];
        case Step::kSetupBack:
            if (plan.upgrade) return Begin(job, Step::kUpgrade);
            [[fallthrough]];
        default:
            break;
    }
    // The port is the last step and is made at once.
    job.step = Step::kDone;
    if (plan.entry->port && plan.port.Any()) {
        const QString failure = MapPort(driver_, installer_, *plan.entry->port, plan.port);
        if (!failure.isEmpty()) return job.Fail(failure);
        job.done << QStringLiteral("port %1").arg(plan.entry->port->com);
    }
    // Each device's end as it comes, where the failures go too.
    const CliResult result = OutcomeOf(job).result;
    std::fprintf(settings_.progress, "%s\n",
                 Printable(QStringLiteral("%1 %2").arg(result.device.ip, result.text))
                     .toLocal8Bit()
                     .constData());
    std::fflush(settings_.progress);
}

void FleetApply::Begin(Job& job, Step step) {
    job.step = step;
    job.stepAt = clock_.elapsed();
    job.deadline.setRemainingTime(session_.Scaled(settings_.restartTimeoutMs));
    job.recordShown = false;
    job.notTaken.clear();
    job.version.clear();
    switch (step) {
        case Step::kSetup:
            job.sends = 0;
            job.replied = false;
            SendSetup(job);
            break;
        case Step::kUpgrade:
            job.upgrade = &UpgradeFor(*job.plan->entry->firmware);
            job.upgradeIndex = job.upgrade->Add(job.device);
            break;
        case Step::kUpgradeBack:
            SendStatusQuery(job);
            break;
        default:
            break;
    }
}

CliUpgrade& FleetApply::UpgradeFor(const inventory::FirmwareSpec& firmware) {
    const QString& image = firmware.image;
    const int blockSize = firmware.blockSize != 0 ? firmware.blockSize : settings_.blockSize;
    std::unique_ptr<CliUpgrade>& upgrade = upgrades_[{image, blockSize}];
    if (!upgrade) {
        upgrade = std::make_unique<CliUpgrade>(
            session_, CliUpgrade::Settings{.imagePath = image,
                                           .imageSize = QFileInfo(image).size(),
                                           .parallel = settings_.parallel,
                                           .tftpPort = settings_.tftpPort,
                                           .progress = settings_.progress,
                                           .watchRestart = false,
                                           .blockSize = blockSize});
    }
    return *upgrade;
}

void FleetApply::SendSetup(Job& job) {
    ++job.sends;
    job.sentAt = clock_.elapsed();
    session_.BroadcastSocket().Send(job.plan->intended.ToByteArray(), job.device.ip,
                                    settings_.devicePort);
}

void FleetApply::SendStatusQuery(Job& job) {
    job.sentAt = clock_.elapsed();
    session_.BroadcastSocket().Send(msg::BuildStatusQuery(), job.device.ip, settings_.devicePort);
}

void FleetApply::OnSetupReply(const DeviceConfigRecord& reply) {
    for (auto& job : jobs_)
        if (job->step == Step::kSetup && job->device.record.MacAddress() == reply.MacAddress())
            job->replied = true;
}

void FleetApply::OnStatusReply(const QString& sender, const QString& version) {
    for (auto& job : jobs_)
        if (job->step == Step::kUpgradeBack && job->device.ip == sender) job->version = version;
}

void FleetApply::Advance(Job& job) {
    const int tick = session_.Scaled(DmController::kTickMs);
    const bool tickPassed = clock_.elapsed() - job.sentAt >= tick;
    switch (job.step) {
        case Step::kSetup:
            if (job.replied) return Begin(job, Step::kSetupBack);
            if (!tickPassed) return;
            // The device manager's setup flow: the command and kSetupRetries resends.
            if (job.sends > DmController::kSetupRetries)
                return job.Fail(QStringLiteral("no setup reply"));
            return SendSetup(job);
        case Step::kSetupBack:
            if (job.recordShown) {
                job.done << QStringLiteral("settings");
                return Next(job);
            }
            if (!job.deadline.hasExpired()) return;
            if (job.notTaken.isEmpty())
                return job.Fail(QStringLiteral("not seen again within %1 s after the setup")
                                    .arg(settings_.restartTimeoutMs / 1000));
            return job.Fail(QStringLiteral("after the setup it reports %1")
                                .arg(job.notTaken.join(QStringLiteral("; "))));
        case Step::kUpgrade:
            if (!job.upgrade->Done(job.upgradeIndex)) return;
            if (const CliResult& result = job.upgrade->Result(job.upgradeIndex); !result.ok)
                return job.Fail(result.text);
            return Begin(job, Step::kUpgradeBack);
        case Step::kUpgradeBack: {
            const QString wanted = job.plan->entry->firmware->version;
            if (job.recordShown && job.version == wanted) {
                job.done << QStringLiteral("firmware %1").arg(wanted);
                return Next(job);
            }
            if (job.deadline.hasExpired()) {
                if (!job.recordShown && !job.notTaken.isEmpty())
                    return job.Fail(QStringLiteral("after the upgrade it reports %1")
                                        .arg(job.notTaken.join(QStringLiteral("; "))));
                return job.Fail(
                    job.version.isEmpty()
                        ? QStringLiteral("no status reply within %1 s after the upgrade")
                              .arg(settings_.restartTimeoutMs / 1000)
                        : QStringLiteral("after the upgrade it reports firmware %1, wanted %2")
                              .arg(job.version, wanted));
            }
            if (tickPassed && job.version != wanted) SendStatusQuery(job);
            return;
        }
        default:
            return;
    }
}

// One search after another while a device waits to be seen after its restart; each search
// that began after the device's step began is one look at it.
void FleetApply::Searches() {
    const auto waiting = [](const auto& job) {
        return job->step == Step::kSetupBack || job->step == Step::kUpgradeBack;
    };
    if (std::none_of(jobs_.begin(), jobs_.end(), waiting) || session_.Searching()) return;
    if (searchStartedAt_ >= 0)
        for (auto& job : jobs_)
            if (waiting(job) && job->stepAt <= searchStartedAt_) Looked(*job);
    searchStartedAt_ = clock_.elapsed();
    session_.Controller().StartSearch();
}

void FleetApply::Looked(Job& job) {
    for (const CliDevice& listed : session_.Devices()) {
        if (listed.record.MacAddress() != job.device.record.MacAddress()) continue;
        job.device = listed;
        const DeviceConfigRecord& intended = job.plan->intended;
        const int row = job.plan->row;
        job.recordShown = ReportsCommand(listed.record, intended, row);
        job.notTaken =
            job.recordShown ? QStringList() : SettingsNotTaken(listed.record, intended, row);
    }
}

void FleetApply::Interrupt() {
    interrupted_ = true;
    for (auto& [image, upgrade] : upgrades_) upgrade->Cancel();
    PrintError(QStringLiteral("interrupted: no further step is started on any device"));
}

Outcome FleetApply::OutcomeOf(const Job& job) const {
    const DevicePlan& plan = *job.plan;
    const auto outcome = [&job](bool ok, const QString& text, const char* status) {
        return Outcome{{job.device, ok, text}, QLatin1String(status), job.done};
    };
    if (!plan.device) return outcome(false, QStringLiteral("not found by the search"), "not found");
    if (!plan.Changes()) return outcome(true, QStringLiteral("unchanged"), "unchanged");
    if (!job.started)
        return outcome(false, QStringLiteral("not started (interrupted)"), "not started");
    QString text;
    switch (job.step) {
        case Step::kSetup:
            text = QStringLiteral("interrupted: the setup command was sent, no reply yet");
            break;
        case Step::kSetupBack:
            text = QStringLiteral("interrupted: set up, not yet seen with its new settings");
            break;
        case Step::kUpgrade:
            if (!job.upgrade->Result(job.upgradeIndex).ok) {
                text = QStringLiteral("interrupted: the firmware transfer was cancelled");
                break;
            }
            [[fallthrough]];
        case Step::kUpgradeBack:
            text =
                QStringLiteral("interrupted: the firmware was sent, its new version not yet seen");
            break;
        default:
            if (!job.failed) {
                Outcome changed = outcome(
                    true, QStringLiteral("changed: %1").arg(job.done.join(QStringLiteral(", "))),
                    "changed");
                for (const inventory::SettingChange& change : plan.settingChanges)
                    changed.result.changes << change.Text();
                return changed;
            }
            text = job.failure;
    }
    if (!job.done.isEmpty())
        text += QStringLiteral(" (done: %1)").arg(job.done.join(QStringLiteral(", ")));
    return outcome(false, text, job.failed ? "failed" : "interrupted");
}

}  // namespace fleet
