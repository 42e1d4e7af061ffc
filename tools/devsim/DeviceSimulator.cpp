#include "tools/devsim/DeviceSimulator.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QVariant>
#include <algorithm>

#include "tools/devsim/LoopbackGuard.h"

namespace devsim {

namespace {

constexpr int kListenerBufferBytes = 1 << 20;
constexpr int kMaxDatagram = 65536;
constexpr uint32_t kLoopbackBroadcast = 0x7FFFFFFF;

DeviceSimulator::Clock RealClock() {
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    return [started] { return started->elapsed(); };
}

}  // namespace

DeviceProfile DefaultProfile(int index) {
    DeviceProfile profile;
    profile.name = QStringLiteral("VTM5800x-%1").arg(index + 1, 3, 10, QChar('0'));
    return profile;
}

DeviceSimulator::DeviceSimulator(TimerHost& timers, Clock now, SimulatorOptions options)
    : options_(options), nextAddress_(options.baseAddress) {
    context_.timers = &timers;
    context_.now = now ? std::move(now) : RealClock();
    context_.managementPort = options.managementPort;
    context_.probePort = options.probePort;
    context_.tftpPort = options.tftpPort;
    context_.tftp = options.tftp;
    context_.recordTraffic = options.recordTraffic;
    context_.addressFree = [this](uint32_t address) { return AddressFree(address); };
}

DeviceSimulator::DeviceSimulator(ManualClock& clock, SimulatorOptions options)
    : DeviceSimulator(
          clock, [&clock] { return clock.Now(); }, options) {}

DeviceSimulator::~DeviceSimulator() = default;

bool DeviceSimulator::Start() {
    if (listener_) return true;
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress::AnyIPv4, options_.managementPort,
                      QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return false;
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                            QVariant(kListenerBufferBytes));
    listener_ = std::move(socket);
    QObject::connect(listener_.get(), &QUdpSocket::readyRead, listener_.get(),
                     [this] { ReadListener(); });
    return true;
}

void DeviceSimulator::ReadListener() {
    while (listener_->hasPendingDatagrams()) {
        const QNetworkDatagram d = listener_->receiveDatagram(kMaxDatagram);
        OnBroadcast(d.data(), d.senderAddress(), static_cast<uint16_t>(d.senderPort()),
                    d.destinationAddress());
    }
}

void DeviceSimulator::OnBroadcast(const QByteArray& data, const QHostAddress& sender,
                                  uint16_t senderPort, const QHostAddress& destination) {
    // Unicast to an address where no device lives also lands here; only broadcasts count.
    if (!destination.isNull() && destination.toIPv4Address() != 0xFFFFFFFF &&
        destination.toIPv4Address() != kLoopbackBroadcast)
        return;
    if (CommandOf(data) != msg::kSearchRequest) return;
    if (options_.searchSenderPort && senderPort != options_.searchSenderPort) return;
    if (!IsLoopbackDestination(sender)) {
        if (context_.log)
            context_.log(
                QStringLiteral("search from %1 ignored: not loopback").arg(sender.toString()));
        return;
    }
    ++searches_;
    if (context_.log)
        context_.log(QStringLiteral("search request (broadcast) from %1:%2")
                         .arg(sender.toString())
                         .arg(senderPort));
    for (auto& device : devices_)
        device->OnDatagram(Port::Management, data, sender, senderPort, true);
}

SimDevice* DeviceSimulator::AddDevice(const DeviceProfile& profile) {
    const uint32_t address = profile.address ? profile.address : NextFreeAddress();
    if (!IsAssignableLoopback(address) || !AddressFree(address)) return nullptr;
    auto device = std::make_unique<SimDevice>(Count(), profile, address, context_);
    if (!device->Open()) return nullptr;
    if (context_.log)
        context_.log(QStringLiteral("device %1 \"%2\" at %3, MAC %4%5")
                         .arg(Count() + 1)
                         .arg(profile.name, device->AddressText(),
                              device->FactoryRecord().MacAddressText(),
                              options_.tftp && !device->TftpOpen()
                                  ? QStringLiteral(" (TFTP port unavailable)")
                                  : QString()));
    devices_.push_back(std::move(device));
    return devices_.back().get();
}

bool DeviceSimulator::AddDevices(int count) {
    for (int i = 0; i < count; ++i)
        if (!AddDevice(DefaultProfile(Count()))) return false;
    return true;
}

uint32_t DeviceSimulator::NextFreeAddress() {
    while (InLoopbackNet(nextAddress_) &&
           (!IsAssignableLoopback(nextAddress_) || !AddressFree(nextAddress_)))
        ++nextAddress_;
    return nextAddress_;
}

bool DeviceSimulator::AddressFree(uint32_t address) const {
    return std::none_of(devices_.begin(), devices_.end(),
                        [address](const auto& d) { return d->Address() == address; });
}

SimDevice* DeviceSimulator::FindByAddress(uint32_t address) {
    for (auto& d : devices_)
        if (d->Address() == address) return d.get();
    return nullptr;
}

SimDevice* DeviceSimulator::FindByMac(const Mac& mac) {
    for (auto& d : devices_)
        if (d->MacAddress() == mac) return d.get();
    return nullptr;
}

int DeviceSimulator::RefusedSends() const {
    int total = 0;
    for (const auto& d : devices_) total += d->RefusedSends();
    return total;
}

}  // namespace devsim
