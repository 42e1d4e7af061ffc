#include "cli/CliSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

#include "protocol/Message.h"

namespace {

// The event loop is woken this often to look at the flow's state.
constexpr int kWakeMs = 20;
// A search: its first tick and the retries when nothing answered, with a tick to spare.
constexpr int kSearchTicks = DmController::kSearchRetries + 2;
// Setup: the command and its resends, one tick apart, with a tick to spare.
constexpr int kSetupTicks = DmController::kSetupRetries + 2;
// Restore and reboot: each device is sent at most kMaxSends times, two ticks apart.
constexpr int kAckTicksPerDevice = DmAckWork::kMaxSends * 2 + 1;

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
    controller_->InitialUpdate();
    return {};
}

bool CliSession::WaitUntil(const std::function<bool()>& done, int deadlineMs) {
    QDeadlineTimer deadline(deadlineMs);
    QTimer wake;
    wake.start(kWakeMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void CliSession::Search(int waitMs) {
    QElapsedTimer started;
    started.start();
    controller_->OnSearch();
    WaitUntil([this] { return !Running(DmController::kSearchTimer); },
              Scaled(kSearchTicks * DmController::kTickMs));
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

std::optional<CliDevice> CliSession::Find(const QString& ip) const {
    const int row = RowOf(ip);
    if (row < 0) return std::nullopt;
    const DmDeviceTable& table = controller_->Table();
    return CliDevice{ip, DmDeviceTable::MacText(table.Record(row)), table.Record(row)};
}

void CliSession::TickOnly(const std::vector<int>& rows) {
    for (int row = 0; row < controller_->Table().Count(); ++row)
        controller_->SetRowChecked(row, std::find(rows.begin(), rows.end(), row) != rows.end());
}

int CliSession::FlowDeadlineMs(size_t devices) const {
    return Scaled(static_cast<int>(devices * kAckTicksPerDevice + 2) * DmController::kTickMs);
}

std::vector<CliResult> CliSession::RunAckFlow(AckFlow flow, const std::vector<CliDevice>& devices) {
    std::vector<CliResult> results;
    // The flow goes through the ticked rows in the list's order.
    std::vector<int> rows;
    for (const CliDevice& device : devices) {
        results.push_back({device, false, QStringLiteral("not sent")});
        rows.push_back(RowOf(device.ip));
    }
    std::vector<int> remaining = rows;
    std::sort(remaining.begin(), remaining.end());
    remaining.erase(std::unique(remaining.begin(), remaining.end()), remaining.end());
    const bool reboot = flow == AckFlow::kReboot;
    const int timer = reboot ? DmController::kRebootTimer : DmController::kRestoreTimer;
    auto settle = [&](int row, bool ok, const QString& text) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i] == row) results[i] = {results[i].device, ok, text};
    };
    while (!remaining.empty()) {
        TickOnly(remaining);
        prompts_.SetPrefix(controller_->Table().IpText(remaining.back()));
        reboot ? controller_->OnReboot() : controller_->OnRestore();
        if (!Running(timer)) {
            for (int row : remaining)
                settle(row, false, QStringLiteral("refused: %1").arg(prompts_.LastText()));
            break;
        }
        WaitUntil([&] { return !Running(timer); }, FlowDeadlineMs(remaining.size()));
        // Success moves on to the restart wait or a new search, which clears the list.
        if (Running(DmController::kSearchTimer) || Running(DmController::kRestartWaitTimer)) {
            for (int row : remaining) settle(row, true, QStringLiteral("ok"));
            break;
        }
        // The flow stopped at the device it sent to last: those before it acknowledged.
        const int silent = controller_->SelectedRow().value_or(remaining.front());
        auto at = std::find(remaining.begin(), remaining.end(), silent);
        for (auto it = remaining.begin(); it != at; ++it) settle(*it, true, QStringLiteral("ok"));
        settle(silent, false, QStringLiteral("no acknowledgement"));
        remaining.erase(remaining.begin(), at == remaining.end() ? at : at + 1);
    }
    prompts_.SetPrefix({});
    return results;
}

QString CliSession::RunSetup(const CliDevice& device, const DeviceConfigRecord& command) {
    const int row = RowOf(device.ip);
    if (row < 0) return QStringLiteral("not found");
    TickOnly({row});
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
    if (!Running(DmController::kSearchTimer)) return QStringLiteral("no setup reply");
    if (WaitForRestart({device.mac}).isEmpty()) return QStringLiteral("did not come back");
    return {};
}

QStringList CliSession::WaitForRestart(const QStringList& macs) {
    QDeadlineTimer deadline(Scaled(kRestartDeadlineMs));
    QStringList back;
    while (back.size() < macs.size() && !deadline.hasExpired()) {
        if (!Running(DmController::kSearchTimer)) controller_->StartSearch();
        WaitUntil([this] { return !Running(DmController::kSearchTimer); },
                  Scaled(kSearchTicks * DmController::kTickMs));
        for (const CliDevice& device : Devices())
            if (macs.contains(device.mac) && !back.contains(device.mac)) back << device.mac;
    }
    return back;
}
