// The flows that change devices: setup, restore, reboot, and the restart wait that ends a
// restore or a push upgrade with a new search.
#include "devmgr/DmController.h"
#include "devmgr/DmMessageBox.h"
#include "platform/UserPrompts.h"
#include "protocol/Address.h"
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
    SetProgress(0);
    const std::optional<int> row = SingleDeviceChoice();
    if (!row) return;
    if (!SubnetCheck(*row)) {
        SetIdle();
        return;
    }
    SetProgress(kSheetOpenProgress);
    const std::optional<DeviceConfigRecord> command =
        setupSheet_ ? setupSheet_(table_.Record(*row), *row) : std::nullopt;
    if (!command) {
        SetRowChecked(*row, false);
        SetIdle();
        SetProgress(0);
        return;
    }
    if (!Ask(frame_.Prompts(),
             QStringLiteral("This operation will cause the device to reboot.\r\nDo you want to "
                            "proceed ?"),
             QStringLiteral("Device Setup")))
        return;
    SetStatus(QStringLiteral(" Device setting ..."));
    EnableAllButtons(false);
    setupRow_ = *row;
    setupCommand_ = command->ToByteArray();
    Send(setupCommand_, table_.IpText(*row));
    setupReplied_ = false;
    retry_ = 0;
    timers_.SetTimer(this, kSetupTimer, kTickMs);
}

void DmController::OnSetupTick() {
    if (!setupReplied_ && retry_ < kSetupRetries) {
        ++retry_;
        Send(setupCommand_, table_.IpText(*setupRow_));
        return;
    }
    timers_.KillTimer(this, kSetupTimer);
    retry_ = 0;
    setupRow_.reset();
    if (setupReplied_) {
        SetProgress(kSetupDoneProgress);
        StartSearch();
        return;
    }
    SetStatus(QStringLiteral("Setup Device Fail !"));
    SetProgress(kProgressMax);
    EnableAllButtons(true);
}

void DmController::OnSetupReply(const ReceivedDatagram& datagram) {
    if (datagram.length < msg::kRecordSize) return;
    const auto reply = DeviceConfigRecord::FromBytes(datagram.slot);
    if (!reply) return;
    // The reply belongs to the device being set up, or without a running setup to the
    // selected row; a reply that carries another device's MAC address changes nothing.
    const std::optional<int> row = setupRow_ ? setupRow_ : selected_;
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

std::optional<std::vector<int>> DmController::ConfirmAckFlow(const QString& question,
                                                             const QString& caption) {
    SetProgress(0);
    std::vector<int> ticked = table_.CheckedRows();
    if (ticked.empty()) {
        ShowDmMessage(frame_.Prompts(), QStringLiteral("Please select device(s) in the list !!"));
        return std::nullopt;
    }
    if (!Ask(frame_.Prompts(), question, caption)) return std::nullopt;
    if (!SubnetCheck(ticked.back())) return std::nullopt;
    return ticked;
}

void DmController::OnRestore() {
    restore_.Clear();
    std::optional<std::vector<int>> ticked =
        ConfirmAckFlow(QStringLiteral("This operation will return the device's default setting and "
                                      "reboot.\r\nDo you want to proceed ?"),
                       QStringLiteral("Reset"));
    if (!ticked) return;
    restartTicked_ = static_cast<int>(ticked->size());
    EnableAllButtons(false);
    restore_.Start(std::move(*ticked));
    retry_ = 0;
    timers_.SetTimer(this, kRestoreTimer, kTickMs);
    SetStatus(QStringLiteral(" Resetting ..."));
}

void DmController::OnReboot() {
    reboot_.Clear();
    std::optional<std::vector<int>> ticked = ConfirmAckFlow(
        QStringLiteral("Do you really want to REBOOT device(s) ?"), QStringLiteral("Reboot"));
    if (!ticked) return;
    EnableAllButtons(false);
    reboot_.Start(std::move(*ticked));
    retry_ = 0;
    timers_.SetTimer(this, kRebootTimer, kTickMs);
    SetStatus(QStringLiteral(" Rebooting ..."));
}

void DmController::OnAckTick(DmAckWork& work, int timerId) {
    const DmAckWork::Step step = work.Tick(retry_);
    switch (step) {
        case DmAckWork::Step::kSend: {
            const int row = work.Current();
            selected_ = row;
            const auto stored = std::span<const uint8_t>(table_.Record(row).bytes());
            const QByteArray command = timerId == kRestoreTimer ? msg::BuildRestoreCommand(stored)
                                                                : msg::BuildRebootCommand(stored);
            Send(command, table_.IpText(row));
            work.Sent(InetAddr(table_.IpText(row)));
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
    timers_.KillTimer(this, kRestartWaitTimer);
    restartCounter_ = 0;
    StartSearch();
}
