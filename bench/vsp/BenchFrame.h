#pragma once

#include <QTemporaryDir>
#include <functional>

#include "platform/NetInterfaces.h"
#include "platform/QtTimerHost.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FakeNetInterfaces.h"
#include "vsp/VspDatFile.h"
#include "vsp/VspDriver.h"
#include "vsp/VspFrame.h"
#include "vsp/VspInstallService.h"

// Real Qt timers that also tell when one owner's timer fires, just before the owner handles
// it: the benchmark's clock starts where the program's work starts.
class WatchedTimers final : public TimerHost, private TimerClient {
  public:
    void Watch(TimerClient* owner, int timerId, std::function<void()> fired) {
        owner_ = owner;
        timerId_ = timerId;
        fired_ = std::move(fired);
    }
    void Unwatch() { Watch(nullptr, 0, {}); }

    void SetTimer(TimerClient* owner, int timerId, int periodMs) override {
        qt_.SetTimer(Route(owner, timerId), timerId, periodMs);
    }
    void KillTimer(TimerClient* owner, int timerId) override {
        qt_.KillTimer(Route(owner, timerId), timerId);
    }
    void KillAll(TimerClient* owner) override {
        qt_.KillAll(owner);
        if (owner == owner_) qt_.KillAll(this);
    }
    bool IsRunning(TimerClient* owner, int timerId) const override {
        return qt_.IsRunning(Route(owner, timerId), timerId);
    }
    int64_t NowMs() const override { return qt_.NowMs(); }

  private:
    TimerClient* Route(TimerClient* owner, int timerId) const {
        return owner == owner_ && timerId == timerId_ ? const_cast<WatchedTimers*>(this) : owner;
    }
    void OnTimer(int timerId) override {
        TimerClient* owner = owner_;
        if (fired_) fired_();
        owner->OnTimer(timerId);
    }

    QtTimerHost qt_;
    TimerClient* owner_ = nullptr;
    int timerId_ = 0;
    std::function<void()> fired_;
};

// The main frame as the port view sees it, talking to the benchmark's service: prompts that
// answer every box at once, no device manager rows, no traffic to devices, vsp.dat in a
// folder of its own.
class BenchFrame final : public VspFrame {
  public:
    static constexpr char kHost[] = "127.0.0.1";

    explicit BenchFrame(const QString& socket)
        : driver_(
              prompts_, [] { return QString::fromLatin1(kHost); }, socket),
          installer_(socket) {}
    void AddLog(const QString&) override {}
    TimerHost& Timers() override { return timers_; }
    UserPrompts& Prompts() override { return prompts_; }
    NetInterfaces& Net() override { return net_; }
    QString HostAddress() const override { return QString::fromLatin1(kHost); }
    VspSettingsValues VspSettings() const override { return {}; }
    const CVspDatFile& PortTable() const override { return table_; }
    QString PortTablePath() const override { return dir_.filePath(kVspFileName); }
    CVspDriver& VspDriver() override { return driver_; }
    VspInstallService& VspInstaller() { return installer_; }
    QString DriverPackagePath() const override { return {}; }
    int DmFindRowByIp(const QString&) const override { return -1; }
    bool DmRowUdp(int) const override { return false; }
    void DmSetStatusText(int, const QString&) override {}
    bool SendHostAnnouncement(const QString&, std::array<uint8_t, 2>) override { return false; }
    void CloseTerminalsOnPort(const QString&) override {}
    void RefreshTerminalPortLists() override {}
    void ShowPortItems(const QStringList&) override {}

    WatchedTimers& Watched() { return timers_; }
    // Reads vsp.dat again, as a start of the program does.
    void LoadTable() { table_.Load(PortTablePath()); }
    const ScriptedPrompts& Scripted() const { return prompts_; }

  private:
    QTemporaryDir dir_;
    WatchedTimers timers_;
    ScriptedPrompts prompts_;
    FakeNetInterfaces net_;
    CVspDatFile table_;
    CVspDriver driver_;
    CVspInstallService installer_;
};
