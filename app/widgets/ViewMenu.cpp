#include "app/widgets/ViewMenu.h"

#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include "app/widgets/DeviceDrag.h"
#include "app/widgets/MainFrame.h"
#include "devmgr/widgets/ViewDm.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

constexpr int kTileSize = 36;

// The panel's background: a 36 x 36 tile of soft diagonal stripes.
QPixmap BackgroundTile() {
    QPixmap tile(kTileSize, kTileSize);
    tile.fill(QColor(0xE4, 0xEA, 0xF2));
    QPainter painter(&tile);
    painter.setPen(QPen(QColor(0xD6, 0xDF, 0xEA), 2));
    for (int x = -kTileSize; x < kTileSize; x += kTileSize / 2)
        painter.drawLine(x, kTileSize, x + kTileSize, 0);
    return tile;
}

// The two images of a button: raised when released, sunken and darker when pressed; the
// hover colour is a lighter shade of each.
const char* kButtonStyle =
    "QPushButton { text-align: left; padding: 7px 6px; border: 1px solid #7d8fa8;"
    " border-radius: 3px; color: #14243a;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fdfeff, stop:1 #cfdbea); }"
    "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
    " stop:0 #ffffff, stop:1 #e3ecf6); }"
    "QPushButton:checked { color: #ffffff; border-color: #20406a;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3c6494, stop:1 #5d86b8); }"
    "QPushButton:checked:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
    " stop:0 #5279aa, stop:1 #7a9fcc); }";

}  // namespace

CViewMenu::CViewMenu(NavigationFrame& frame, QWidget* parent)
    : QWidget(parent), frame_(frame), background_(BackgroundTile()) {
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

    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    // The tree gives way down to one line when the split is dragged up; the buttons do not.
    tree_->setMinimumHeight(tree_->fontMetrics().lineSpacing() + 2 * tree_->frameWidth());

    for (auto* b : {deviceManagement_, virtualSerialPort_, deviceMonitor_, terminal_})
        layout->addWidget(b);
    layout->addWidget(tree_, 1);

    connect(&functions_, &QButtonGroup::idClicked, this,
            [this](int index) { frame_.ShowFunctionView(index); });
    connect(terminal_, &QPushButton::toggled, this,
            [this](bool on) { frame_.ShowBottomView(on ? kBottomTerminal : kBottomLog); });
    connect(tree_, &QWidget::customContextMenuRequested, this, &CViewMenu::OnContextMenu);

    menuRunner_ = [this](const QString& entry, const QPoint& globalPos) {
        QMenu menu(this);
        QAction* action = menu.addAction(entry);
        return menu.exec(globalPos) == action;
    };
}

CViewMenu::~CViewMenu() = default;

QPushButton* CViewMenu::AddButton(const QString& text, const QString& tip) {
    auto* button = new QPushButton(text, this);
    button->setCheckable(true);
    button->setToolTip(tip);
    button->setStyleSheet(kButtonStyle);
    // The panel's minimum height keeps each button whole (and none over another).
    button->setMinimumHeight(button->sizeHint().height());
    return button;
}

QPushButton* CViewMenu::Button(int id) const {
    switch (id) {
        case kDeviceManagementId:
            return deviceManagement_;
        case kDeviceMonitorId:
            return deviceMonitor_;
        case kVirtualSerialPortId:
            return virtualSerialPort_;
        case kTerminalId:
            return terminal_;
        default:
            return nullptr;
    }
}

void CViewMenu::InitialUpdate() {
    deviceManagement_->setChecked(true);
    RebuildPortTree();
}

void CViewMenu::AcceptDragsFrom(CViewDm& deviceManager) {
    drag_ = std::make_unique<CDeviceDrag>(*this, deviceManager);
    deviceManager.List()->SetRowDragEnabled(true);
    connect(&deviceManager, &CViewDm::rowDragRequested, drag_.get(), &CDeviceDrag::Start);
}

void CViewMenu::paintEvent(QPaintEvent*) {
    QPainter(this).drawTiledPixmap(rect(), background_);
}

void CViewMenu::ShowFunction(int index) {
    if (auto* b = functions_.button(index)) b->setChecked(true);
}

void CViewMenu::ShowTerminal(bool shown) {
    const QSignalBlocker block(terminal_);
    terminal_->setChecked(shown);
}

void CViewMenu::RebuildPortTree() {
    if (drag_) drag_->ForgetTarget();
    tree_->clear();
    root_ = new QTreeWidgetItem(tree_, QStringList{kRootText});
    for (const QString& name : frame_.BuildPortNames())
        new QTreeWidgetItem(root_, QStringList{name});
    root_->setExpanded(true);
}

QTreeWidgetItem* CViewMenu::ItemOfPort(const QString& portName) const {
    for (int i = 0; root_ && i < root_->childCount(); ++i) {
        if (PortNameOf(root_->child(i)->text(0)) == portName) return root_->child(i);
    }
    return nullptr;
}

void CViewMenu::ShowPortItems(const QStringList& itemTexts) {
    if (!root_) return;
    QStringList names;
    for (const QString& text : itemTexts) names << PortNameOf(text);
    for (int i = root_->childCount() - 1; i >= 0; --i) {
        if (!names.contains(PortNameOf(root_->child(i)->text(0)))) {
            if (drag_) drag_->ForgetTarget();
            delete root_->child(i);
        }
    }
    for (int i = 0; i < itemTexts.size(); ++i) {
        QTreeWidgetItem* item = ItemOfPort(names[i]);
        if (!item) {
            item = new QTreeWidgetItem(QStringList{itemTexts[i]});
            root_->insertChild(std::min(i, root_->childCount()), item);
        }
        item->setText(0, itemTexts[i]);
    }
}

bool CViewMenu::TreeShowsPeer(const QString& ip) const {
    for (int i = 0; root_ && i < root_->childCount(); ++i) {
        if (PeerOf(root_->child(i)->text(0)) == ip) return true;
    }
    return false;
}

void CViewMenu::OnContextMenu(const QPoint& pos) {
    QTreeWidgetItem* item = tree_->itemAt(pos);
    if (!item) return;
    const QString text = item->text(0);
    const PortMenuEntry entry = PortMenuEntryFor(text);
    tree_->setCurrentItem(item);
    if (entry == PortMenuEntry::None) return;

    tree_->setEnabled(false);
    const QPoint at = tree_->viewport()->mapToGlobal(tree_->visualItemRect(item).center());
    const bool chosen = menuRunner_(PortMenuText(entry), at);
    tree_->setEnabled(true);
    if (!chosen) return;

    // The views bring the items in step with what the command did.
    switch (entry) {
        case PortMenuEntry::Create:
            frame_.AddPort();
            break;
        case PortMenuEntry::Remove:
            frame_.RemoveByName(PortNameOf(text));
            break;
        case PortMenuEntry::Close:
            frame_.CloseByName(PortNameOf(text));
            break;
        case PortMenuEntry::None:
            break;
    }
}

void CViewMenu::DropDevice(QTreeWidgetItem* item, const QString& ip, const QString& port,
                           bool udp) {
    const QString text = item->text(0);
    if (item == root_ || text.contains('(')) return;
    frame_.ConnectByDrop(PortNameOf(text), ip, port, udp);
}
