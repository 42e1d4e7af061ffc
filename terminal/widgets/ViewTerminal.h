#pragma once

#include <QWidget>
#include <array>

#include "terminal/TerminalFrame.h"

class TerminalPanel;

// The COM port terminal view: "COM Terminal 1" and "COM Terminal 2" side by side. It reads
// the terminals' settings when it is first shown and hands them back when the frame saves.
// The virtual serial port view asks it to rescan idle port lists and to close a terminal
// that holds a port it works on.
class CViewTerminal final : public QWidget {
    Q_OBJECT
  public:
    explicit CViewTerminal(TerminalFrame& frame, QWidget* parent = nullptr);
    ~CViewTerminal() override;

    // Scans both port lists and takes the settings; runs once, at the first show.
    void InitialUpdate();
    void HandOverSettings();
    // Rescans the port list of every terminal that has no port open.
    void RefreshIdlePortLists();
    // Closes the terminal that has the named port open (terminal 1 first); true if one did.
    bool ClosePortByName(const QString& portName);

    TerminalPanel& Panel(int index) { return *panels_[static_cast<size_t>(index)]; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // The panel's port list, marking what the port service says is held and the port the
    // other terminal has open.
    void ScanPorts(int index);
    // The ports this view's terminals have open.
    QSet<QString> OpenHere() const;

    TerminalFrame& frame_;
    std::array<TerminalPanel*, kTerminalCount> panels_{};
    bool initialised_ = false;
};
