#include "devmgr/DmController.h"

#include <algorithm>
#include <utility>

#include "platform/DmMessageBox.h"
#include "platform/NetInterfaces.h"
#include "platform/UserPrompts.h"
#include "protocol/BroadcastSocket.h"
#include "protocol/Message.h"
#include "protocol/OneHost.h"
#include "protocol/UnicastSocket.h"
#include "upgrade/TftpClient.h"

namespace {

const QString kSelectOne = QStringLiteral("Please select a device server in the list !!");
const QString kOnlyOne = QStringLiteral("Please set ONE device server each time !!");
const QString kSubnetWarning = QStringLiteral(
    "The device's  ip network segment isn't same as host, Please confirm that the device can "
    "access through Router&Gateway.");
const QString kUpgradeSubnetWarning = QStringLiteral(
    "The device's IP network segment isn't same as host, please confirm that the device can "
    "access through Router or Gateway.");

}  // namespace

DmController::DmController(DmFrame& frame, QObject* parent)
    : QObject(parent),
      frame_(frame),
      timers_(frame.Timers()),
      tftp_(std::make_unique<CTftpClient>(timers_, frame.Prompts(),
                                          [this](const QString& text) { frame_.AddLog(text); })),
      devicePort_(msg::kDevicePort) {
    frame_.BroadcastSocket().SetDeviceManagerHandler(
        [this](const ReceivedDatagram& datagram) { HandleReply(datagram); });
    connect(tftp_.get(), &CTftpClient::buttonsEnabled, this, &DmController::OnUpgradeButtons);
    connect(tftp_.get(), &CTftpClient::progressed, this, &DmController::OnUpgradeProgress);
    connect(tftp_.get(), &CTftpClient::upgradeFinished, this, &DmController::OnUpgradeFinished);
    connect(tftp_.get(), &CTftpClient::upgradeFailed, this, &DmController::OnUpgradeFailed);
}

DmController::~DmController() {
    timers_.KillAll(this);
    frame_.BroadcastSocket().SetDeviceManagerHandler(nullptr);
}

void DmController::InitialUpdate() {
    buttons_.fill(true);
    EnableRowButtons(false);
    SetIdle();
    SetProgress(0);
    ClearList();
    SetSearchAtStartBox(frame_.DmSettings().searchAtStart);
    timers_.SetTimer(this, kStartupTimer, kTickMs);
}

void DmController::HandOverSettings() {
    DmSettingsValues values = frame_.DmSettings();
    values.searchAtStart = searchAtStartBox_;
    frame_.SetDmSettings(values);
}

void DmController::SetSearchAtStartBox(bool on) {
    if (searchAtStartBox_ == on) return;
    searchAtStartBox_ = on;
    emit searchAtStartChanged(on);
}

void DmController::SetStatus(const QString& text) {
    status_ = text;
    emit controlsChanged();
}

void DmController::SetIdle() {
    SetStatus(QStringLiteral(" Idle"));
}

void DmController::SetProgress(int value) {
    progress_ = value;
    emit controlsChanged();
}

void DmController::EnableButton(DmButton button, bool enabled) {
    buttons_[Index(button)] = enabled;
    emit controlsChanged();
}

void DmController::EnableRowButtons(bool enabled) {
    for (DmButton b :
         {DmButton::kDeviceSetup, DmButton::kWebBrowser, DmButton::kRestore, DmButton::kReboot})
        buttons_[Index(b)] = enabled;
    emit controlsChanged();
}

void DmController::EnableAllButtons(bool enabled) {
    buttons_.fill(enabled);
    emit controlsChanged();
}

void DmController::RunConfirmed(std::function<void()> start) {
    if (flow_ == DmFlow::kIdle) {
        start();
        return;
    }
    if (confirmed_) {
        ShowDmMessage(frame_.Prompts(),
                      QStringLiteral("Another operation is waiting to start. Nothing was sent."));
        return;
    }
    confirmed_ = std::move(start);
}

void DmController::EndFlow() {
    flow_ = DmFlow::kIdle;
    if (std::function<void()> start = std::exchange(confirmed_, nullptr)) start();
}

void DmController::ShowIdleUnlessBusy() {
    if (flow_ != DmFlow::kIdle) return;
    SetIdle();
    SetProgress(0);
}

