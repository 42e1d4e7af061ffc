#pragma once

#include <sys/types.h>

#include <QString>

#include "BenchFrame.h"
#include "Lateness.h"

// How the user-interface thread fares while the service is stopped (SIGSTOP, as a debugger or
// a stuck disk stops it) for a while, with a refresh and a Connect under way.
struct StoppedPass {
    Lateness late;
    bool connected = false;  // the Connect reached its end once the service went on
    bool ended = false;
};

class StoppedBench {
  public:
    StoppedBench(const QString& socket, pid_t service);
    // Installs and configures COM1 as a client of a loopback listener; false with the reason
    // on stderr.
    bool Prepare();
    // The port view: a refresh and a Connect, the service stopped for stopMs meanwhile.
    StoppedPass ViewPass(int stopMs);
    // The peer: one list request with the control client on the user-interface thread, the
    // service stopped as long.
    StoppedPass BlockingPass(int stopMs);

  private:
    QString socket_;
    pid_t service_;
    BenchFrame frame_;
    int listener_ = -1;
};
