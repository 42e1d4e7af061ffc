#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

class CVspDriver;
class CVspDatFile;
class NetInterfaces;
class TimerHost;
class UserPrompts;

// The settings values the virtual serial port view reads at its initial update.
struct VspSettingsValues {
    bool showMaxPacketSize = false;  // "(VSP) Maximum Network TX Packet Size Setting"
    bool connectionCheck = false;    // "(VSP) VSP Connection Status Check Function"
};

// What the virtual serial port view needs of the main frame: shared services, the port table,
// and the calls into the device manager, the terminal and the navigation tree. All on the
// user-interface thread.
class VspFrame {
  public:
    virtual ~VspFrame() = default;

    virtual void AddLog(const QString& text) = 0;
    virtual TimerHost& Timers() = 0;
    virtual UserPrompts& Prompts() = 0;
    virtual NetInterfaces& Net() = 0;
    virtual QString HostAddress() const = 0;
    virtual VspSettingsValues VspSettings() const = 0;

    // The table as start-up read it from vsp.dat.
    virtual const CVspDatFile& PortTable() const = 0;
    // Where the table is loaded from and saved to.
    virtual QString PortTablePath() const = 0;
    // The driver whose service the view talks to (its requests run on a worker of their own).
    virtual CVspDriver& VspDriver() = 0;
    // The driver package, read by the installation.
    virtual QString DriverPackagePath() const = 0;

    // The device manager's list: the first row whose IP column reads `ip` (-1 if none), its
    // UDP flag, and its status column, which the port commands keep in step with the links.
    virtual int DmFindRowByIp(const QString& ip) const = 0;
    virtual bool DmRowUdp(int row) const = 0;
    virtual void DmSetStatusText(int row, const QString& text) = 0;
    // The device manager's host announcement to a device, sent three times from its unicast
    // socket; reportedPort as the service reported it.
    virtual bool SendHostAnnouncement(const QString& deviceAddress,
                                      std::array<uint8_t, 2> reportedPort) = 0;

    // The terminal view: close a terminal that has the port open; rescan its port lists.
    virtual void CloseTerminalsOnPort(const QString& portName) = 0;
    virtual void RefreshTerminalPortLists() = 0;

    // The navigation tree's port items, one text per port in list order: the port name, and
    // what it is linked to in parentheses.
    virtual void ShowPortItems(const QStringList& itemTexts) = 0;
};
