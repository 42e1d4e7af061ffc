#include "devcfg/widgets/CDlgDmSetupWifi.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "devcfg/SetupMapping.h"
#include "devcfg/widgets/PageControls.h"
#include "platform/UserPrompts.h"

namespace {

constexpr int kSsidLimit = 32;
constexpr int kKeyLimit = 26;
constexpr int kPskLimit = 63;
constexpr const char* kApWepMessage = "AP mode not support WEP security";

const QStringList kStationSecurity{"OPEN", "WEP", "WPA/WPA2_AUTO"};
const QStringList kAccessPointSecurity{"OPEN", "WEP (Not Support)", "WPA2_AES_PSK"};

}  // namespace

CDlgDmSetupWifi::CDlgDmSetupWifi(DeviceSetupValues& values, UserPrompts& prompts, QWidget* parent)
    : SetupPage(values, parent), prompts_(prompts) {
    setObjectName("wifiPage");
    auto* grid = new QGridLayout;
    wifiRf_ = MakeList(kDisableEnable, this, "wifiRf");
    wifiRf_->hide();  // carries its value through
    networkMode_ = MakeList({"Station", "AP"}, this, "wifiNetworkMode");
    channel_ = MakeList(NumberEntries(lists::wifiChannel), this, "wifiChannel");
    ssid_ = MakeNamed<LimitedLineEdit>("ssid", kSsidLimit, this);
    security_ = MakeList(kStationSecurity, this, "wifiSecurity");
    psk_ = MakeNamed<LimitedLineEdit>("psk", kPskLimit, this);
    AddRow(grid, "Network Mode", networkMode_);
    AddRow(grid, "AP Channel", channel_);
    AddRow(grid, "Service Area Name/SSID", ssid_);
    AddRow(grid, "Security Mode", security_);

    auto* wep = new QGroupBox("WEP Encription Key Settings", this);
    auto* wepGrid = new QGridLayout(wep);
    keyLength_ = MakeList({"64 bits", "128 bits"}, wep, "wepKeyLength");
    keyIndex_ =
        MakeList({"Key Index 0", "Key Index 1", "Key Index 2", "Key Index 3"}, wep, "wepKeyIndex");
    AddRow(wepGrid, "Key Length", keyLength_);
    AddRow(wepGrid, "Key Index Select", keyIndex_);
    for (int i = 0; i < static_cast<int>(keys_.size()); ++i) {
        keys_[i] = MakeNamed<LimitedLineEdit>(QStringLiteral("wepKey%1").arg(i), kKeyLimit, wep);
        AddRow(wepGrid, QStringLiteral("Key Index %1").arg(i), keys_[i]);
        connect(keys_[i], &QLineEdit::textEdited, this, [this, i] { OnKeyEdited(i); });
    }
    wepGrid->addWidget(new QLabel("Please enter 10-digit hex for 64-bit key length or 26-digit "
                                  "hex for 128-bit key length",
                                  wep),
                       wepGrid->rowCount(), 0, 1, 2);

    auto* pskGrid = new QGridLayout;
    AddRow(pskGrid, "AES/TKIP Passphrase (8 ~ 63 digits)", psk_);
    auto* page = new QVBoxLayout(this);
    page->addLayout(grid);
    page->addWidget(wep);
    page->addLayout(pskGrid);
    page->addStretch();

    connect(networkMode_, &QComboBox::activated, this, &CDlgDmSetupWifi::OnNetworkModeChanged);
    connect(keyLength_, &QComboBox::activated, this, &CDlgDmSetupWifi::OnKeyLengthChanged);
}

void CDlgDmSetupWifi::RefreshControls() {
    SelectPosition(wifiRf_, v_.wifiRf);
    SelectPosition(networkMode_, v_.wifiNetworkMode);
    ApplyModeRules(v_.wifiNetworkMode == kAccessPointMode);
    SelectPosition(channel_, v_.wifiChannel);
    ssid_->SetWholeText(v_.ssid);
    SelectPosition(security_, v_.wifiSecurity);
    SelectPosition(keyIndex_, v_.wepKeyIndex);
    SelectPosition(keyLength_, v_.wepKeyLength);
    ShowKeySet();
    psk_->SetWholeText(v_.psk);
}

QList<const LimitedLineEdit*> CDlgDmSetupWifi::ReadControls() {
    QList<const LimitedLineEdit*> overLong;
    v_.wifiRf = Position(wifiRf_);
    v_.wifiNetworkMode = Position(networkMode_);
    v_.wifiChannel = Position(channel_);
    v_.ssid = ReadText(ssid_, overLong);
    v_.wifiSecurity = Position(security_);
    v_.wepKeyIndex = Position(keyIndex_);
    v_.wepKeyLength = Position(keyLength_);
    for (const LimitedLineEdit* key : keys_) ReadText(key, overLong);
    v_.psk = ReadText(psk_, overLong);
    return overLong;
}

void CDlgDmSetupWifi::ShowLoadedLine(int line) {
    switch (line) {
        case 42:
            SelectPosition(wifiRf_, v_.wifiRf);
            break;
        case 43:
            SelectPosition(networkMode_, v_.wifiNetworkMode);
            ApplyModeRules(v_.wifiNetworkMode == kAccessPointMode);
            break;
        case 44:
            SelectPosition(channel_, v_.wifiChannel);
            break;
        case 46:
            SelectPosition(security_, v_.wifiSecurity);
            break;
        case 47:
            SelectPosition(keyIndex_, v_.wepKeyIndex);
            break;
        case 48:
            SelectPosition(keyLength_, v_.wepKeyLength);
            break;
        default:
            if (line >= 49 && line <= 56) {
                const bool key128 = line >= 53;
                const int key = (line - 49) % 4;
                if (Position(keyLength_) == (key128 ? kKeyLength128 : 0)) {
                    keys_[key]->SetWholeText(key128 ? v_.wep128Keys[key] : v_.wep64Keys[key]);
                }
            }
            break;
    }
}

// The Security Mode entries follow the mode; the selection is kept, and WEP in AP mode is
// pointed out at once (Submit refuses it).
void CDlgDmSetupWifi::OnNetworkModeChanged() {
    const int security = Position(security_);
    ReadControls();
    const bool accessPoint = Position(networkMode_) == kAccessPointMode;
    ApplyModeRules(accessPoint);
    SelectPosition(security_, security);
    if (accessPoint && security == kWepSecurity) {
        prompts_.Inform(kApWepMessage);
        security_->setFocus();
    }
}

void CDlgDmSetupWifi::OnKeyLengthChanged() {
    v_.wepKeyLength = Position(keyLength_);
    ShowKeySet();
}

void CDlgDmSetupWifi::OnKeyEdited(int key) {
    ReadControls();
    ShownKeySet()[key] = keys_[key]->text();
}

void CDlgDmSetupWifi::ApplyModeRules(bool accessPoint) {
    channel_->setEnabled(accessPoint);
    security_->clear();
    security_->addItems(accessPoint ? kAccessPointSecurity : kStationSecurity);
    security_->setCurrentIndex(kNoSelection);
}

void CDlgDmSetupWifi::ShowKeySet() {
    const std::array<QString, 4>& set = ShownKeySet();
    for (size_t i = 0; i < keys_.size(); ++i) keys_[i]->SetWholeText(set[i]);
}

std::array<QString, 4>& CDlgDmSetupWifi::ShownKeySet() {
    return Position(keyLength_) == kKeyLength128 ? v_.wep128Keys : v_.wep64Keys;
}
