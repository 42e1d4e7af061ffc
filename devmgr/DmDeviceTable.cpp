#include "devmgr/DmDeviceTable.h"

#include "protocol/Ipv4Address.h"

using namespace devrec;

namespace {

// Byte that never occurs inside a name, so nothing is skipped: reading stops at zero first.
constexpr uint8_t kSkipNothing = 0;

QString LinkStatusText(uint8_t linkStatus) {
    switch (linkStatus) {
        case 0:
            return QStringLiteral("Idle");
        case 1:
            return QStringLiteral("Connected");
        default:
            return QStringLiteral("Unknown");
    }
}

}  // namespace

QString DmDeviceTable::CellText(int row, int column) const {
    if (!Contains(row) || column < 0 || column >= kColumnCount) return {};
    return At(row).cells[static_cast<size_t>(column)];
}

uint16_t DmDeviceTable::ShownPort(const DeviceConfigRecord& record) {
    return record.Flag(netFlags, kClientMode) ? record.Get(destinationPort)
                                              : record.Get(listenPort);
}

QString DmDeviceTable::MacText(const DeviceConfigRecord& record) {
    const auto mac = record.MacAddress();
    return QString::asprintf("%02X-%02X-%02X-%02x-%02x-%02X", mac[0], mac[1], mac[2], mac[3],
                             mac[4], mac[5]);
}

bool DmDeviceTable::HasMac(const std::array<uint8_t, kMacSize>& mac) const {
    return FindRowByMac(mac) >= 0;
}

int DmDeviceTable::FindRowByMac(const std::array<uint8_t, kMacSize>& mac) const {
    for (int i = 0; i < Count(); ++i)
        if (At(i).record.MacAddress() == mac) return i;
    return -1;
}

std::optional<int> DmDeviceTable::AddSearchReply(const DeviceConfigRecord& reply) {
    if (IsFull() || HasMac(reply.MacAddress())) return std::nullopt;
    const int row = Count();
    rows_.push_back(Row{reply, {}, kDmNewRowBack, std::nullopt, false});
    if (reply.Get(linkStatus) == 1) rows_.back().back = kDmConnectedBack;
    FillCells(row, kSkipFF);
    return row;
}

void DmDeviceTable::ApplySetupReply(int row, const DeviceConfigRecord& reply) {
    if (!Contains(row)) return;
    Row& target = rows_[static_cast<size_t>(row)];
    target.record = reply;
    target.back = kDmNewRowBack;
    target.text = kDmSetupDoneText;
    target.checked = false;
    FillCells(row, kSkipNothing);
    target.cells[kStatusColumn] = QStringLiteral("Device Setup Success");
}

void DmDeviceTable::FillCells(int row, uint8_t nameSkip) {
    Row& target = rows_[static_cast<size_t>(row)];
    const DeviceConfigRecord& r = target.record;
    const bool client = r.Flag(netFlags, kClientMode);
    QString name = r.Get(deviceName, nameSkip);
    if (name.isEmpty()) name = QStringLiteral("DSM%1").arg(row + 1);
    target.cells = {
        QString(),
        QString::number(row + 1),
        name,
        MacText(r),
        r.Flag(netFlags, kDhcpClient) ? QStringLiteral("Enable") : QStringLiteral("Disable"),
        Ipv4Address(r.Get(currentIp)).ToString(),
        QString::number(ShownPort(r)),
        client ? QStringLiteral("Client") : QStringLiteral("Server"),
        LinkStatusText(r.Get(linkStatus)),
    };
}

void DmDeviceTable::SetStatusText(int row, const QString& text) {
    if (!Contains(row)) return;
    Row& target = rows_[static_cast<size_t>(row)];
    target.cells[kStatusColumn] = text;
    if (text == QLatin1String("Connected")) target.back = kDmConnectedBack;
    if (text == QLatin1String("Idle")) target.back = kDmNewRowBack;
}

bool DmDeviceTable::SetChecked(int row, bool checked) {
    if (!Contains(row)) return false;
    rows_[static_cast<size_t>(row)].checked = checked;
    return true;
}

std::vector<int> DmDeviceTable::CheckedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < Count(); ++i)
        if (At(i).checked) rows.push_back(i);
    return rows;
}

int DmDeviceTable::FindRowByIp(const QString& ip) const {
    for (int i = 0; i < Count(); ++i)
        if (At(i).cells[kIpColumn] == ip) return i;
    return -1;
}
