#pragma once

#include <QByteArray>
#include <cstdint>

#include "devcfg/DeviceConfigRecord.h"
#include "protocol/Message.h"
#include "tools/devsim/DeviceProfile.h"

// The datagrams a simulated device sends, as pure functions of its state.
namespace devsim {

inline constexpr int kStatusReplySize = 32;
inline constexpr int kFirmwareVersionOffset = 10;
inline constexpr int kFirmwareVersionWidth = 14;  // text with its terminating zero
inline constexpr int kTxCountOffset = 24;
inline constexpr int kRxCountOffset = 28;

inline constexpr int kProbeAddressOffset = 34;
inline constexpr int kProbeByteOffset = 69;
inline constexpr int kProbeAnswerSize = 70;

// A locally administered prefix, so that simulated MACs never collide with real hardware.
Mac DefaultMac(int index);

// Every field of the record with a value a device leaves the factory with.
DeviceConfigRecord FactoryRecord(const DeviceProfile& profile, uint32_t address, const Mac& mac);

// The stored record as it goes out in a search, setup or acknowledgement reply.
QByteArray ReplyImage(const DeviceConfigRecord& stored, msg::Command command);

// What a device keeps of a setup command: everything except the identity and live state that
// are the device's own (its MAC, the address it answers on, its link status) and the command
// header, which becomes that of a search reply.
DeviceConfigRecord AcceptSetup(const DeviceConfigRecord& command, const DeviceConfigRecord& live);

// 32 bytes: magic, 0x11, modem status, version text, TX and RX counters (little-endian).
QByteArray BuildStatusReply(const StatusValues& status);

// Command 0x01 on the probe port: the device's address at 34 and the probe byte at 69.
QByteArray BuildProbeAnswer(uint32_t address, uint8_t probeByte);

// The same datagram with its magic overwritten, for the "no magic" fault.
QByteArray WithoutMagic(QByteArray datagram);

}  // namespace devsim
