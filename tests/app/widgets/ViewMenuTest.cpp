#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QTest>

#include "app/widgets/DeviceDrag.h"
#include "app/widgets/MainFrame.h"
#include "app/widgets/ViewMenu.h"
#include "devmgr/widgets/ViewDm.h"
#include "tests/devmgr/DmSimNet.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

// The main frame as the panel sees it: it records what the panel asks for.
struct FakeNavigationFrame : NavigationFrame {
    void ShowFunctionView(int index) override { functionShown.push_back(index); }
    void ShowBottomView(int index) override { bottomShown.push_back(index); }
    QStringList BuildPortNames() override { return names; }
    void AddPort() override { calls << "Add"; }
    int RemoveByName(const QString& text) override {
        calls << "RemoveByName " + text;
        if (onRemove) onRemove();
        return removeResult;
    }
    int CloseByName(const QString& name) override {
        calls << "CloseByName " + name;
        return closeResult;
    }
    bool ConnectByDrop(const QString& portName, const QString& ip, const QString& port,
                       bool udp) override {
        calls << QStringLiteral("ConnectByDrop %1 %2 %3 %4").arg(portName, ip, port).arg(udp);
        return connectResult;
    }

    QStringList names;
    QStringList calls;
    std::vector<int> functionShown, bottomShown;
    int removeResult = 1;
    int closeResult = 1;
    bool connectResult = true;
    std::function<void()> onRemove;
};

class ViewMenu : public testing::Test {
  protected:
    void SetUp() override {
        frame.names = {"COM1", "COM10", "COM5 (10.1.2.3)", "COM7 (Server)"};
        menu.resize(188, 400);
        menu.show();
        menu.InitialUpdate();
        menu.SetMenuRunner([this](const QString& entry, const QPoint&) {
            offered << entry;
            treeEnabledDuringMenu = menu.Tree().isEnabled();
            return choose;
        });
    }
    QStringList Items() {
        QStringList texts;
        for (int i = 0; i < menu.PortsRoot()->childCount(); ++i)
            texts << menu.PortsRoot()->child(i)->text(0);
        return texts;
    }
    QTreeWidgetItem* Item(const QString& text) {
        if (text == CViewMenu::kRootText) return menu.PortsRoot();
        for (int i = 0; i < menu.PortsRoot()->childCount(); ++i)
            if (menu.PortsRoot()->child(i)->text(0) == text) return menu.PortsRoot()->child(i);
        return nullptr;
    }
    void RightClick(const QString& text) {
        menu.OnContextMenu(menu.Tree().visualItemRect(Item(text)).center());
    }

    FakeNavigationFrame frame;
    CViewMenu menu{frame};
    QStringList offered;
    bool treeEnabledDuringMenu = true;
    bool choose = true;
};

}  // namespace

TEST_F(ViewMenu, ButtonsCarryTheirTextsAndTooltipsAndTheTreeListsThePorts) {
    const std::vector<std::pair<int, QString>> tips{
        {CViewMenu::kDeviceManagementId,
         "Provides devices search, configuration and firmware update."},
        {CViewMenu::kVirtualSerialPortId,
         "Provides Virtual Serial Port add, configuration, delete and connection."},
        {CViewMenu::kDeviceMonitorId, "Provides Device status monitor."},
        {CViewMenu::kTerminalId, "Provides COM port terminal function."}};
    for (const auto& [id, tip] : tips) EXPECT_EQ(menu.Button(id)->toolTip(), tip);
    EXPECT_TRUE(menu.Button(CViewMenu::kDeviceManagementId)->isChecked());
    EXPECT_FALSE(menu.TerminalButton()->isChecked());
    EXPECT_EQ(menu.PortsRoot()->text(0), "Virtual COM Ports");
    EXPECT_TRUE(menu.PortsRoot()->isExpanded());
    EXPECT_EQ(Items(), frame.names);
}

