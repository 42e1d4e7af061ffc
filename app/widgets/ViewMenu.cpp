#include "app/widgets/ViewMenu.h"

#include <QVBoxLayout>

#include "app/widgets/MainFrame.h"

CViewMenu::CViewMenu(CMainFrame& frame) : frame_(frame) {
    auto* layout = new QVBoxLayout(this);
    deviceManagement_ = AddButton(" Device Management",
                                  "Provides devices search, configuration and firmware update.");
    virtualSerialPort_ =
        AddButton(" Virtual Serial Port",
                  "Provides Virtual Serial Port add, configuration, delete and connection.");
    deviceMonitor_ = AddButton(" Device Monitor", "Provides Device status monitor.");
    terminal_ = AddButton(" COM Port Terminal", "Provides COM port terminal function.");
    functions_.addButton(deviceMonitor_, kFunctionMonitor);
    functions_.addButton(virtualSerialPort_, kFunctionVsp);
    functions_.addButton(deviceManagement_, kFunctionDeviceManager);
    functions_.setExclusive(true);
    deviceManagement_->setChecked(true);

    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    portsRoot_ = new QTreeWidgetItem(tree_, QStringList{"Virtual COM Ports"});

    for (auto* b : {deviceManagement_, virtualSerialPort_, deviceMonitor_, terminal_})
        layout->addWidget(b);
    layout->addWidget(tree_, 1);

    connect(&functions_, &QButtonGroup::idClicked, this,
            [this](int index) { frame_.ShowFunctionView(index); });
    connect(terminal_, &QPushButton::toggled, this,
            [this](bool on) { frame_.ShowBottomView(on ? kBottomTerminal : kBottomLog); });
}

QPushButton* CViewMenu::AddButton(const QString& text, const QString& tip) {
    auto* button = new QPushButton(text, this);
    button->setCheckable(true);
    button->setToolTip(tip);
    button->setStyleSheet("text-align: left; padding: 6px;");
    return button;
}

void CViewMenu::ShowFunction(int index) {
    if (auto* b = functions_.button(index)) b->setChecked(true);
}

void CViewMenu::ShowTerminal(bool shown) {
    const QSignalBlocker block(terminal_);
    terminal_->setChecked(shown);
}
