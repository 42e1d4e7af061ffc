#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <thread>

#include "vsp/VspDriver.h"

// Connection attempts, one per port, each on a thread of its own: the service answers
// IOCTL_CONNECTION only when the device answered or its bound ran out, and the window must
// stay usable meanwhile. The result comes back on the user-interface thread as a signal.
class VspConnector final : public QObject {
    Q_OBJECT
  public:
    // Why the attempt was made; it decides how a failure is told.
    enum class Origin { kButton, kDrop, kRepair };

    explicit VspConnector(CVspDriver& driver, QObject* parent = nullptr);
    // Cancels what still runs and waits for it: nothing is left behind when the window goes.
    ~VspConnector() override;

    // Takes the port's open handle; false when an attempt on the port already runs.
    bool Start(const QString& name, VspHandle handle, Origin origin);
    bool Running(const QString& name) const { return attempts_.count(name) != 0; }
    int RunningCount() const { return int(attempts_.size()); }
    // Asks the service to end the attempt; its result then arrives as usual.
    uint32_t Cancel(const QString& name);

  signals:
    // error is 0 when the port is connected.
    void finished(const QString& name, uint32_t error, VspConnector::Origin origin);

  private:
    void Finish(const QString& name, uint32_t error, Origin origin);

    CVspDriver& driver_;
    std::map<QString, std::unique_ptr<std::thread>> attempts_;
};
