#include "cli/CliSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

#include "cli/CliInterrupt.h"
#include "cli/CliRestartCheck.h"
#include "protocol/Ipv4Address.h"
#include "protocol/Message.h"
#include "protocol/OneHost.h"

namespace {

// The event loop is woken this often to look at the flow's state.
constexpr int kWakeMs = 20;
// A search: its first tick and the retries when nothing answered, with a tick to spare.
constexpr int kSearchTicks = DmController::kSearchRetries + 2;
// Setup: the command and its resends, one tick apart, with a tick to spare.
constexpr int kSetupTicks = DmController::kSetupRetries + 2;
// Restore and reboot: each device is sent at most kMaxSends times, two ticks apart.
constexpr int kAckTicksPerDevice = DmAckWork::kMaxSends * 2 + 1;
constexpr int kMsPerSecond = 1000;

}  // namespace

CliSession::CliSession(const CliHost& host, bool force, int speedup)
    : host_(host), timers_(speedup), prompts_({}, force) {}

CliSession::~CliSession() {
    controller_.reset();
}

QString CliSession::Open(uint16_t devicePort) {
    if (!socket_.Create(host_.address, msg::kBroadcastSocketPort))
        return QStringLiteral("cannot bind %1 port %2 (is the device manager running?)")
            .arg(host_.address)
            .arg(msg::kBroadcastSocketPort);
    controller_ = std::make_unique<DmController>(*this);
    controller_->SetDevicePort(devicePort);
    // The controller's warning about a low port follows the row it concerns at once.
    QObject::connect(controller_.get(), &DmController::rowInserted,
                     [this](int row) { NameLowPortDevice(row); });
    QObject::connect(controller_.get(), &DmController::rowChanged,
                     [this](int row) { NameLowPortDevice(row); });
    QObject::connect(controller_.get(), &DmController::listReset, [this] { answeredAt_.clear(); });
    socket_.SetDeviceManagerHandler(
        [this](const ReceivedDatagram& datagram) { HandleReply(datagram); });
    controller_->InitialUpdate();
    return {};
}

void CliSession::HandleReply(const ReceivedDatagram& datagram) {
    if (datagram.Command() == msg::kSearchReply) NoteSearchReply(datagram);
    controller_->HandleReply(datagram);
}

// The list keeps the first reply of a MAC address: a second device with it would be hidden.
void CliSession::NoteSearchReply(const ReceivedDatagram& datagram) {
    if (datagram.length < msg::kRecordSize) return;
    const auto reply = DeviceConfigRecord::FromBytes(datagram.slot);
    if (!reply) return;
    const QString mac = DmDeviceTable::MacText(*reply);
    QString at = Ipv4Address(reply->Get(devrec::currentIp)).ToString();
    if (const QString sender = Ipv4Address(datagram.sender.toIPv4Address()).ToString();
        sender != at)
        at += QStringLiteral(" (sent from %1)").arg(sender);
    const auto [first, isNew] = answeredAt_.emplace(mac, at);
    if (isNew || first->second == at || twins_.contains(mac)) return;
    twins_[mac] = {first->second, at};
    PrintError(QStringLiteral("Warning: two devices answer with MAC address %1: at %2 and at %3; "
                              "nothing is sent to this MAC address")
                   .arg(mac, first->second, at));
}

QString CliSession::WhyTwins(const CliDevice& device) const {
    const auto found = twins_.find(DmDeviceTable::MacText(device.record));
    if (found == twins_.end()) return {};
    return QStringLiteral("two devices answer with this MAC address (at %1)")
        .arg(found->second.join(QStringLiteral(" and at ")));
}

QString CliSession::NowIp(const CliDevice& device) const {
    const int row = RowOf(device.record);
    if (row < 0) return {};
    const QString ip = controller_->Table().IpText(row);
    return ip == device.ip ? QString() : ip;
}

