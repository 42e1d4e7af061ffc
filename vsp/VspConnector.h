#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <thread>

#include "vsp/VspDriver.h"

// Connection attempts, one per port, each on a thread of its own: the service answers
// IOCTL_CONNECTION only when the device answered or its bound ran out, and the window must
// stay usable meanwhile. The result comes back on the user-interface thread as a signal. An
// attempt is cancelled by shutting its session down, which the service takes as the end of
// the attempt, as closing a handle cancels its pending requests.
class VspConnector final : public QObject {
    Q_OBJECT
  public:
    // Why the attempt was made; it decides how a failure is told.
    enum class Origin { kButton, kDrop, kRepair };

    VspConnector() = default;
    // Cancels what still runs and waits for it: nothing is left behind when the window goes.
    ~VspConnector() override;

    // Takes the port's open handle; false when an attempt on the port already runs.
    bool Start(const QString& name, VspHandle handle, Origin origin);
    bool Running(const QString& name) const { return attempts_.count(name) != 0; }
    int RunningCount() const { return int(attempts_.size()); }
    // Ends the attempt; its result arrives as usual, marked cancelled.
    void Cancel(const QString& name);

  signals:
    // error is 0 when the port is connected; cancelled when Cancel came first, whatever the
    // service made of the attempt.
    void finished(const QString& name, uint32_t error, VspConnector::Origin origin, bool cancelled);

  private:
    struct Attempt {
        std::thread thread;
        int abortSocket = -1;  // a second descriptor of the session's socket, ours to shut
        bool cancelled = false;
    };
    void Finish(const QString& name, uint32_t error, Origin origin);

    std::map<QString, std::unique_ptr<Attempt>> attempts_;
};
