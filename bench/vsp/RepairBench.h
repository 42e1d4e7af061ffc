#pragma once

#include <QList>
#include <QString>
#include <cstdint>

#include "BenchFrame.h"
#include "Lateness.h"

// A TCP listener on 127.0.0.1 whose accept queue is full: further connection attempts get no
// answer at all.
class SilentPeer {
  public:
    SilentPeer();
    ~SilentPeer();
    uint16_t Port() const { return port_; }

  private:
    int listener_ = -1;
    int fillers_[2] = {-1, -1};
    uint16_t port_ = 0;
};

// One pass of connection attempts: how long it took, how late the user-interface thread
// was meanwhile, and the error code of each attempt.
struct RepairPass {
    qint64 totalMs = -1;
    Lateness late;
    QList<uint32_t> errors;
};

// The start-up repair of client ports whose device never answers, against a service of its
// own: the ports are configured for the silent peer with connect-at-start, not connected,
// and vsp.dat saves them as "Connected".
class RepairBench {
  public:
    static constexpr int kPorts = 16;

    explicit RepairBench(const QString& socket);
    // Installs COM1 to COM16 and configures them; false with the reason on stderr.
    bool Prepare();
    // The program's repair with COM1 to COM`saved` saved as connected, from the reconnection
    // timer's firing until the last attempt has ended.
    RepairPass Repair(int saved);
    // The same attempts one after another on the user-interface thread, as the control
    // client makes them.
    RepairPass OneAfterAnother();

  private:
    bool SaveAsConnected(int saved);

    QString socket_;
    BenchFrame frame_;
    SilentPeer peer_;
};
