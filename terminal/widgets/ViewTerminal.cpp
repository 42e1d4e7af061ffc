#include "terminal/widgets/ViewTerminal.h"

#include <QHBoxLayout>
#include <QPointer>

#include "terminal/widgets/TerminalPanel.h"

CViewTerminal::CViewTerminal(TerminalFrame& frame, QWidget* parent)
    : QWidget(parent), frame_(frame) {
    auto* layout = new QHBoxLayout(this);
    for (int i = 0; i < kTerminalCount; ++i) {
        panels_[static_cast<size_t>(i)] = new TerminalPanel(frame_, i + 1, this);
        layout->addWidget(panels_[static_cast<size_t>(i)], 1);
        connect(panels_[static_cast<size_t>(i)], &TerminalPanel::portsWanted, this,
                [this, i] { ScanPorts(i); });
    }
}

// The panels close their ports as they go.
CViewTerminal::~CViewTerminal() = default;

void CViewTerminal::InitialUpdate() {
    if (initialised_) return;
    initialised_ = true;
    const TerminalSettingsPair settings = frame_.TerminalSettingsValues();
    for (int i = 0; i < kTerminalCount; ++i) {
        ScanPorts(i);
        Panel(i).ApplySettings(settings[static_cast<size_t>(i)]);
    }
}

void CViewTerminal::HandOverSettings() {
    // Never shown: the settings still hold what was read.
    if (!initialised_) return;
    frame_.SetTerminalSettings({Panel(0).CollectSettings(), Panel(1).CollectSettings()});
}

QSet<QString> CViewTerminal::OpenHere() const {
    QSet<QString> open;
    for (const TerminalPanel* panel : panels_)
        if (panel->Controller().IsOpen()) open.insert(panel->Controller().PortName());
    return open;
}

void CViewTerminal::ScanPorts(int index) {
    // The list shows at once; the service's word on held ports follows when it comes.
    Panel(index).Controller().ScanPorts(OpenHere());
    frame_.AskHeldComPorts(
        [view = QPointer<CViewTerminal>(this), index](const QSet<QString>& held) {
            if (!view) return;
            TerminalController& terminal = view->Panel(index).Controller();
            if (!terminal.IsOpen()) terminal.ScanPorts(view->OpenHere() | held);
        });
}

void CViewTerminal::RefreshIdlePortLists() {
    for (int i = 0; i < kTerminalCount; ++i)
        if (!Panel(i).Controller().IsOpen()) ScanPorts(i);
}

bool CViewTerminal::ClosePortByName(const QString& portName) {
    for (TerminalPanel* panel : panels_)
        if (panel->Controller().ClosePortNamed(portName)) return true;
    return false;
}

void CViewTerminal::showEvent(QShowEvent* event) {
    InitialUpdate();
    QWidget::showEvent(event);
}
