#pragma once

#include "vsp/VspDriverQueries.h"

// Start-up's questions to the port driver, answered from fields.
class FakeVspDriverQueries final : public VspDriverQueries {
  public:
    bool busy = false;
    bool anyConnected = false;
    int checkBusyCalls = 0;
    void CheckBusy() override { ++checkBusyCalls; }
    bool PortBusy() const override { return busy; }
    bool IsAnyPortConnected() override { return anyConnected; }
};
