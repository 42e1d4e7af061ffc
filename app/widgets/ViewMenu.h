#pragma once

#include <QButtonGroup>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/PortTreeRules.h"

class CDeviceDrag;
class CViewDm;

// What the navigation panel needs of the main frame: switching the panes and the virtual
// serial port view's commands on ports.
class NavigationFrame {
  public:
    virtual ~NavigationFrame() = default;

    virtual void ShowFunctionView(int index) = 0;
    virtual void ShowBottomView(int index) = 0;
    virtual QStringList BuildPortNames() = 0;
    virtual void AddPort() = 0;
    // 1 when the port is gone.
    virtual int RemoveByName(const QString& portName) = 0;
    // Nonzero when the port is closed.
    virtual int CloseByName(const QString& portName) = 0;
    // True when the port has started connecting to that device.
    virtual bool ConnectByDrop(const QString& portName, const QString& ip, const QString& port,
                               bool udp) = 0;
};

// The navigation panel: three grouped buttons choose the function view, the terminal
// button toggles the bottom pane, and the tree lists the virtual COM ports.
class CViewMenu : public QWidget {
    Q_OBJECT
  public:
    static inline const QString kRootText = QStringLiteral("Virtual COM Ports");
    // Shows the one-entry context menu at a point of the tree and returns whether the user
    // chose the entry. Tests replace it; the default is a real pop-up menu.
    using MenuRunner = std::function<bool(const QString& entry, const QPoint& globalPos)>;

    explicit CViewMenu(NavigationFrame& frame, QWidget* parent = nullptr);
    ~CViewMenu() override;

    void InitialUpdate();
    // Makes the device manager's rows drag sources onto the tree.
    void AcceptDragsFrom(CViewDm& deviceManager);
    void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }

    // Keeps the buttons in step when a view is shown by other means.
    void ShowFunction(int index);
    void ShowTerminal(bool shown);

    // The port items, rebuilt from the virtual serial port view, or brought in step with its
    // item texts: an item is matched by its exact port name and keeps its place while it lives.
    void RebuildPortTree();
    void ShowPortItems(const QStringList& itemTexts);
    // Whether an item shows a link to exactly this device address.
    bool TreeShowsPeer(const QString& ip) const;

    // The context menu of the item at a point of the tree's viewport.
    void OnContextMenu(const QPoint& pos);
    // A device row dropped on a port item.
    void DropDevice(QTreeWidgetItem* item, const QString& ip, const QString& port, bool udp);

    QTreeWidget& Tree() { return *tree_; }
    QTreeWidgetItem* PortsRoot() const { return root_; }
    QPushButton* Button(int id) const;
    QPushButton* TerminalButton() const { return terminal_; }
    CDeviceDrag* Drag() const { return drag_.get(); }

    static constexpr int kDeviceManagementId = 1002;
    static constexpr int kDeviceMonitorId = 1003;
    static constexpr int kVirtualSerialPortId = 1004;
    static constexpr int kTerminalId = 1008;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPushButton* AddButton(const QString& text, const QString& tip);
    QTreeWidgetItem* ItemOfPort(const QString& portName) const;

    NavigationFrame& frame_;
    QButtonGroup functions_;
    QPushButton* deviceManagement_;
    QPushButton* virtualSerialPort_;
    QPushButton* deviceMonitor_;
    QPushButton* terminal_;
    QTreeWidget* tree_;
    QTreeWidgetItem* root_ = nullptr;
    QPixmap background_;
    MenuRunner menuRunner_;
    std::unique_ptr<CDeviceDrag> drag_;
};
