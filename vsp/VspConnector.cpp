#include "vsp/VspConnector.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QMetaObject>

#include "vspd/DriverRequests.h"

VspConnector::~VspConnector() {
    for (auto& [name, attempt] : attempts_) shutdown(attempt->abortSocket, SHUT_RDWR);
    // Results posted meanwhile are dropped with this object.
    for (auto& [name, attempt] : attempts_) {
        attempt->thread.join();
        close(attempt->abortSocket);
    }
}

bool VspConnector::Start(const QString& name, VspHandle handle, Origin origin) {
    if (Running(name) || !handle.IsValid()) return false;
    auto attempt = std::make_unique<Attempt>();
    attempt->abortSocket = dup(handle.SessionSocket());
    attempt->thread = std::thread([this, name, origin, handle = std::move(handle)]() mutable {
        const uint32_t error = handle.Ioctl(vspd::kIoctlConnection);
        handle.Close();
        QMetaObject::invokeMethod(
            this, [this, name, error, origin] { Finish(name, error, origin); },
            Qt::QueuedConnection);
    });
    attempts_[name] = std::move(attempt);
    return true;
}

void VspConnector::Cancel(const QString& name) {
    auto it = attempts_.find(name);
    if (it == attempts_.end()) return;
    it->second->cancelled = true;
    shutdown(it->second->abortSocket, SHUT_RDWR);
}

void VspConnector::Finish(const QString& name, uint32_t error, Origin origin) {
    auto it = attempts_.find(name);
    if (it == attempts_.end()) return;
    const bool cancelled = it->second->cancelled;
    it->second->thread.join();
    close(it->second->abortSocket);
    attempts_.erase(it);
    emit finished(name, error, origin, cancelled);
}
