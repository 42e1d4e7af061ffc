// Feeds datagrams through the broadcast socket's receive ring and dispatch, and decodes
// every dispatched slot as a device record the way the device manager does.
#include <cstddef>
#include <cstdint>

#include "devcfg/DeviceConfigRecord.h"
#include "protocol/BroadcastSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CBroadcastSocket* socket = [] {
        auto* s = new CBroadcastSocket;
        const auto decode = [](const ReceivedDatagram& d) {
            auto record = DeviceConfigRecord::FromBytes(d.slot);
            if (!record) __builtin_trap();  // a slot always holds a whole record
            volatile auto name = record->Get(devrec::deviceName, devrec::kSkipCC).size();
            volatile auto mac = record->MacAddressText().size();
            volatile auto ip = record->Get(devrec::currentIp) + record->Get(devrec::dhcpPoolStart);
            volatile auto port = record->Get(devrec::listenPort) + record->Get(devrec::modbusPort);
            (void)name, (void)mac, (void)ip, (void)port;
        };
        s->SetDeviceManagerHandler(decode);
        s->SetMonitorHandler(decode);
        return s;
    }();
    socket->OnDatagram({data, size}, QHostAddress(QHostAddress::LocalHost), 25122);
    return 0;
}
