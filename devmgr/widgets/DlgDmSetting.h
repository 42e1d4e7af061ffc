#pragma once

#include <QDialog>
#include <array>

#include "devmgr/DmFrame.h"
#include "devmgr/DmPeriodForm.h"

class QLineEdit;
class QPushButton;

// "Setting": the three periods of the device manager. The dialog edits the view's working
// periods in place; opening it copies the settings values into them first, OK writes them
// back into the settings. Fields are read as the dialog framework reads them, with its
// messages, and a field that fails gets the focus.
class CDlgDmSetting final : public QDialog {
    Q_OBJECT
  public:
    CDlgDmSetting(DmFrame& frame, DmPeriods& working, QWidget* parent = nullptr);

    // Copies the settings values into the working periods and shows them.
    void Prepare();
    // Prepare, then modal: QDialog::Accepted or Rejected.
    int Open();

    QLineEdit* Edit(dmperiod::Field field) const { return edits_[Index(field)]; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // OK and Cancel (also Escape and the close box) with their reading rules.
    void accept() override;
    void reject() override;

  private:
    static size_t Index(dmperiod::Field field) { return static_cast<size_t>(field); }
    // Reads the fields into the working periods; false after showing the failure.
    bool ReadFields();

    DmFrame& frame_;
    DmPeriods& working_;
    std::array<QLineEdit*, 3> edits_{};
    QPushButton* ok_;
    QPushButton* cancel_;
};
