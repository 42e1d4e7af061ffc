#pragma once

#include <array>

#include "devcfg/widgets/SetupPage.h"

class LimitedLineEdit;
class QComboBox;
class UserPrompts;

// "WiFi Setting": radio mode, network name, security and the two WEP key sets.
class CDlgDmSetupWifi : public SetupPage {
    Q_OBJECT

  public:
    CDlgDmSetupWifi(DeviceSetupValues& values, UserPrompts& prompts, QWidget* parent = nullptr);

    void RefreshControls() override;
    QList<const LimitedLineEdit*> ReadControls() override;
    void ShowLoadedLine(int line) override;

  private:
    void OnNetworkModeChanged();
    void OnKeyLengthChanged();
    void OnKeyEdited(int key);
    // AP Channel enabled and the Security Mode entries of the mode; nothing selected.
    void ApplyModeRules(bool accessPoint);
    // The key edits show the set of the selected key length.
    void ShowKeySet();
    std::array<QString, 4>& ShownKeySet();

    UserPrompts& prompts_;
    QComboBox* wifiRf_;
    QComboBox* networkMode_;
    QComboBox* channel_;
    LimitedLineEdit* ssid_;
    QComboBox* security_;
    QComboBox* keyLength_;
    QComboBox* keyIndex_;
    std::array<LimitedLineEdit*, 4> keys_;
    LimitedLineEdit* psk_;
};
