#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "devmgr/DmFrame.h"
#include "platform/ManualClock.h"
#include "platform/NetInterfaces.h"
#include "platform/ScriptedPrompts.h"
#include "protocol/BroadcastSocket.h"
#include "tests/support/FakeNetInterfaces.h"

// The main frame as the device manager sees it, with a manual clock, scripted prompts and a
// broadcast socket that tests bind to loopback.
class FakeDmFrame final : public DmFrame {
  public:
    ManualClock clock;
    ScriptedPrompts prompts;
    CBroadcastSocket socket;
    QString hostAddress = QStringLiteral("127.0.0.1");
    QString hostNetmask = QStringLiteral("255.0.0.0");
    DmSettingsValues settings;
    // The namespace's loopback, as LinuxNetInterfaces lists it.
    FakeNetInterfaces net;
    QStringList log;
    int vspRepairs = 0;
    std::function<void()> onVspRepair;

    FakeDmFrame() { net.subnets = std::vector<AdapterInfo>{{"lo", "127.0.0.1", "255.0.0.0"}}; }

    // Binds the socket to an ephemeral port: devices answer whatever port asked.
    bool Bind(const QString& address = QStringLiteral("127.0.0.1")) {
        return socket.Create(address, 0);
    }

    void AddLog(const QString& text) override { log << text; }
    TimerHost& Timers() override { return clock; }
    UserPrompts& Prompts() override { return prompts; }
    CBroadcastSocket& BroadcastSocket() override { return socket; }
    QString HostAddress() const override { return hostAddress; }
    QString HostNetmask() const override { return hostNetmask; }
    NetInterfaces& Net() override { return net; }
    void RunVspStartupRepair() override {
        ++vspRepairs;
        if (onVspRepair) onVspRepair();
    }
    DmSettingsValues DmSettings() const override { return settings; }
    void SetDmSettings(const DmSettingsValues& values) override { settings = values; }
};
