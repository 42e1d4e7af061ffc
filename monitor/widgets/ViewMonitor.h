#pragma once

#include <QWidget>

#include "monitor/MonitorController.h"

class QPushButton;
class CommitNumberEdit;
class CReportCtrl;

// The device monitor form: the Start/Stop button, the interval box and the monitor list. It
// shows what its controller holds and hands the user's actions to it.
//
// The frame creates the view, calls InitialUpdate once the host address is known and Fill each
// time it shows the view.
class CViewMonitor final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kIntervalDigits = 4;

    explicit CViewMonitor(MonitorFrame& frame, QWidget* parent = nullptr);
    ~CViewMonitor() override;

    void InitialUpdate();
    void Fill() { monitor_.Fill(); }

    MonitorController& Controller() { return monitor_; }
    QPushButton* StartButton() const { return start_; }
    CommitNumberEdit* IntervalBox() const { return interval_; }
    CReportCtrl* List() const { return list_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Narrows the columns to the list's width where they do not fit, each no narrower than
    // its title, so that every title shows whole.
    void FitHeader();
    void BuildForm();
    void BuildList();
    void OnStartStop();
    void ShowControls();
    void ResetList();
    void FillRow(int row);

    MonitorController monitor_;
    QPushButton* start_ = nullptr;
    CommitNumberEdit* interval_ = nullptr;
    CReportCtrl* list_ = nullptr;
};
