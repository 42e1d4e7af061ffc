#pragma once

#include <QSet>
#include <QString>
#include <QTime>
#include <array>
#include <functional>

#include "terminal/TerminalSettings.h"

class TimerHost;
class UserPrompts;

inline constexpr int kTerminalCount = 2;
using TerminalSettingsPair = std::array<TerminalSettings, kTerminalCount>;

// What the COM port terminal needs of the main frame, all on the user-interface thread.
class TerminalFrame {
  public:
    virtual ~TerminalFrame() = default;

    virtual void AddLog(const QString& text) = 0;
    virtual TimerHost& Timers() = 0;
    // The time of day that stamps received data.
    virtual QTime CurrentTime() const = 0;
    virtual UserPrompts& Prompts() = 0;
    // Read when the view is first shown and written back when the settings are saved.
    virtual TerminalSettingsPair TerminalSettingsValues() const = 0;
    virtual void SetTerminalSettings(const TerminalSettingsPair& values) = 0;
    // True for a virtual COM port: one that shows the device's own console does not.
    virtual bool IsVirtualComPort(const QString& portName) const = 0;
    // Asks the port service which COM names a program holds (nothing is opened to find out);
    // `answer` runs on the user-interface thread, now or later.
    virtual void AskHeldComPorts(std::function<void(const QSet<QString>&)> answer) = 0;
};
