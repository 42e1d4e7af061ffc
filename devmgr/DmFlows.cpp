// The flows that change devices: setup, restore, reboot, and the restart wait that ends a
// restore or a push upgrade with a new search.
#include "devmgr/DmController.h"
#include "platform/DmMessageBox.h"
#include "platform/UserPrompts.h"
#include "protocol/BroadcastSocket.h"
#include "protocol/Message.h"

namespace {

constexpr int kSheetOpenProgress = 100;
constexpr int kSetupDoneProgress = 200;
constexpr int kRestartProgressBase = 200;
constexpr int kRestartProgressSpan = 650;

bool Ask(UserPrompts& prompts, const QString& text, const QString& caption) {
    return prompts.MessageBox({caption, text, PromptButtons::YesNo, PromptIcon::Information,
                               PromptAnswer::Yes}) == PromptAnswer::Yes;
}

}  // namespace

void DmController::OnDeviceSetup() {
    if (Busy()) return;
    SetProgress(0);
    const std::optional<int> row = SingleDeviceChoice();
    if (!row) return;
    const DeviceConfigRecord chosen = table_.Record(*row);
    if (!SubnetCheck(chosen)) {
        ShowIdleUnlessBusy();
        return;
    }
    SetProgress(kSheetOpenProgress);
    const std::optional<DeviceConfigRecord> command =
        setupSheet_ ? setupSheet_(chosen, *row) : std::nullopt;
    if (!command) {
        Untick(chosen);
        ShowIdleUnlessBusy();
        return;
    }
    if (!Ask(frame_.Prompts(),
             QStringLiteral("This operation will cause the device to reboot.\r\nDo you want to "
                            "proceed ?"),
             QStringLiteral("Device Setup")))
        return;
    RunConfirmed([this, chosen, command = *command] { StartSetup(chosen, command); });
}

void DmController::StartSetup(const DeviceConfigRecord& chosen, const DeviceConfigRecord& command) {
    const std::optional<DmTarget> target = FindAgain(chosen);
    if (!target) {
        ShowIdleUnlessBusy();
        return;
    }
    StopRestartWait();
    flow_ = DmFlow::kSetup;
    SetStatus(QStringLiteral(" Device setting ..."));
    EnableAllButtons(false);
    setupMac_ = chosen.MacAddress();
    setupAddress_ = target->address;
    setupCommand_ = command.ToByteArray();
    SendTo(setupCommand_, setupAddress_);
    setupReplied_ = false;
    setupRetry_ = 0;
    timers_.SetTimer(this, kSetupTimer, kTickMs);
}

void DmController::OnSetupTick() {
    if (!setupReplied_ && setupRetry_ < kSetupRetries) {
        ++setupRetry_;
        SendTo(setupCommand_, setupAddress_);
        return;
    }
    timers_.KillTimer(this, kSetupTimer);
    setupRetry_ = 0;
    setupMac_.reset();
    if (setupReplied_) {
        SetProgress(kSetupDoneProgress);
        StartSearch();
        return;
    }
    SetStatus(QStringLiteral("Setup Device Fail !"));
    SetProgress(kProgressMax);
    EnableAllButtons(true);
    EndFlow();
}

void DmController::OnSetupReply(const ReceivedDatagram& datagram) {
    if (datagram.length < msg::kRecordSize) return;
    const auto reply = DeviceConfigRecord::FromBytes(datagram.slot);
    if (!reply) return;
    // The reply belongs to the device being set up, or without a running setup to the
    // selected row; a reply that carries another device's MAC address changes nothing.
    std::optional<int> row = selected_;
    if (setupMac_) {
        if (reply->MacAddress() != *setupMac_) return;
        row = table_.FindRowByMac(*setupMac_);
    }
    if (!row || !table_.Contains(*row)) {
        setupReplied_ = true;
        return;
    }
    if (table_.Record(*row).MacAddress() != reply->MacAddress()) return;
    setupReplied_ = true;
    table_.ApplySetupReply(*row, *reply);
    emit rowChanged(*row);
    WarnIfLowPort(*reply);
}

// The ticked devices are taken before the boxes and looked up again when the flow starts.
std::optional<std::vector<DeviceConfigRecord>> DmController::ConfirmAckFlow(
    const QString& question, const QString& caption) {
    SetProgress(0);
    std::vector<DeviceConfigRecord> chosen;
    for (int row : table_.CheckedRows()) chosen.push_back(table_.Record(row));
    if (chosen.empty()) {
        ShowDmMessage(frame_.Prompts(), QStringLiteral("Please select device(s) in the list !!"));
        return std::nullopt;
    }
    if (!Ask(frame_.Prompts(), question, caption)) return std::nullopt;
    if (!SubnetCheck(chosen.back())) return std::nullopt;
    return chosen;
}

