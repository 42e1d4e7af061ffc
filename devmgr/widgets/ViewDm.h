#pragma once

#include <QWidget>
#include <array>
#include <vector>

#include "devmgr/DmController.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class CReportCtrl;
class CDlgDmSetting;
class CDlgDmTftpClient;

// The device manager form: seven buttons, the status text, the progress bar, the
// "Search After Application Start" box and the device list. It shows what its controller
// holds and hands the user's clicks to it; the flows and the device table live there.
//
// The frame creates the view, calls InitialUpdate once the broadcast socket is bound, and
// HandOverSettings when it saves its settings. Other views reach the device list through
// DeviceTable, CheckedRows and SetStatusText.
class CViewDm final : public QWidget {
    Q_OBJECT
  public:
    explicit CViewDm(DmFrame& frame, QWidget* parent = nullptr);
    ~CViewDm() override;

    void InitialUpdate();
    void HandOverSettings() { dm_.HandOverSettings(); }

    DmController& Controller() { return dm_; }
    const DmDeviceTable& DeviceTable() const { return dm_.Table(); }
    int RowCount() const { return dm_.Table().Count(); }
    std::vector<int> CheckedRows() const { return dm_.Table().CheckedRows(); }
    // "Connected" or "Idle" from the virtual serial port view, with the row's colour.
    void SetStatusText(int row, const QString& text) { dm_.SetStatusText(row, text); }
    bool SendHostAnnouncement(const QString& deviceAddress, std::array<uint8_t, 2> reportedPort) {
        return dm_.SendHostAnnouncement(deviceAddress, reportedPort);
    }

    QPushButton* Button(DmButton button) const { return buttons_[static_cast<size_t>(button)]; }
    QLabel* StatusText() const { return status_; }
    QProgressBar* ProgressBar() const { return progress_; }
    QCheckBox* SearchAtStartBox() const { return searchAtStart_; }
    CReportCtrl* List() const { return list_; }
    CDlgDmSetting* SettingDialog() const { return settingDialog_; }
    CDlgDmTftpClient* UpgradeDialog() const { return upgradeDialog_; }

  signals:
    // A drag gesture on a row; the navigation panel runs the drag.
    void rowDragRequested(int row);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildForm();
    void BuildList();
    void ConnectController();
    void FillRow(int row);
    void ShowControls();
    void OnRowClicked(int row, int column);
    void OnRowDoubleClicked(int row);

    DmFrame& frame_;
    DmController dm_;
    std::array<QPushButton*, kDmButtonCount> buttons_{};
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QCheckBox* searchAtStart_ = nullptr;
    CReportCtrl* list_ = nullptr;
    CDlgDmSetting* settingDialog_ = nullptr;
    CDlgDmTftpClient* upgradeDialog_ = nullptr;
    // The release that ends a double-click is not a click of its own.
    bool afterDoubleClick_ = false;
};
