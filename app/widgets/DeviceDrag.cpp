#include "app/widgets/DeviceDrag.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidget>

#include "app/widgets/ViewMenu.h"
#include "devcfg/DeviceConfigRecord.h"
#include "devmgr/widgets/ViewDm.h"
#include "ui/widgets/ReportCtrl.h"

namespace {

// The row as the list draws it, for the drag image.
QPixmap RowImage(CReportCtrl& list, int row) {
    const int top = list.rowViewportPosition(row);
    const QRect rect(0, top, list.viewport()->width(), list.rowHeight(row));
    return list.viewport()->grab(rect);
}

}  // namespace

CDeviceDrag::CDeviceDrag(CViewMenu& menu, CViewDm& deviceManager)
    : menu_(menu), dm_(deviceManager) {}

CDeviceDrag::~CDeviceDrag() {
    if (active_) qApp->removeEventFilter(this);
    delete image_;
}

void CDeviceDrag::Start(int row) {
    const DmDeviceTable& table = dm_.DeviceTable();
    if (active_ || !table.Contains(row)) return;
    const QString ip = table.IpText(row);
    if (table.CellText(row, DmDeviceTable::kStatusColumn) != QStringLiteral("Idle") ||
        menu_.TreeShowsPeer(ip))
        return;
    ip_ = ip;
    port_ = table.CellText(row, DmDeviceTable::kPortColumn);
    udp_ = (table.Record(row).Get(devrec::netFlags) & devrec::kUdp) != 0;
    if (!image_) {
        image_ = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
        image_->setWindowOpacity(0.8);
    }
    image_->setPixmap(RowImage(*dm_.List(), row));
    image_->adjustSize();
    active_ = true;
    qApp->installEventFilter(this);
    Follow(QCursor::pos());
}

bool CDeviceDrag::eventFilter(QObject* watched, QEvent* event) {
    if (!active_) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseMove:
            Follow(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true;
        case QEvent::MouseButtonRelease:
            Finish(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true;
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) break;
            Finish(QPoint(-1, -1));
            return true;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void CDeviceDrag::Follow(const QPoint& globalPos) {
    image_->move(globalPos + kImageOffset);
    image_->show();
    Highlight(ItemAt(globalPos));
}

void CDeviceDrag::Finish(const QPoint& globalPos) {
    QTreeWidgetItem* item = ItemAt(globalPos);
    active_ = false;
    qApp->removeEventFilter(this);
    image_->hide();
    Highlight(nullptr);
    if (item) menu_.DropDevice(item, ip_, port_, udp_);
}

void CDeviceDrag::Highlight(QTreeWidgetItem* item) {
    if (item == target_) return;
    if (target_) target_->setBackground(0, QBrush());
    target_ = item;
    if (target_) target_->setBackground(0, menu_.palette().highlight());
}

QTreeWidgetItem* CDeviceDrag::ItemAt(const QPoint& globalPos) const {
    QWidget* viewport = menu_.Tree().viewport();
    const QPoint local = viewport->mapFromGlobal(globalPos);
    if (!viewport->rect().contains(local)) return nullptr;
    return menu_.Tree().itemAt(local);
}
