#include "cli/FleetApply.h"

#include <QFileInfo>
#include <QObject>
#include <algorithm>
#include <csignal>
#include <map>

#include "cli/CliCommand.h"
#include "cli/CliPrompts.h"
#include "cli/CliUpgrade.h"
#include "protocol/Message.h"
#include "vsp/VspConnector.h"
#include "vspd/WinErrors.h"

namespace fleet {

namespace {

// A port connects within the service's own bound; this is only the last resort.
constexpr int kPortDeadlineMs = 30000;
constexpr int kComPrefix = 3;  // "COM"

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

}  // namespace

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool Interrupted() {
    return interrupted != 0;
}

struct FleetApply::Job {
    const DevicePlan* plan = nullptr;
    CliDevice device;  // as the last search listed it
    bool started = false;
    bool failed = false;
    bool interrupted = false;
    QString failure;
    QStringList done;  // the steps that succeeded

    bool Restarts() const { return plan->setup || plan->upgrade; }
    bool Active() const { return !failed && !interrupted; }
    void Fail(const QString& text) {
        failed = true;
        failure = text;
        PrintError(QStringLiteral("%1: %2").arg(device.ip, text));
    }
};

FleetApply::FleetApply(CliSession& session, CVspDriver& driver, VspInstallService& installer,
                       Settings settings)
    : session_(session), driver_(driver), installer_(installer), settings_(settings) {}

std::vector<CliResult> FleetApply::Run(const Plan& plan) {
    std::vector<Job> jobs(plan.devices.size());
    std::vector<Job*> work;
    for (size_t i = 0; i < plan.devices.size(); ++i) {
        const DevicePlan& one = plan.devices[i];
        jobs[i].plan = &one;
        jobs[i].device = one.device.value_or(
            CliDevice{QStringLiteral("-"), inventory::MacText(one.entry->mac), {}});
        if (one.device && one.Changes()) work.push_back(&jobs[i]);
    }
    for (size_t first = 0; first < work.size() && !Interrupted();
         first += static_cast<size_t>(settings_.parallel)) {
        const size_t end = std::min(work.size(), first + static_cast<size_t>(settings_.parallel));
        std::vector<Job*> group(work.begin() + static_cast<std::ptrdiff_t>(first),
                                work.begin() + static_cast<std::ptrdiff_t>(end));
        RunGroup(group);
    }
    std::vector<CliResult> results;
    for (const Job& job : jobs) {
        CliResult result{job.device, false, {}};
        const DevicePlan& one = *job.plan;
        if (!one.device) {
            result.text = QStringLiteral("not found by the search");
        } else if (!one.Changes()) {
            result = {job.device, true, QStringLiteral("unchanged")};
        } else if (!job.started) {
            result.text = QStringLiteral("not started (interrupted)");
        } else if (job.failed || job.interrupted) {
            result.text = job.failed ? job.failure : QStringLiteral("interrupted");
            if (!job.done.isEmpty())
                result.text +=
                    QStringLiteral(" after: %1").arg(job.done.join(QStringLiteral(", ")));
        } else {
            result = {job.device, true,
                      QStringLiteral("changed: %1").arg(job.done.join(QStringLiteral(", "))),
                      one.settingChanges};
        }
        results.push_back(result);
    }
    return results;
}

void FleetApply::RunGroup(std::vector<Job*>& group) {
    for (Job* job : group) job->started = true;
    SubnetChecks(group);
    SendSetups(group);
    WaitBack(
        group, [](const Job& job) { return job.plan->setup; },
        QStringLiteral("did not come back after the setup"));
    for (Job* job : group)
        if (job->Active() && job->plan->setup) job->done << QStringLiteral("settings");
    if (StopAfterStep(group, QStringLiteral("settings"))) return;
    Upgrade(group);
    if (StopAfterStep(group, QStringLiteral("firmware"))) return;
    Verify(group);
    MapPorts(group);
}

bool FleetApply::StopAfterStep(std::vector<Job*>& group, const QString& step) {
    if (!Interrupted()) return false;
    for (Job* job : group)
        if (job->Active()) job->interrupted = true;
    PrintError(QStringLiteral("interrupted: the devices under way stop after the %1").arg(step));
    return true;
}

void FleetApply::SubnetChecks(std::vector<Job*>& group) {
    for (Job* job : group) {
        if (!job->Restarts()) continue;
        session_.Prompter().SetPrefix(job->device.ip);
        const DmSubnetWarning warning =
            job->plan->setup ? DmSubnetWarning::kDeviceManager : DmSubnetWarning::kUpgrade;
        if (!session_.Controller().SubnetCheck(job->device.record, warning))
            job->Fail(QStringLiteral("outside the host's subnet (--force)"));
    }
    session_.Prompter().SetPrefix({});
}

// The setup command of each device at once, sent again at each tick of the setup flow until
// the device's setup reply came.
void FleetApply::SendSetups(std::vector<Job*>& group) {
    std::map<QString, Job*> waiting;  // by MAC
    for (Job* job : group)
        if (job->Active() && job->plan->setup) waiting[job->device.mac] = job;
    if (waiting.empty()) return;
    CBroadcastSocket& socket = session_.BroadcastSocket();
    DmController& controller = session_.Controller();
    socket.SetDeviceManagerHandler([&](const ReceivedDatagram& datagram) {
        if (datagram.Command() != msg::kSetupReply) return controller.HandleReply(datagram);
        if (datagram.length < msg::kRecordSize) return;
        if (const auto reply = DeviceConfigRecord::FromBytes(datagram.slot))
            waiting.erase(DmDeviceTable::MacText(*reply));
    });
    for (int send = 0; send <= DmController::kSetupRetries && !waiting.empty(); ++send) {
        for (const auto& [mac, job] : waiting)
            socket.Send(job->plan->intended.ToByteArray(), job->device.ip, settings_.devicePort);
        CliSession::WaitUntil([&] { return waiting.empty(); },
                              session_.Scaled(DmController::kTickMs));
    }
    socket.SetDeviceManagerHandler(
        [&controller](const ReceivedDatagram& datagram) { controller.HandleReply(datagram); });
    for (const auto& [mac, job] : waiting) job->Fail(QStringLiteral("no setup reply"));
}

// Searches until each device that `wanted` picks answers again, and takes what it reports.
void FleetApply::WaitBack(std::vector<Job*>& group, bool (*wanted)(const Job&),
                          const QString& failure) {
    std::vector<Job*> waiting;
    std::vector<DeviceConfigRecord> records;
    for (Job* job : group) {
        if (!job->Active() || !wanted(*job)) continue;
        waiting.push_back(job);
        records.push_back(job->device.record);
    }
    if (waiting.empty()) return;
    const std::vector<QString> failures = session_.WaitForRestarts(records);
    for (size_t i = 0; i < waiting.size(); ++i) {
        if (!failures[i].isEmpty())
            waiting[i]->Fail(QStringLiteral("%1: %2").arg(failure, failures[i]));
    }
    Relist(waiting);
}

// Takes each device's record as the last search listed it.
void FleetApply::Relist(std::vector<Job*>& group) {
    const std::vector<CliDevice> listed = session_.Devices();
    for (Job* job : group) {
        if (!job->Active()) continue;
        const auto it = std::find_if(listed.begin(), listed.end(), [&](const CliDevice& device) {
            return device.mac == job->device.mac;
        });
        if (it == listed.end())
            job->Fail(QStringLiteral("did not answer a search after its restart"));
        else
            job->device = *it;
    }
}

void FleetApply::Upgrade(std::vector<Job*>& group) {
    std::map<QString, std::vector<Job*>> byImage;
    for (Job* job : group)
        if (job->Active() && job->plan->upgrade)
            byImage[job->plan->entry->firmware->image].push_back(job);
    for (auto& [image, jobs] : byImage) {
        std::vector<CliDevice> devices;
        for (Job* job : jobs) devices.push_back(job->device);
        // The upgrade waits for each device's restart itself.
        CliUpgrade upgrade(session_,
                           {image, QFileInfo(image).size(), settings_.parallel, settings_.tftpPort,
                            settings_.progress, false, settings_.blockSize});
        const std::vector<CliResult> results = upgrade.Run(devices);
        for (size_t i = 0; i < jobs.size(); ++i) {
            if (results[i].ok)
                jobs[i]->done
                    << QStringLiteral("firmware %1").arg(jobs[i]->plan->entry->firmware->version);
            else
                jobs[i]->Fail(results[i].text);
        }
    }
}

// What a device reports after its restart is what the inventory decided.
void FleetApply::Verify(std::vector<Job*>& group) {
    // The upgrade's last search may still run, with the list being filled again.
    session_.Search();
    Relist(group);
    std::vector<CliDevice> upgraded;
    for (Job* job : group) {
        if (!job->Active() || !job->Restarts()) continue;
        if (!MatchesIntended(job->device.record, *job->plan))
            job->Fail(
                QStringLiteral("verification: the record it reports is not the intended one"));
        else if (job->plan->upgrade)
            upgraded.push_back(job->device);
    }
    if (upgraded.empty()) return;
    const std::map<QString, StatusReply> replies =
        QueryStatus(session_, settings_.devicePort, upgraded);
    for (Job* job : group) {
        if (!job->Active() || !job->plan->upgrade) continue;
        const QString wanted = job->plan->entry->firmware->version;
        const auto reply = replies.find(job->device.ip);
        if (reply == replies.end())
            job->Fail(QStringLiteral("verification: no status reply after the upgrade"));
        else if (QString::fromLatin1(reply->second.firmwareVersion) != wanted)
            job->Fail(QStringLiteral("verification: reports firmware %1, wanted %2")
                          .arg(QString::fromLatin1(reply->second.firmwareVersion), wanted));
    }
}

void FleetApply::MapPorts(std::vector<Job*>& group) {
    for (Job* job : group) {
        if (!job->Active() || !job->plan->entry->port || !job->plan->port.Any()) continue;
        const QString failure = MapPort(*job);
        if (failure.isEmpty())
            job->done << QStringLiteral("port %1").arg(job->plan->entry->port->com);
        else
            job->Fail(failure);
    }
}

// Adds, configures and connects the device's port through the port service; empty when the
// service then lists it connected (listening, for a server port).
QString FleetApply::MapPort(const Job& job) {
    const inventory::PortSpec& spec = *job.plan->entry->port;
    const PortSteps& steps = job.plan->port;
    uint32_t error = winerr::kSuccess;
    if (steps.add) {
        QString instance;
        error = installer_.InstallPort(QString::fromLatin1(vspd::kVirtualHardwareId),
                                       spec.com.mid(kComPrefix).toUInt(), &instance);
        if (error != winerr::kSuccess)
            return QStringLiteral("cannot add %1 (error %2)").arg(spec.com).arg(error);
    }
    if (steps.configure) {
        const auto port = driver_.FindPort(spec.com, &error);
        if (port && port->state != vspd::PortState::Idle) driver_.Disconnect(spec.com);
        error = driver_.SetRemoteInfo(spec.com, steps.config);
        if (error != winerr::kSuccess)
            return QStringLiteral("cannot configure %1 (error %2)").arg(spec.com).arg(error);
    }
    if (steps.connect && !spec.client) {
        error = driver_.StartServer(spec.com);
    } else if (steps.connect) {
        VspHandle handle = driver_.OpenPort(spec.com, &error);
        if (error != winerr::kSuccess)
            return QStringLiteral("cannot open %1 (error %2)").arg(spec.com).arg(error);
        VspConnector connector;
        bool finished = false;
        QObject::connect(&connector, &VspConnector::finished,
                         [&](const QString&, uint32_t result, VspConnector::Origin) {
                             finished = true;
                             error = result;
                         });
        connector.Start(spec.com, std::move(handle), VspConnector::Origin::kButton);
        if (!CliSession::WaitUntil([&] { return finished; }, kPortDeadlineMs))
            connector.Cancel(spec.com);
        CliSession::WaitUntil([&] { return finished; }, kPortDeadlineMs);
    }
    if (error != winerr::kSuccess)
        return QStringLiteral("%1 did not connect (error %2)").arg(spec.com).arg(error);
    const vspd::PortState wanted =
        spec.client ? vspd::PortState::Connected : vspd::PortState::Listening;
    const bool settled = CliSession::WaitUntil(
        [&] {
            uint32_t listError = 0;
            const auto port = driver_.FindPort(spec.com, &listError);
            return port && port->state == wanted;
        },
        kPortDeadlineMs);
    return settled ? QString()
                   : QStringLiteral("%1 is not connected after the apply").arg(spec.com);
}

}  // namespace fleet
