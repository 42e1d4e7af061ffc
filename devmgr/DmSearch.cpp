// The broadcast search and the start-up actions of the device manager.
#include "devmgr/DmController.h"
#include "protocol/BroadcastSocket.h"
#include "protocol/Message.h"

namespace {

// The retry that ends a search with nothing listed: progress shows it is nearly over.
constexpr int kSearchRetryProgress = 850;

}  // namespace

void DmController::OnSearch() {
    if (Busy()) return;
    StopRestartWait();
    SetProgress(0);
    SetStatus(QStringLiteral(" Searching ..."));
    StartSearch();
}

void DmController::StartSearch() {
    flow_ = DmFlow::kSearch;
    ClearList();
    EnableAllButtons(false);
    SendSearchRequest(kSearchRequestBurst);
    searchRetry_ = 0;
    timers_.SetTimer(this, kSearchTimer, kTickMs);
}

void DmController::SendSearchRequest(int times) {
    const QByteArray request = msg::BuildSearchRequest();
    const QString everyone = QString::fromLatin1(msg::kBroadcastAddress);
    for (int i = 0; i < times; ++i) Send(request, everyone);
}

void DmController::OnSearchTick() {
    if (table_.Count() == 0 && searchRetry_ < kSearchRetries) {
        SetProgress(kSearchRetryProgress);
        SendSearchRequest(1);
        ++searchRetry_;
        return;
    }
    timers_.KillTimer(this, kSearchTimer);
    searchRetry_ = 0;
    for (DmButton b : {DmButton::kSystemSetting, DmButton::kSearch, DmButton::kFirmwareUpgrade})
        EnableButton(b, true);
    SetProgress(kProgressMax);
    SetIdle();
    QStringList listed;
    for (int row = 0; row < table_.Count(); ++row)
        listed << table_.CellText(row, DmDeviceTable::kMacColumn);
    emit searchEnded(listed);
    if (table_.Count() == 0)
        InformSearchResult(QStringLiteral("No devices found!"));
    else
        EnableRowButtons(true);
    EndFlow();
}

void DmController::OnSearchReply(const ReceivedDatagram& datagram) {
    // A record is the whole 756 bytes; a shorter datagram would be completed with whatever an
    // older datagram left in the slot.
    if (datagram.length < msg::kRecordSize) return;
    const auto reply = DeviceConfigRecord::FromBytes(datagram.slot);
    if (!reply) return;
    const std::optional<int> row = table_.AddSearchReply(*reply);
    if (!row) return;
    emit rowInserted(*row);
    WarnIfLowPort(*reply);
}

void DmController::OnStartupTick() {
    timers_.KillTimer(this, kStartupTimer);
    frame_.RunVspStartupRepair();
    // A search the user started in the first second is the one asked for.
    if (frame_.DmSettings().searchAtStart && flow_ == DmFlow::kIdle) StartSearch();
}
