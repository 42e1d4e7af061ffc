// What a simulated device takes from outside: management and probe datagrams, TFTP write
// requests and device description lines. The first byte chooses the path.
#include <cstddef>
#include <cstdint>

#include "platform/ManualClock.h"
#include "tools/devsim/DeviceProfileText.h"
#include "tools/devsim/DeviceSimulator.h"
#include "tools/devsim/SimDevice.h"
#include "tools/devsim/TftpServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ManualClock clock;
    static devsim::SimContext context = [] {
        devsim::SimContext c;
        c.timers = &clock;
        c.now = [] { return clock.Now(); };
        c.addressFree = [](uint32_t) { return false; };
        return c;
    }();
    if (size == 0) return 0;
    const QByteArray input(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    switch (data[0] % 3) {
        case 0:
        case 1: {
            // No sockets are opened: answers are only recorded.
            devsim::SimDevice device(0, devsim::DefaultProfile(0), 0x7F000002, context);
            const auto port = data[0] % 3 == 0 ? devsim::Port::Management : devsim::Port::Probe;
            device.OnDatagram(port, input, QHostAddress(QHostAddress::LocalHost), 25120);
            clock.Advance(devsim::kDefaultRestartMs);
            break;
        }
        default: {
            volatile auto request = devsim::ParseWriteRequest(input).has_value();
            volatile auto line =
                devsim::ParseDeviceLine(QString::fromUtf8(input), devsim::DeviceProfile{})
                    .profile.has_value();
            (void)request, (void)line;
        }
    }
    return 0;
}
