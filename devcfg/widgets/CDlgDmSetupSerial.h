#pragma once

#include "devcfg/widgets/SetupPage.h"

class QComboBox;

// "Serial Port Setting": the five line settings of the device's serial port.
class CDlgDmSetupSerial : public SetupPage {
    Q_OBJECT

  public:
    CDlgDmSetupSerial(DeviceSetupValues& values, QWidget* parent = nullptr);

    void RefreshControls() override;
    QList<const LimitedLineEdit*> ReadControls() override;

  private:
    QComboBox* baudRate_;
    QComboBox* dataBits_;
    QComboBox* parity_;
    QComboBox* stopBits_;
    QComboBox* flowControl_;
};
