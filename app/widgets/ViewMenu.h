#pragma once

#include <QButtonGroup>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

class CMainFrame;

// The navigation panel: three grouped buttons choose the function view, the terminal
// button toggles the bottom pane, and the tree lists the virtual COM ports.
class CViewMenu : public QWidget {
    Q_OBJECT
  public:
    explicit CViewMenu(CMainFrame& frame);
    QTreeWidget& Tree() { return *tree_; }
    QTreeWidgetItem* PortsRoot() { return portsRoot_; }
    // Keeps the buttons in step when a view is shown by other means.
    void ShowFunction(int index);
    void ShowTerminal(bool shown);

  private:
    QPushButton* AddButton(const QString& text, const QString& tip);

    CMainFrame& frame_;
    QButtonGroup functions_;
    QPushButton* deviceManagement_;
    QPushButton* virtualSerialPort_;
    QPushButton* deviceMonitor_;
    QPushButton* terminal_;
    QTreeWidget* tree_;
    QTreeWidgetItem* portsRoot_;
};
