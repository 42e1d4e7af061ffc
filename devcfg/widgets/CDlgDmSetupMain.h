#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "devcfg/DeviceConfigRecord.h"
#include "devcfg/DeviceSetupValues.h"
#include "devcfg/SetupMapping.h"

class QPushButton;
class QScrollBar;
class QTabWidget;
class UserPrompts;
class CDlgDmSetupNetwork;
class CDlgDmSetupSerial;
class CDlgDmSetupWifi;
class CDlgDmSetupDhcpServer;
class CDlgDmSetupNtp;
class SetupPage;

// "Device Setup": the modal sheet in which the user edits one device's configuration on five
// pages, saves it to or loads it from a device setting file, and submits it.
//
// For the device manager the whole interface is Run():
//
//   if (auto command = CDlgDmSetupMain::Run(this, prompts, storedRecord, row))
//       ... confirm, then send command->bytes() (756 bytes) to the device ...
//
// `selected` is the device's stored record, `listIndex` its 0-based row in the device list
// (an empty device name is shown as "DSM" + (listIndex + 1)). The result is the setup command
// (command 2, marker 1, fixed port 25122, the opened device's MAC address) when the sheet
// closed through a successful Submit; any other way of closing it gives nullopt, and nothing
// is to be sent. Messages and file dialogs go through `prompts`.
class CDlgDmSetupMain : public QDialog {
    Q_OBJECT

  public:
    static std::optional<DeviceConfigRecord> Run(QWidget* parent, UserPrompts& prompts,
                                                 const DeviceConfigRecord& selected, int listIndex);

    explicit CDlgDmSetupMain(UserPrompts& prompts, QWidget* parent = nullptr);
    ~CDlgDmSetupMain() override;

    // Fills the pages from a search or setup reply (and remembers its MAC address and MODBUS
    // slave ID). A record whose command byte the sheet does not take leaves the pages as they
    // are and gives false.
    bool FillFromRecord(const DeviceConfigRecord& record, int listIndex);
    // Reads the pages back, checks them and builds the outgoing record: one box names every
    // text that does not fit, one "Error Info" box lists every failed check. True only when
    // nothing failed.
    bool BuildRecord();
    // The "Save" and "Load" buttons: the device setting file.
    bool SaveSettingFile();
    bool LoadSettingFile();

    // The setup command built by the last successful Submit.
    const DeviceConfigRecord& OutgoingRecord() const { return outgoing_; }

    CDlgDmSetupNetwork& NetworkPage() const { return *network_; }
    CDlgDmSetupSerial& SerialPage() const { return *serial_; }
    CDlgDmSetupWifi& WifiPage() const { return *wifi_; }
    CDlgDmSetupDhcpServer& DhcpServerPage() const { return *dhcp_; }
    CDlgDmSetupNtp& NtpPage() const { return *ntp_; }
    QTabWidget& Tabs() const { return *tabs_; }
    QScrollBar& VerticalScrollBar() const { return *scrollBar_; }
    QWidget& Content() const { return *content_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildLayout();
    void OnSubmit();
    void OnTabChanged(int index);
    void OnScrollAction(int action);
    void RefreshAllPages();
    // Reads every page into the shared values, in the order Network, WiFi, Serial, DHCP
    // server, NTP; the texts longer than their edit allows, in that order.
    QList<OverLongText> ReadAllPages();
    // One box naming every text that does not fit, each by its control's label.
    void ShowOverLong(const QList<OverLongText>& texts);
    // Brings the page holding the named control to the front and, if it is shown, the focus
    // to it.
    void ShowControl(const QString& objectName);
    void ApplyLoadedLine(int line);
    void ShowFileFailure(const QString& text, const QString& path);
    std::array<SetupPage*, 5> Pages() const;

    UserPrompts& prompts_;
    DeviceSetupValues values_;
    std::array<uint8_t, devrec::kMacSize> mac_{};
    DeviceConfigRecord outgoing_;

    QWidget* content_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    QPushButton* submit_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* load_ = nullptr;
    CDlgDmSetupNetwork* network_ = nullptr;
    CDlgDmSetupSerial* serial_ = nullptr;
    CDlgDmSetupWifi* wifi_ = nullptr;
    CDlgDmSetupDhcpServer* dhcp_ = nullptr;
    CDlgDmSetupNtp* ntp_ = nullptr;
    int activeTab_ = 0;
    int scrollPosition_ = 0;
    int scrollMaximum_ = 0;
    bool scrollRangeSet_ = false;
};
