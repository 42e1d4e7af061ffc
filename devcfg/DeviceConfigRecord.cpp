#include "devcfg/DeviceConfigRecord.h"

#include <QStringList>
#include <algorithm>

#include "protocol/ByteOrder.h"
#include "protocol/Message.h"

using namespace devrec;

std::optional<DeviceConfigRecord> DeviceConfigRecord::FromBytes(std::span<const uint8_t> data) {
    if (data.size() < static_cast<size_t>(kSize)) return std::nullopt;
    DeviceConfigRecord record;
    std::copy_n(data.begin(), kSize, record.bytes_.begin());
    return record;
}

QByteArray DeviceConfigRecord::ToByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(bytes_.data()), kSize);
}

QByteArray DeviceConfigRecord::GetRaw(TextField f, uint8_t skip) const {
    QByteArray text;
    for (int i = 0; i < f.width; ++i) {
        const uint8_t c = bytes_[f.offset + i];
        if (c == 0) break;
        if (c != skip) text.append(static_cast<char>(c));
    }
    return text;
}

QString DeviceConfigRecord::Get(TextField f, uint8_t skip) const {
    return QString::fromLatin1(GetRaw(f, skip));
}

void DeviceConfigRecord::SetRaw(TextField f, const QByteArray& text) {
    auto field = bytes_.begin() + f.offset;
    std::fill_n(field, f.width, 0);
    std::copy_n(text.begin(), std::min<qsizetype>(text.size(), f.width), field);
}

void DeviceConfigRecord::Set(TextField f, const QString& text) {
    SetRaw(f, text.toLatin1());
}

uint16_t DeviceConfigRecord::Get(Be16Field f) const {
    return bytes::GetBE16(&bytes_[f.offset]);
}
void DeviceConfigRecord::Set(Be16Field f, uint16_t v) {
    bytes::PutBE16(&bytes_[f.offset], v);
}
uint16_t DeviceConfigRecord::Get(Le16Field f) const {
    return bytes::GetLE16(&bytes_[f.offset]);
}
void DeviceConfigRecord::Set(Le16Field f, uint16_t v) {
    bytes::PutLE16(&bytes_[f.offset], v);
}
uint32_t DeviceConfigRecord::Get(Le32Field f) const {
    return bytes::GetLE32(&bytes_[f.offset]);
}
void DeviceConfigRecord::Set(Le32Field f, uint32_t v) {
    bytes::PutLE32(&bytes_[f.offset], v);
}

uint32_t DeviceConfigRecord::Get(NetAddressField f) const {
    return bytes::GetBE32(&bytes_[f.offset]);
}
void DeviceConfigRecord::Set(NetAddressField f, uint32_t hostOrder) {
    bytes::PutBE32(&bytes_[f.offset], hostOrder);
}
uint32_t DeviceConfigRecord::Get(HostWordAddressField f) const {
    return bytes::GetLE32(&bytes_[f.offset]);
}
void DeviceConfigRecord::Set(HostWordAddressField f, uint32_t hostOrder) {
    bytes::PutLE32(&bytes_[f.offset], hostOrder);
}

void DeviceConfigRecord::SetFlag(ByteField f, uint8_t mask, bool on) {
    bytes_[f.offset] = on ? (bytes_[f.offset] | mask) : (bytes_[f.offset] & ~mask);
}

void DeviceConfigRecord::SetOperationMode(uint8_t mode) {
    Set(modeFlags, (Get(modeFlags) & ~kOperationModeMask) | (mode & kOperationModeMask));
}

std::array<uint8_t, kMacSize> DeviceConfigRecord::MacAddress() const {
    std::array<uint8_t, kMacSize> mac;
    std::copy_n(bytes_.begin() + macAddressOffset, kMacSize, mac.begin());
    return mac;
}

void DeviceConfigRecord::SetMacAddress(const std::array<uint8_t, kMacSize>& mac) {
    std::copy(mac.begin(), mac.end(), bytes_.begin() + macAddressOffset);
}

QString DeviceConfigRecord::MacAddressText() const {
    QStringList groups;
    for (uint8_t b : MacAddress())
        groups << QStringLiteral("%1").arg(b, 2, 16, QChar('0')).toUpper();
    return groups.join('-');
}

TextField DeviceConfigRecord::WepField(bool key128, int index) {
    index = std::clamp(index, 0, wepKeyCount - 1);
    return key128 ? TextField{wep128KeysOffset + index * wep128KeyWidth, wep128KeyWidth}
                  : TextField{wep64KeysOffset + index * wep64KeyWidth, wep64KeyWidth};
}

QString DeviceConfigRecord::WepKey(bool key128, int index) const {
    return Get(WepField(key128, index));
}

void DeviceConfigRecord::SetWepKey(bool key128, int index, const QString& key) {
    Set(WepField(key128, index), key);
}

DeviceConfigRecord BuildSetupCommand(const DeviceConfigRecord& edited,
                                     const std::array<uint8_t, kMacSize>& openedMac) {
    DeviceConfigRecord command = edited;
    auto& b = command.bytes();
    std::copy(msg::kMagic.begin(), msg::kMagic.end(), b.begin());
    command.Set(devrec::command, msg::kSetupCommand);
    command.Set(marker, 1);
    command.Set(fixedPort, msg::kDevicePort);
    command.Set(linkStatus, 0);
    for (auto [offset, width] : kReservedRanges) std::fill_n(b.begin() + offset, width, 0);
    command.SetMacAddress(openedMac);
    return command;
}
