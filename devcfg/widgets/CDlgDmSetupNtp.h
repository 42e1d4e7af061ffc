#pragma once

#include "devcfg/widgets/SetupPage.h"

class LimitedLineEdit;
class QComboBox;

// "NTP Setting": time servers, time zone and how the device's clock is set.
class CDlgDmSetupNtp : public SetupPage {
    Q_OBJECT

  public:
    CDlgDmSetupNtp(DeviceSetupValues& values, QWidget* parent = nullptr);

    void RefreshControls() override;
    QList<const LimitedLineEdit*> ReadControls() override;
    void ShowLoadedLine(int line) override;

  private:
    LimitedLineEdit* server1_;
    LimitedLineEdit* server2_;
    LimitedLineEdit* server3_;
    QComboBox* timeZone_;
    QComboBox* rtcSetup_;
    QComboBox* daylightSaving_;
};
