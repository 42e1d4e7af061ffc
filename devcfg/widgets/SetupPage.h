#pragma once

#include <QList>
#include <QWidget>

#include "devcfg/DeviceSetupValues.h"

class LimitedLineEdit;
class QGridLayout;

// One page of the device setup sheet. Its fields are its share of the sheet's values; the
// page shows them in its controls and reads them back, and keeps its enable and show rules.
class SetupPage : public QWidget {
    Q_OBJECT

  public:
    SetupPage(DeviceSetupValues& values, QWidget* parent);

    // Fields into controls, then the page's enable and show rules (as on activation).
    virtual void RefreshControls() = 0;
    // Controls into fields. Texts longer than their limit are read whole; their edits are
    // returned so that the sheet can name them (by their accessible name, the row's label).
    virtual QList<const LimitedLineEdit*> ReadControls() = 0;
    // A line of a device setting file that shows in its control as soon as it is read.
    virtual void ShowLoadedLine(int line) { Q_UNUSED(line); }

  protected:
    static QString ReadText(const LimitedLineEdit* edit, QList<const LimitedLineEdit*>& overLong);
    // A labelled row of a form grid; `suffix` (a unit) goes after the control. The label also
    // becomes the control's accessible name, by which messages name it.
    static void AddRow(QGridLayout* grid, const QString& label, QWidget* control,
                       const QString& suffix = {});

    DeviceSetupValues& v_;
};
