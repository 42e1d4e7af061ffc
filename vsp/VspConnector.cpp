#include "vsp/VspConnector.h"

#include <QMetaObject>

#include "vspd/DriverRequests.h"

VspConnector::VspConnector(CVspDriver& driver, QObject* parent)
    : QObject(parent), driver_(driver) {}

VspConnector::~VspConnector() {
    for (auto& [name, thread] : attempts_) driver_.CancelConnection(name);
    // Results posted meanwhile are dropped with this object.
    for (auto& [name, thread] : attempts_) thread->join();
}

bool VspConnector::Start(const QString& name, VspHandle handle, Origin origin) {
    if (Running(name)) return false;
    auto work = [this, name, origin, handle = std::move(handle)]() mutable {
        const uint32_t error = handle.Ioctl(vspd::kIoctlConnection);
        handle.Close();
        QMetaObject::invokeMethod(
            this, [this, name, error, origin] { Finish(name, error, origin); },
            Qt::QueuedConnection);
    };
    attempts_[name] = std::make_unique<std::thread>(std::move(work));
    return true;
}

uint32_t VspConnector::Cancel(const QString& name) {
    return Running(name) ? driver_.CancelConnection(name) : 0;
}

void VspConnector::Finish(const QString& name, uint32_t error, Origin origin) {
    auto it = attempts_.find(name);
    if (it == attempts_.end()) return;
    it->second->join();
    attempts_.erase(it);
    emit finished(name, error, origin);
}
