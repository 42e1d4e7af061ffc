#pragma once

#include <QString>

class CBroadcastSocket;
class NetInterfaces;
class TimerHost;
class UserPrompts;

// The three periods of the timer setting dialog, as the settings file keeps them.
struct DmPeriods {
    int search = 10;   // 100 ms units
    int restore = 10;  // 100 ms units
    int reboot = 15;   // seconds

    bool operator==(const DmPeriods&) const = default;
};

// The settings values the device manager reads at start and hands back: the periods (written
// when the timer dialog is confirmed) and "Search After Application Start" (written at close).
struct DmSettingsValues {
    DmPeriods periods{10, 15, 15};
    bool searchAtStart = false;

    bool operator==(const DmSettingsValues&) const = default;
};

// What the device manager needs of the main frame. The frame owns the shared state; the view
// and its flows reach it only through this interface, all on the user-interface thread.
class DmFrame {
  public:
    virtual ~DmFrame() = default;

    virtual void AddLog(const QString& text) = 0;
    virtual TimerHost& Timers() = 0;
    virtual UserPrompts& Prompts() = 0;
    // Bound by the frame to the host address, port 25120, before the view's initial update.
    virtual CBroadcastSocket& BroadcastSocket() = 0;
    // Dotted texts chosen at start-up; empty when the selection failed.
    virtual QString HostAddress() const = 0;
    virtual QString HostNetmask() const = 0;
    // The host's interfaces: no command goes to an edge of their subnets.
    virtual NetInterfaces& Net() = 0;
    // The virtual serial port view's start-up repair, run once by the start-up actions.
    virtual void RunVspStartupRepair() = 0;
    // Read from and written back into the application settings record.
    virtual DmSettingsValues DmSettings() const = 0;
    virtual void SetDmSettings(const DmSettingsValues& values) = 0;
};
