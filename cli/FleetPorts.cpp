#include "cli/FleetPorts.h"

#include <QObject>

#include "cli/CliSession.h"
#include "vsp/VspConnector.h"
#include "vspd/WinErrors.h"

namespace fleet {

namespace {

// A port connects within the service's own bound; this is only the last resort.
constexpr int kPortDeadlineMs = 30000;
constexpr int kComPrefix = 3;  // "COM"

uint32_t Connect(CVspDriver& driver, const QString& com) {
    uint32_t error = winerr::kSuccess;
    VspHandle handle = driver.OpenPort(com, &error);
    if (error != winerr::kSuccess) return error;
    VspConnector connector;
    bool finished = false;
    QObject::connect(&connector, &VspConnector::finished,
                     [&](const QString&, uint32_t result, VspConnector::Origin) {
                         finished = true;
                         error = result;
                     });
    connector.Start(com, std::move(handle), VspConnector::Origin::kButton);
    if (!CliSession::WaitUntil([&] { return finished; }, kPortDeadlineMs)) connector.Cancel(com);
    CliSession::WaitUntil([&] { return finished; }, kPortDeadlineMs);
    return error;
}

}  // namespace

QString MapPort(CVspDriver& driver, VspInstallService& installer, const inventory::PortSpec& spec,
                const PortSteps& steps) {
    uint32_t error = winerr::kSuccess;
    if (steps.add) {
        QString instance;
        error = installer.InstallPort(QString::fromLatin1(vspd::kVirtualHardwareId),
                                      spec.com.mid(kComPrefix).toUInt(), &instance);
        if (error != winerr::kSuccess)
            return QStringLiteral("cannot add %1 (error %2)").arg(spec.com).arg(error);
    }
    if (steps.configure) {
        const auto port = driver.FindPort(spec.com, &error);
        if (port && port->state != vspd::PortState::Idle) driver.Disconnect(spec.com);
        error = driver.SetRemoteInfo(spec.com, steps.config);
        if (error != winerr::kSuccess)
            return QStringLiteral("cannot configure %1 (error %2)").arg(spec.com).arg(error);
    }
    if (steps.connect)
        error = spec.client ? Connect(driver, spec.com) : driver.StartServer(spec.com);
    if (error != winerr::kSuccess)
        return QStringLiteral("%1 did not connect (error %2)").arg(spec.com).arg(error);
    const vspd::PortState wanted =
        spec.client ? vspd::PortState::Connected : vspd::PortState::Listening;
    const bool settled = CliSession::WaitUntil(
        [&] {
            uint32_t listError = 0;
            const auto port = driver.FindPort(spec.com, &listError);
            return port && port->state == wanted;
        },
        kPortDeadlineMs);
    return settled ? QString()
                   : QStringLiteral("%1 is not connected after the apply").arg(spec.com);
}

}  // namespace fleet