// The work keeps the devices it was started with, whatever happens to the list meanwhile.
void DmController::StartAckFlow(DmFlow flow, const std::vector<DeviceConfigRecord>& chosen) {
    std::vector<DmTarget> targets;
    for (const DeviceConfigRecord& device : chosen) {
        std::optional<DmTarget> target = FindAgain(device);
        if (!target) return;
        targets.push_back(std::move(*target));
    }
    const bool restore = flow == DmFlow::kRestore;
    DmAckWork& work = restore ? restore_ : reboot_;
    work.Clear();
    if (restore) restartTicked_ = static_cast<int>(targets.size());
    StopRestartWait();
    flow_ = flow;
    EnableAllButtons(false);
    ackTargets_ = std::move(targets);
    std::vector<int> indexes(ackTargets_.size());
    for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<int>(i);
    work.Start(std::move(indexes));
    ackRetry_ = 0;
    timers_.SetTimer(this, restore ? kRestoreTimer : kRebootTimer, kTickMs);
    SetStatus(restore ? QStringLiteral(" Resetting ...") : QStringLiteral(" Rebooting ..."));
}

void DmController::OnRestore() {
    if (Busy()) return;
    std::optional<std::vector<DeviceConfigRecord>> ticked =
        ConfirmAckFlow(QStringLiteral("This operation will return the device's default setting and "
                                      "reboot.\r\nDo you want to proceed ?"),
                       QStringLiteral("Reset"));
    if (!ticked) return;
    RunConfirmed([this, chosen = std::move(*ticked)] { StartAckFlow(DmFlow::kRestore, chosen); });
}

void DmController::OnReboot() {
    if (Busy()) return;
    std::optional<std::vector<DeviceConfigRecord>> ticked = ConfirmAckFlow(
        QStringLiteral("Do you really want to REBOOT device(s) ?"), QStringLiteral("Reboot"));
    if (!ticked) return;
    RunConfirmed([this, chosen = std::move(*ticked)] { StartAckFlow(DmFlow::kReboot, chosen); });
}

void DmController::OnAckTick(DmAckWork& work, int timerId) {
    const DmAckWork::Step step = work.Tick(ackRetry_);
    switch (step) {
        case DmAckWork::Step::kSend: {
            const DmTarget& target = ackTargets_[static_cast<size_t>(work.Current())];
            if (const int row = table_.FindRowByMac(target.record.MacAddress()); row >= 0)
                selected_ = row;
            const auto stored = std::span<const uint8_t>(target.record.bytes());
            const QByteArray command = timerId == kRestoreTimer ? msg::BuildRestoreCommand(stored)
                                                                : msg::BuildRebootCommand(stored);
            SendTo(command, target.address);
            work.Sent(target.address);
            break;
        }
        case DmAckWork::Step::kWait:
            break;
        case DmAckWork::Step::kSucceeded:
        case DmAckWork::Step::kFailed:
            timers_.KillTimer(this, timerId);
            OnAckFlowEnd(step == DmAckWork::Step::kSucceeded, timerId);
            break;
    }
}

void DmController::OnAckFlowEnd(bool succeeded, int timerId) {
    const bool restore = timerId == kRestoreTimer;
    if (succeeded) {
        if (restore)
            StartRestartWait(restartTicked_);
        else
            StartSearch();
        return;
    }
    SetStatus(restore ? QStringLiteral("Reset Device Fail !")
                      : QStringLiteral("Reboot Device Fail !"));
    SetProgress(kProgressMax);
    EnableAllButtons(true);
    EndFlow();
}

void DmController::StartRestartWait(int tickedDevices) {
    restartTicked_ = tickedDevices;
    restartCounter_ = 0;
    timers_.SetTimer(this, kRestartWaitTimer, kTickMs);
}

void DmController::OnRestartWaitTick() {
    const int64_t n = int64_t{restartTicked_} + periods_.reboot;
    if (restartCounter_ < n) {
        SetProgress(
            static_cast<int>(restartCounter_ * (kRestartProgressSpan / n) + kRestartProgressBase));
        ++restartCounter_;
        return;
    }
    StopRestartWait();
    StartSearch();
}

// After an upgrade the buttons are enabled during the restart wait. A flow the user starts
// then ends the wait: its search would clear the list and enable the buttons in the middle of
// that flow.
void DmController::StopRestartWait() {
    timers_.KillTimer(this, kRestartWaitTimer);
    restartCounter_ = 0;
}