bool CliSession::WaitUntil(const std::function<bool()>& done, int deadlineMs) {
    QDeadlineTimer deadline(deadlineMs);
    QTimer wake;
    wake.start(kWakeMs);
    while (!done()) {
        // A stop ends every wait; the command then starts nothing more.
        if (deadline.hasExpired() || StopRequested()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void CliSession::Search(int waitMs) {
    QElapsedTimer started;
    started.start();
    controller_->OnSearch();
    WaitUntil([this] { return !Searching(); }, Scaled(kSearchTicks * DmController::kTickMs));
    const int64_t rest = waitMs - started.elapsed();
    if (rest > 0) WaitUntil([] { return false; }, static_cast<int>(rest));
}

std::vector<CliDevice> CliSession::Devices() const {
    std::vector<CliDevice> devices;
    const DmDeviceTable& table = controller_->Table();
    for (int row = 0; row < table.Count(); ++row)
        devices.push_back(
            {table.IpText(row), DmDeviceTable::MacText(table.Record(row)), table.Record(row)});
    return devices;
}

QString CliSession::WhyNotOneHost(const CliDevice& device) {
    return ::WhyNotOneHost(Ipv4Address(device.record.Get(devrec::currentIp)), net_,
                           Ipv4Address(device.record.Get(devrec::subnetMask)));
}

int CliSession::RowOf(const DeviceConfigRecord& device) const {
    return controller_->Table().FindRowByMac(device.MacAddress());
}

void CliSession::NameLowPortDevice(int row) {
    const DmDeviceTable& table = controller_->Table();
    if (DmDeviceTable::ShownPort(table.Record(row)) < DmController::kLowestDataPort)
        prompts_.PrefixNext(QStringLiteral("%1 (%2)").arg(
            table.IpText(row), DmDeviceTable::MacText(table.Record(row))));
}

void CliSession::TickOnly(const std::vector<CliDevice>& devices) {
    for (int row = 0; row < controller_->Table().Count(); ++row) {
        const auto mac = controller_->Table().Record(row).MacAddress();
        controller_->SetRowChecked(
            row, std::any_of(devices.begin(), devices.end(),
                             [&](const CliDevice& d) { return d.record.MacAddress() == mac; }));
    }
}

int CliSession::FlowDeadlineMs(size_t devices) const {
    return Scaled(static_cast<int>(devices * kAckTicksPerDevice + 2) * DmController::kTickMs);
}

std::vector<CliResult> CliSession::RunAckFlow(AckFlow flow, const std::vector<CliDevice>& devices) {
    std::vector<CliResult> results;
    for (const CliDevice& device : devices)
        results.push_back({device, false, QStringLiteral("not sent")});
    auto settle = [&results](const CliDevice& device, bool ok, const QString& text) {
        for (CliResult& result : results)
            if (result.device.record.MacAddress() == device.record.MacAddress())
                result = {result.device, ok, text};
    };
    const bool reboot = flow == AckFlow::kReboot;
    const int timer = reboot ? DmController::kRebootTimer : DmController::kRestoreTimer;
    std::vector<CliDevice> remaining;
    for (const CliDevice& device : devices)
        if (Listed(device.record)) remaining.push_back(device);
    while (!remaining.empty()) {
        // The flow goes through the ticked rows in the list's order.
        std::sort(remaining.begin(), remaining.end(),
                  [this](const CliDevice& a, const CliDevice& b) {
                      return RowOf(a.record) < RowOf(b.record);
                  });
        TickOnly(remaining);
        prompts_.SetPrefix(remaining.back().ip);
        reboot ? controller_->OnReboot() : controller_->OnRestore();
        if (!Running(timer)) {
            for (const CliDevice& device : remaining)
                settle(device, false, QStringLiteral("refused: %1").arg(prompts_.LastText()));
            break;
        }
        WaitUntil([&] { return !Running(timer); }, FlowDeadlineMs(remaining.size()));
        // Success moves on to the restart wait or a new search, which clears the list.
        if (Searching() || Running(DmController::kRestartWaitTimer)) {
            for (const CliDevice& device : remaining) settle(device, true, QStringLiteral("ok"));
            break;
        }
        // The flow stopped at the device it sent to last: those before it acknowledged.
        const std::optional<int> row = controller_->SelectedRow();
        auto silent = remaining.begin();
        if (row && controller_->Table().Contains(*row)) {
            const auto mac = controller_->Table().Record(*row).MacAddress();
            silent = std::find_if(remaining.begin(), remaining.end(),
                                  [&](const CliDevice& d) { return d.record.MacAddress() == mac; });
        }
        for (auto it = remaining.begin(); it != silent; ++it)
            settle(*it, true, QStringLiteral("ok"));
        if (silent != remaining.end()) settle(*silent, false, QStringLiteral("no acknowledgement"));
        remaining.erase(remaining.begin(), silent == remaining.end() ? silent : silent + 1);
    }
    prompts_.SetPrefix({});
    return results;
}

QString CliSession::RunSetup(const CliDevice& device, const DeviceConfigRecord& command) {
    if (!Listed(device.record)) return QStringLiteral("no longer listed");
    const int row = RowOf(device.record);
    const bool noChange = ReportsCommand(device.record, command, row);
    TickOnly({device});
    prompts_.SetPrefix(device.ip);
    controller_->SetSetupSheet(
        [command](const DeviceConfigRecord&, int) { return std::optional(command); });
    controller_->OnDeviceSetup();
    controller_->SetSetupSheet({});
    prompts_.SetPrefix({});
    if (!Running(DmController::kSetupTimer))
        return QStringLiteral("refused: %1").arg(prompts_.LastText());
    WaitUntil([this] { return !Running(DmController::kSetupTimer); },
              Scaled(kSetupTicks * DmController::kTickMs));
    // A reply starts the search that finds the device set up.
    if (!Searching()) return QStringLiteral("no setup reply");
    // Only a restart can show that a command equal to the record was taken.
    return noChange ? WaitForRestarts({device.record}).front()
                    : WaitForRecord(device.record, command, row);
}

QString CliSession::WaitForRecord(const DeviceConfigRecord& device,
                                  const DeviceConfigRecord& command, int row) {
    QDeadlineTimer deadline(Scaled(kRestartDeadlineMs));
    QStringList notTaken;
    while (!deadline.hasExpired()) {
        if (!Searching()) controller_->StartSearch();
        WaitUntil([this] { return !Searching(); }, Scaled(kSearchTicks * DmController::kTickMs));
        const int at = RowOf(device);
        if (at < 0) continue;
        const DeviceConfigRecord& reported = controller_->Table().Record(at);
        if (ReportsCommand(reported, command, row)) return {};
        notTaken = SettingsNotTaken(reported, command, row);
    }
    if (notTaken.isEmpty())
        return QStringLiteral("not seen again within %1 s after the setup")
            .arg(kRestartDeadlineMs / kMsPerSecond);
    return QStringLiteral("after the setup it reports %1").arg(notTaken.join(QStringLiteral("; ")));
}

std::vector<QString> CliSession::WaitForRestarts(const std::vector<DeviceConfigRecord>& devices) {
    QDeadlineTimer deadline(Scaled(kRestartDeadlineMs));
    std::vector<CliRestartWatch> watches(devices.size());
    const auto allBack = [&] {
        return std::all_of(watches.begin(), watches.end(), [](const auto& w) { return w.back; });
    };
    const auto look = [&] {
        for (size_t i = 0; i < devices.size(); ++i) watches[i].Searched(Listed(devices[i]));
    };
    while (!allBack() && !deadline.hasExpired()) {
        if (!Searching()) controller_->StartSearch();
        // Early in a search a device that is up has answered; one still restarting has not,
        // though it may answer the search's later requests.
        WaitUntil([this] { return !Searching(); }, Scaled(kEarlyLookMs));
        look();
        WaitUntil([this] { return !Searching(); }, Scaled(kSearchTicks * DmController::kTickMs));
        look();
    }
    std::vector<QString> failures;
    for (const CliRestartWatch& watch : watches)
        failures.push_back(watch.back ? QString() : watch.Failure());
    return failures;
}
