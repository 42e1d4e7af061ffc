// Device replies of any shape and length, mixed with clicks and ticks, through the broadcast
// socket into the device manager: the list must never grow past its capacity, and every row
// must show the device whose reply it stores. Nothing here sends a datagram.
//
// Input: a sequence of operations, each one byte and its operands.
//   0 sel len body...  a datagram: magic, command (1, 3, 9 or 12 by sel), then len*4 bytes
//   1 row column       a click on a row
//   2 row tick         a check box set or cleared
//   3 row word         the virtual port view's status word ("Connected" or "Idle")
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devmgr/DmController.h"
#include "protocol/Ipv4Address.h"
#include "protocol/Message.h"
#include "tests/devmgr/FakeDmFrame.h"

namespace {

constexpr std::array<uint8_t, 4> kCommands{msg::kSearchReply, msg::kSetupReply, msg::kRestoreAck,
                                           msg::kRebootAck};

void CheckInStep(const DmController& dm) {
    const DmDeviceTable& t = dm.Table();
    if (t.Count() > DmDeviceTable::kCapacity) __builtin_trap();
    for (int row = 0; row < t.Count(); ++row) {
        if (t.CellText(row, DmDeviceTable::kMacColumn) != DmDeviceTable::MacText(t.Record(row)))
            __builtin_trap();
        if (t.CellText(row, DmDeviceTable::kIpColumn) !=
            Ipv4Address(t.Record(row).Get(devrec::currentIp)).ToString())
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FakeDmFrame frame;
    DmController dm(frame);
    size_t i = 0;
    while (i + 2 < size) {
        const uint8_t op = data[i] % 4;
        const uint8_t a = data[i + 1];
        const uint8_t b = data[i + 2];
        i += 3;
        switch (op) {
            case 0: {
                const size_t length = std::min<size_t>(size_t{b} * 4, size - i);
                std::vector<uint8_t> datagram(msg::kMagic.begin(), msg::kMagic.end());
                datagram.push_back(kCommands[a % kCommands.size()]);
                datagram.insert(datagram.end(), data + i, data + i + length);
                i += length;
                frame.socket.OnDatagram(datagram, QHostAddress(0x7F000000u | a), 25122);
                break;
            }
            case 1:
                dm.ClickRow(a, b % DmDeviceTable::kColumnCount);
                break;
            case 2:
                dm.SetRowChecked(a, b & 1);
                break;
            default:
                dm.SetStatusText(a, b & 1 ? QStringLiteral("Connected") : QStringLiteral("Idle"));
                break;
        }
        CheckInStep(dm);
    }
    return 0;
}
