#pragma once

// The two questions that start-up and the host interface selection ask the virtual
// serial port driver; CVspDriver answers them.
class VspDriverQueries {
  public:
    virtual ~VspDriverQueries() = default;
    // Tries every virtual port once; PortBusy() tells whether one could not be opened.
    virtual void CheckBusy() = 0;
    virtual bool PortBusy() const = 0;
    // True when a virtual port is connected, or when the ports cannot be enumerated.
    virtual bool IsAnyPortConnected() = 0;
};
