#pragma once

#include <QSet>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/ManualClock.h"
#include "platform/ScriptedPrompts.h"
#include "terminal/TerminalFrame.h"

// The main frame as the terminal sees it: a manual clock that also gives the time of day
// (from midnight), scripted prompts, a recorded system log, settings that tests preset and
// read back, and the virtual and held ports a test names.
class FakeTerminalFrame final : public TerminalFrame {
  public:
    ManualClock clock;
    ScriptedPrompts prompts;
    QStringList log;
    TerminalSettingsPair settings{};
    QSet<QString> virtualPorts;
    QSet<QString> heldPorts;  // what the port service would list as held
    // Set: the service's answers wait in `pendingHeld` until the test gives them.
    bool answerHeldLater = false;
    std::vector<std::function<void(const QSet<QString>&)>> pendingHeld;

    void AddLog(const QString& text) override { log << text; }
    TimerHost& Timers() override { return clock; }
    QTime CurrentTime() const override {
        return QTime::fromMSecsSinceStartOfDay(static_cast<int>(clock.Now()));
    }
    UserPrompts& Prompts() override { return prompts; }
    TerminalSettingsPair TerminalSettingsValues() const override { return settings; }
    void SetTerminalSettings(const TerminalSettingsPair& values) override { settings = values; }
    bool IsVirtualComPort(const QString& portName) const override {
        return virtualPorts.contains(portName);
    }
    void AskHeldComPorts(std::function<void(const QSet<QString>&)> answer) override {
        if (answerHeldLater)
            pendingHeld.push_back(std::move(answer));
        else
            answer(heldPorts);
    }
};
