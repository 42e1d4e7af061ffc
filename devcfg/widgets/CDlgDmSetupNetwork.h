#pragma once

#include "devcfg/widgets/SetupPage.h"

class LimitedLineEdit;
class ClampedNumberEdit;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QRadioButton;

// "Network Setting": identity, addressing, data connection, SMTP alerts and MODBUS gateway.
class CDlgDmSetupNetwork : public SetupPage {
    Q_OBJECT

  public:
    CDlgDmSetupNetwork(DeviceSetupValues& values, QWidget* parent = nullptr);

    void RefreshControls() override;
    QList<const LimitedLineEdit*> ReadControls() override;
    void ShowLoadedLine(int line) override;

  private:
    QWidget* BuildAddressing();
    QGroupBox* BuildSmtp();
    QGroupBox* BuildEvents();
    QGroupBox* BuildModbus();
    // Server or Client clicked.
    void OnModeClicked();
    void OnPacketTypeClicked(QCheckBox* clicked);
    // The edit of Data Listening Port or Destination Port that the mode uses is enabled.
    void ApplyServerClientRule();
    // DHCP at "Enable" shows the current address, otherwise the static one, in one place.
    void ApplyDhcpRule();
    void ShowCurrentAddress(bool current);

    LimitedLineEdit* deviceName_;
    LimitedLineEdit* macAddress_;
    QComboBox* operationMode_;
    QComboBox* dhcp_;
    LimitedLineEdit* currentIp_;
    LimitedLineEdit* staticIp_;
    QRadioButton* server_;
    QRadioButton* client_;
    ClampedNumberEdit* listenPort_;
    ClampedNumberEdit* destinationPort_;
    QCheckBox* tcp_;
    QCheckBox* udp_;
    LimitedLineEdit* destinationHost_;
    LimitedLineEdit* subnetMask_;
    LimitedLineEdit* gateway_;
    LimitedLineEdit* dnsServer_;
    ClampedNumberEdit* transmitTimer_;
    LimitedLineEdit* smtpDomain_;
    LimitedLineEdit* smtpFrom_;
    LimitedLineEdit* smtpTo1_;
    LimitedLineEdit* smtpTo2_;
    LimitedLineEdit* smtpTo3_;
    LimitedLineEdit* smtpUser_;
    LimitedLineEdit* smtpPassword_;
    QComboBox* smtpSecurity_;
    ClampedNumberEdit* smtpPort_;
    QComboBox* eventIpChange_;
    QComboBox* eventPasswordChange_;
    QComboBox* eventAuthFail_;
    QComboBox* eventColdStart_;
    QComboBox* eventWarmStart_;
    LimitedLineEdit* firmwareFile_;
    QComboBox* modbusTransferMode_;
    ClampedNumberEdit* modbusPort_;
    ClampedNumberEdit* modbusResponseTimeout_;
    ClampedNumberEdit* modbusInterFrameDelay_;
    ClampedNumberEdit* modbusInterCharDelay_;
};