void DmController::ClearList() {
    table_.Clear();
    selected_.reset();
    emit listReset();
}

bool DmController::Send(const QByteArray& data, const QString& destination) {
    return frame_.BroadcastSocket().Send(data, destination, devicePort_);
}

bool DmController::SendTo(const QByteArray& data, uint32_t address) {
    return Send(data, Ipv4Address(address).ToString());
}

std::optional<DmTarget> DmController::FindAgain(const DeviceConfigRecord& chosen) {
    const QString mac = DmDeviceTable::MacText(chosen);
    const int row = table_.FindRowByMac(chosen.MacAddress());
    if (row < 0) {
        ShowDmMessage(
            frame_.Prompts(),
            QStringLiteral("The device %1 is no longer listed. Nothing was sent.").arg(mac));
        return std::nullopt;
    }
    const DeviceConfigRecord& record = table_.Record(row);
    const QString why = WhyNotOneHost(Ipv4Address(record.Get(devrec::currentIp)), frame_.Net(),
                                      Ipv4Address(record.Get(devrec::subnetMask)));
    if (!why.isEmpty()) {
        ShowDmMessage(
            frame_.Prompts(),
            QStringLiteral("The device %1 has no address to send to (%2). Nothing was sent.")
                .arg(mac, why));
        return std::nullopt;
    }
    return DmTarget{record.Get(devrec::currentIp), record};
}

void DmController::Untick(const DeviceConfigRecord& device) {
    SetRowChecked(table_.FindRowByMac(device.MacAddress()), false);
}

void DmController::InformSearchResult(const QString& text) {
    frame_.Prompts().Inform(text, QStringLiteral("Searching Result"), PromptIcon::Information);
}

void DmController::WarnIfLowPort(const DeviceConfigRecord& record) {
    if (DmDeviceTable::ShownPort(record) < kLowestDataPort)
        InformSearchResult(QStringLiteral("Port number should greater than 1024."));
}

void DmController::HandleReply(const ReceivedDatagram& datagram) {
    switch (datagram.Command()) {
        case msg::kSearchReply:
            OnSearchReply(datagram);
            break;
        case msg::kSetupReply:
            OnSetupReply(datagram);
            break;
        case msg::kRestoreAck:
            restore_.Acknowledge(datagram.sender.toIPv4Address());
            break;
        case msg::kRebootAck:
            reboot_.Acknowledge(datagram.sender.toIPv4Address());
            break;
        default:
            break;
    }
}

void DmController::OnTimer(int timerId) {
    switch (timerId) {
        case kSearchTimer:
            OnSearchTick();
            break;
        case kSetupTimer:
            OnSetupTick();
            break;
        case kRestoreTimer:
            OnAckTick(restore_, kRestoreTimer);
            break;
        case kRebootTimer:
            OnAckTick(reboot_, kRebootTimer);
            break;
        case kRestartWaitTimer:
            OnRestartWaitTick();
            break;
        case kStartupTimer:
            OnStartupTick();
            break;
        default:
            break;
    }
}

std::optional<int> DmController::SingleDeviceChoice() {
    const std::vector<int> ticked = table_.CheckedRows();
    if (ticked.empty()) {
        ShowDmMessage(frame_.Prompts(), kSelectOne);
        return std::nullopt;
    }
    selected_ = ticked.back();
    if (ticked.size() > 1) {
        ShowDmMessage(frame_.Prompts(), kOnlyOne);
        return std::nullopt;
    }
    return selected_;
}

bool DmController::SubnetCheck(const DeviceConfigRecord& device, DmSubnetWarning warning) {
    // The host's address and netmask come from the interface table; a text that is none
    // leaves the check to warn.
    const std::optional<Ipv4Address> host = Ipv4Address::Parse(frame_.HostAddress());
    const std::optional<Ipv4Address> mask = Ipv4Address::Parse(frame_.HostNetmask());
    if (host && mask && Ipv4Address(device.Get(devrec::currentIp)).SameSubnet(*host, *mask))
        return true;
    const bool upgrade = warning == DmSubnetWarning::kUpgrade;
    const bool yes =
        frame_.Prompts().MessageBox(
            {QStringLiteral("Warning"), upgrade ? kUpgradeSubnetWarning : kSubnetWarning,
             PromptButtons::YesNo, upgrade ? PromptIcon::Warning : PromptIcon::Information,
             PromptAnswer::No}) == PromptAnswer::Yes;
    if (!yes && upgrade) Untick(device);
    return yes;
}