TEST_F(ViewMenu, TheFirstThreeButtonsAreOneGroupAndTheTerminalButtonToggles) {
    QTest::mouseClick(menu.Button(CViewMenu::kDeviceManagementId), Qt::LeftButton);
    EXPECT_TRUE(menu.Button(CViewMenu::kDeviceManagementId)->isChecked());
    QTest::mouseClick(menu.Button(CViewMenu::kDeviceMonitorId), Qt::LeftButton);
    EXPECT_FALSE(menu.Button(CViewMenu::kDeviceManagementId)->isChecked());
    EXPECT_TRUE(menu.Button(CViewMenu::kDeviceMonitorId)->isChecked());
    QTest::mouseClick(menu.Button(CViewMenu::kVirtualSerialPortId), Qt::LeftButton);
    EXPECT_EQ(frame.functionShown,
              (std::vector<int>{kFunctionDeviceManager, kFunctionMonitor, kFunctionVsp}));
    QTest::mouseClick(menu.TerminalButton(), Qt::LeftButton);
    QTest::mouseClick(menu.TerminalButton(), Qt::LeftButton);
    EXPECT_EQ(frame.bottomShown, (std::vector<int>{kBottomTerminal, kBottomLog}));
    EXPECT_TRUE(menu.Button(CViewMenu::kVirtualSerialPortId)->isChecked());
}

TEST_F(ViewMenu, PortItemsFollowTheViewByExactNameAndPeer) {
    EXPECT_TRUE(menu.TreeShowsPeer("10.1.2.3"));
    for (const char* other : {"10.1.2", "10.1.2.33", "0.1.2.3", "COM5"})
        EXPECT_FALSE(menu.TreeShowsPeer(other)) << other;

    // COM1 and COM10 are told apart; an item keeps its place while its text changes.
    QTreeWidgetItem* com10 = Item("COM10");
    menu.ShowPortItems({"COM1 (127.0.0.10)", "COM10", "COM5", "COM7 (Server)"});
    EXPECT_EQ(Items(), (QStringList{"COM1 (127.0.0.10)", "COM10", "COM5", "COM7 (Server)"}));
    EXPECT_EQ(Item("COM10"), com10);
    EXPECT_TRUE(menu.TreeShowsPeer("127.0.0.10"));
    EXPECT_FALSE(menu.TreeShowsPeer("127.0.0.1"));
    menu.ShowPortItems({"COM10 (127.0.0.1)", "COM5", "COM6"});
    EXPECT_EQ(Items(), (QStringList{"COM10 (127.0.0.1)", "COM5", "COM6"}));
    EXPECT_EQ(Item("COM10 (127.0.0.1)"), com10);

    frame.names = {"COM3"};
    menu.RebuildPortTree();
    EXPECT_EQ(Items(), QStringList{"COM3"});
    EXPECT_TRUE(menu.PortsRoot()->isExpanded());
}

TEST_F(ViewMenu, ContextMenuOffersOneEntryByItemKindAndCarriesItOut) {
    RightClick("Virtual COM Ports");
    RightClick("COM5 (10.1.2.3)");
    RightClick("COM10");
    EXPECT_EQ(offered, (QStringList{"&Create", "&Close", "&Remove"}));
    EXPECT_FALSE(treeEnabledDuringMenu);
    EXPECT_TRUE(menu.Tree().isEnabled());
    EXPECT_EQ(frame.calls, (QStringList{"Add", "CloseByName COM5", "RemoveByName COM10"}));
    // The items change only when the view shows what the commands did.
    EXPECT_EQ(Items(), frame.names);

    menu.OnContextMenu(QPoint(150, 390));  // below the items: nothing
    EXPECT_EQ(offered.size(), 3);
}

TEST_F(ViewMenu, ContextMenuOutcomesFollowTheCommandsResults) {
    choose = false;
    RightClick("COM1");
    EXPECT_TRUE(frame.calls.isEmpty());

    choose = true;
    frame.closeResult = 0;
    frame.removeResult = 0;
    RightClick("COM5 (10.1.2.3)");
    RightClick("COM1");
    EXPECT_EQ(Items(), frame.names);

    // A remove that the view shows takes exactly the removed port's item out.
    frame.removeResult = 1;
    frame.onRemove = [this] { menu.ShowPortItems({"COM10", "COM5 (10.1.2.3)", "COM7 (Server)"}); };
    RightClick("COM1");
    EXPECT_EQ(Items(), (QStringList{"COM10", "COM5 (10.1.2.3)", "COM7 (Server)"}));
}

