// The calls that views make into each other through the frame: the navigation panel runs the
// virtual serial port view's commands, that view keeps the tree's items and the terminals'
// port lists in step.
#include "app/widgets/MainFrame.h"
#include "terminal/widgets/ViewTerminal.h"
#include "vsp/widgets/ViewVsp.h"

QStringList CMainFrame::BuildPortNames() {
    return vspView_->Controller().PortItemTexts();
}

void CMainFrame::AddPort() {
    vspView_->Controller().CreateFromTree();
}

int CMainFrame::RemoveByName(const QString& portName) {
    return vspView_->Controller().RemoveByName(portName) ? 1 : 0;
}

int CMainFrame::CloseByName(const QString& portName) {
    return vspView_->Controller().CloseByName(portName) ? 1 : 0;
}

bool CMainFrame::ConnectByDrop(const QString& portName, const QString& ip, const QString& port,
                               bool udp) {
    return vspView_->Controller().ConnectByDrop(portName, ip, port, udp);
}

void CMainFrame::CloseTerminalsOnPort(const QString& portName) {
    terminalView_->ClosePortByName(portName);
}

void CMainFrame::RefreshTerminalPortLists() {
    terminalView_->RefreshIdlePortLists();
}

void CMainFrame::ShowPortItems(const QStringList& itemTexts) {
    viewMenu_->ShowPortItems(itemTexts);
}