void DmController::ClickRow(int row, int column) {
    if (!table_.Contains(row)) {
        selected_.reset();
        return;
    }
    selected_ = row;
    if (column != DmDeviceTable::kCheckColumn) SetRowChecked(row, !table_.IsChecked(row));
}

void DmController::DoubleClickRow(int row) {
    if (!table_.Contains(row)) return;
    selected_ = row;
    SetRowChecked(row, true);
    // Only while no other flow runs: two flows would share the retry counter.
    if (ButtonEnabled(DmButton::kDeviceSetup)) OnDeviceSetup();
}

void DmController::SetRowChecked(int row, bool ticked) {
    if (!table_.Contains(row) || table_.IsChecked(row) == ticked) return;
    table_.SetChecked(row, ticked);
    emit rowChanged(row);
}

void DmController::SetStatusText(int row, const QString& text) {
    if (!table_.Contains(row)) return;
    table_.SetStatusText(row, text);
    emit rowChanged(row);
}

void DmController::OnWebBrowser() {
    if (Busy()) return;
    SetProgress(0);
    SetIdle();
    const std::optional<int> row = SingleDeviceChoice();
    if (!row) return;
    const DeviceConfigRecord chosen = table_.Record(*row);
    if (!SubnetCheck(chosen)) return;
    const std::optional<DmTarget> target = FindAgain(chosen);
    if (!target) return;
    frame_.Prompts().ShellOpen(QStringLiteral("http://") + Ipv4Address(target->address).ToString());
}

void DmController::OnFirmwareUpgrade() {
    if (Busy()) return;
    const std::optional<int> row = SingleDeviceChoice();
    if (!row) return;
    const DeviceConfigRecord chosen = table_.Record(*row);
    if (!SubnetCheck(chosen, DmSubnetWarning::kUpgrade)) return;
    const std::optional<QString> image = imageChooser_ ? imageChooser_() : std::nullopt;
    if (!image) return;
    RunConfirmed([this, chosen, path = *image] { StartUpgrade(chosen, path); });
}

void DmController::StartUpgrade(const DeviceConfigRecord& chosen, const QString& image) {
    const std::optional<DmTarget> target = FindAgain(chosen);
    if (!target) return;
    StopRestartWait();
    const Ipv4Address host = Ipv4Address::Parse(frame_.HostAddress()).value_or(Ipv4Address());
    if (tftp_->Start(image, target->address, host.HostOrder())) flow_ = DmFlow::kUpgrade;
}

void DmController::OnUpgradeButtons(bool enabled) {
    EnableAllButtons(enabled);
    if (enabled && flow_ == DmFlow::kUpgrade) EndFlow();
}

void DmController::OnUpgradeProgress(const TftpProgress& progress) {
    SetStatus(QStringLiteral(" Uploading ") + ProgressText(progress));
    SetProgress(
        static_cast<int>(progress.sent * kProgressMax / std::max<int64_t>(1, progress.total)));
}

// The device restarts with its new firmware: wait, then search again. A flow that was waiting
// for the upgrade has started instead, shows its own status and ends in a search of its own.
void DmController::OnUpgradeFinished() {
    if (flow_ != DmFlow::kIdle) return;
    SetStatus(QStringLiteral(" Upgraded, restarting ..."));
    StartRestartWait(kUpgradedDevices);
}

void DmController::OnUpgradeFailed() {
    if (flow_ != DmFlow::kIdle) return;
    SetStatus(QStringLiteral("Upgrade Device Fail !"));
    SetProgress(kProgressMax);
}

bool DmController::SendHostAnnouncement(const QString& deviceAddress,
                                        std::array<uint8_t, 2> reportedPort) {
    const std::optional<Ipv4Address> device = Ipv4Address::Parse(deviceAddress);
    if (!device || !WhyNotOneHost(*device, frame_.Net(), Ipv4Address()).isEmpty()) return false;
    if (!unicast_) unicast_ = std::make_unique<CUnicastSocket>(msg::kUnicastSocketPort);
    return unicast_->Announce(frame_.HostAddress(), deviceAddress, reportedPort);
}