TEST_F(ViewMenu, DropOnAFreePortConnectsItAndOnAPortInUseDoesNothing) {
    menu.DropDevice(Item("COM7 (Server)"), "10.0.0.8", "4001", false);
    menu.DropDevice(Item("Virtual COM Ports"), "10.0.0.8", "4001", false);
    EXPECT_TRUE(frame.calls.isEmpty());
    menu.DropDevice(Item("COM10"), "10.0.0.8", "4001", true);
    EXPECT_EQ(frame.calls, QStringList{"ConnectByDrop COM10 10.0.0.8 4001 1"});
    EXPECT_EQ(Items(), frame.names);
}

// Dragging real device rows, listed by a search of simulated devices, with mouse events.
class DeviceDragTest : public testing::Test {
  protected:
    void SetUp() override {
        DM_START_NET(net);
        net.Add();
        net.Add();
        frame.names = {"COM1", "COM2"};
        dm = std::make_unique<CViewDm>(net.frame);
        dm->Controller().SetDevicePort(net.DevicePort());
        menu.AcceptDragsFrom(*dm);
        host.resize(1100, 500);
        auto* layout = new QHBoxLayout(&host);
        layout->addWidget(&menu);
        layout->addWidget(dm.get(), 1);
        host.show();
        dm->InitialUpdate();
        menu.InitialUpdate();
        net.Ticks(1);
        QTest::mouseClick(dm->Button(DmButton::kSearch), Qt::LeftButton);
        net.Ticks(1);
        ASSERT_EQ(dm->RowCount(), 2);
    }
    QWidget* ListViewport() { return dm->List()->viewport(); }
    QPoint RowPoint(int row) {
        return dm->List()->visualRect(dm->List()->model()->index(row, 2)).center();
    }
    QPoint ItemPoint(int child) {
        return menu.Tree().visualItemRect(menu.PortsRoot()->child(child)).center();
    }
    // Press on a row and move far enough for the list to start a drag.
    void PressAndPull(int row) {
        QTest::mousePress(ListViewport(), Qt::LeftButton, {}, RowPoint(row));
        QTest::mouseMove(ListViewport(), RowPoint(row) + QPoint(20, 0));
        QTest::mouseMove(ListViewport(), RowPoint(row) + QPoint(40, 0));
    }
    QPoint TreeItemGlobal(int child) {
        return menu.Tree().viewport()->mapToGlobal(ItemPoint(child));
    }
    void DragRowOver(int row, int child) {
        PressAndPull(row);
        QTest::mouseMove(ListViewport(), ListViewport()->mapFromGlobal(TreeItemGlobal(child)));
    }
    void Release(int child) {
        QTest::mouseRelease(ListViewport(), Qt::LeftButton, {},
                            ListViewport()->mapFromGlobal(TreeItemGlobal(child)));
    }

    DmSimNet net;
    FakeNavigationFrame frame;
    QWidget host;
    CViewMenu menu{frame};
    std::unique_ptr<CViewDm> dm;
};

TEST_F(DeviceDragTest, AnIdleRowDraggedOntoAFreePortConnectsIt) {
    const QString ip = dm->DeviceTable().IpText(1);
    const QString port = dm->DeviceTable().CellText(1, DmDeviceTable::kPortColumn);
    DragRowOver(1, 1);
    CDeviceDrag& drag = *menu.Drag();
    ASSERT_TRUE(drag.Active());
    EXPECT_EQ(drag.Target(), menu.PortsRoot()->child(1));
    EXPECT_TRUE(drag.Image()->isVisible());
    EXPECT_EQ(drag.Image()->pos(), TreeItemGlobal(1) + CDeviceDrag::kImageOffset);
    Release(1);
    EXPECT_FALSE(drag.Active());
    EXPECT_FALSE(drag.Image()->isVisible());
    EXPECT_EQ(frame.calls, QStringList{QStringLiteral("ConnectByDrop COM2 %1 %2 0").arg(ip, port)});
}

TEST_F(DeviceDragTest, ConnectedRowsAndRowsAPortShowsDoNotDrag) {
    dm->SetStatusText(0, "Connected");
    DragRowOver(0, 0);
    EXPECT_FALSE(menu.Drag()->Active());
    Release(0);

    menu.ShowPortItems({"COM1 (" + dm->DeviceTable().IpText(1) + ")", "COM2"});
    DragRowOver(1, 1);
    EXPECT_FALSE(menu.Drag()->Active());
    Release(1);
    EXPECT_TRUE(frame.calls.isEmpty());
}
