#pragma once

#include "devcfg/widgets/SetupPage.h"

class IpAddressEdit;
class QComboBox;
class QLineEdit;

// "DHCP Server Setting": the address pool and options of the device's own DHCP server.
class CDlgDmSetupDhcpServer : public SetupPage {
    Q_OBJECT

  public:
    CDlgDmSetupDhcpServer(DeviceSetupValues& values, QWidget* parent = nullptr);

    void RefreshControls() override;
    QList<const LimitedLineEdit*> ReadControls() override;
    void ShowLoadedLine(int line) override;

  private:
    IpAddressEdit* poolStart_;
    IpAddressEdit* poolEnd_;
    IpAddressEdit* netmask_;
    IpAddressEdit* gateway_;
    QLineEdit* leaseMinutes_;  // shown only: it changes through a record or a setting file
    QComboBox* status_;
};
