#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class CViewDm;
class CViewMenu;

// Dragging a device manager row onto a port item of the navigation tree. The drag runs on
// plain mouse events while the list holds the mouse (the button stays down from the press
// that started it), so a test drives it with press, move and release events.
class CDeviceDrag : public QObject {
    Q_OBJECT
  public:
    // Where the drag image's upper-left corner sits relative to the pointer.
    static constexpr QPoint kImageOffset{10, 14};

    CDeviceDrag(CViewMenu& menu, CViewDm& deviceManager);
    ~CDeviceDrag() override;

    // A drag gesture on a row: starts only for an "Idle" row whose IP no port item shows.
    void Start(int row);
    bool Active() const { return active_; }
    QLabel* Image() const { return image_; }
    QTreeWidgetItem* Target() const { return target_; }
    // The tree is about to delete its items: the highlighted one is no longer touched.
    void ForgetTarget() { target_ = nullptr; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Follow(const QPoint& globalPos);
    void Finish(const QPoint& globalPos);
    void Highlight(QTreeWidgetItem* item);
    QTreeWidgetItem* ItemAt(const QPoint& globalPos) const;

    CViewMenu& menu_;
    CViewDm& dm_;
    bool active_ = false;
    QString ip_;
    QString port_;
    bool udp_ = false;
    QLabel* image_ = nullptr;
    QTreeWidgetItem* target_ = nullptr;
};
