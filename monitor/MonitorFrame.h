#pragma once

#include <QString>
#include <vector>

class CBroadcastSocket;
class NetInterfaces;
class TimerHost;
class UserPrompts;

// One ticked row of the device manager's list, as the monitor copies it.
struct MonitorDevice {
    int index = 0;  // the row's index in the device manager's list
    QString name;
    QString ip;   // dotted text
    QString mac;  // as the device manager's list shows it

    bool operator==(const MonitorDevice&) const = default;
};

// What the device monitor needs of the main frame. The frame owns the shared state; the view
// and its flow reach it only through this interface, all on the user-interface thread.
class MonitorFrame {
  public:
    virtual ~MonitorFrame() = default;

    virtual void AddLog(const QString& text) = 0;
    virtual TimerHost& Timers() = 0;
    virtual UserPrompts& Prompts() = 0;
    // Bound by the frame to the host address, port 25120; status replies come back to it.
    virtual CBroadcastSocket& BroadcastSocket() = 0;
    // Dotted text chosen at start-up; empty when the selection failed.
    virtual QString HostAddress() const = 0;
    // The host's subnets: a query goes only to an address that names one device in them.
    virtual NetInterfaces& Net() = 0;
    // The device manager's checked rows, in its list's order.
    virtual std::vector<MonitorDevice> CheckedDevices() const = 0;
    // Every row of the device manager's list as it is now: which device (MAC address) is at
    // which address. A status reply carries no MAC address; this pairing says whose it is.
    virtual std::vector<MonitorDevice> ListedDevices() const = 0;
    // The settings' "(MON) Monitor Timer (sec)", read at start-up and written after a change.
    virtual int MonitorInterval() const = 0;
    virtual void SetMonitorInterval(int seconds) = 0;
};
