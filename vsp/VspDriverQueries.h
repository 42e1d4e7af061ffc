#pragma once

// The two questions that start-up and the host interface selection ask the virtual
// serial port driver; CVspDriver answers them, tests use a fake.
class VspDriverQueries {
  public:
    virtual ~VspDriverQueries() = default;
    // Tries every virtual port once; PortBusy() tells whether one could not be opened.
    virtual void CheckBusy() = 0;
    virtual bool PortBusy() const = 0;
    // True when a virtual port is connected, or when the ports cannot be enumerated.
    virtual bool IsAnyPortConnected() = 0;
};

class FakeVspDriverQueries final : public VspDriverQueries {
  public:
    bool busy = false;
    bool anyConnected = false;
    int checkBusyCalls = 0;
    void CheckBusy() override { ++checkBusyCalls; }
    bool PortBusy() const override { return busy; }
    bool IsAnyPortConnected() override { return anyConnected; }
};
