#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "devcfg/DeviceConfigRecord.h"
#include "devmgr/DmAckWork.h"
#include "devmgr/DmDeviceTable.h"
#include "devmgr/DmFrame.h"
#include "platform/TimerHost.h"

struct ReceivedDatagram;
class CTftpClient;
struct TftpProgress;
class CUnicastSocket;

// The seven buttons of the device manager, in the order the form shows them.
enum class DmButton {
    kSystemSetting,
    kSearch,
    kDeviceSetup,
    kFirmwareUpgrade,
    kReboot,
    kRestore,
    kWebBrowser,
};
inline constexpr int kDmButtonCount = 7;

// A device found again in the list by its MAC address: the address to send to (host order)
// and its stored reply.
struct DmTarget {
    uint32_t address = 0;
    DeviceConfigRecord record;
};

// The flow that holds the device manager. At most one runs; kIdle while none does. The restart
// wait after an upgrade runs while idle, with the buttons enabled: a flow started then ends it.
enum class DmFlow { kIdle, kSearch, kSetup, kRestore, kReboot, kUpgrade };

// Which warning the subnet check shows: the device manager's own, or the push upgrade's, which
// also unticks the device on No.
enum class DmSubnetWarning { kDeviceManager, kUpgrade };

// The device manager without its widgets: the device list with the stored replies, the
// selected row, the status text, progress and button states the view shows, and the flows
// that change them (search, setup, restore, reboot, restart wait, start-up actions), driven by
// the view's timers and the replies of the broadcast socket.
//
// A flow the user confirms in a box or dialog while another flow runs (a search that the
// restart wait or the start-up actions began while the box was open) waits for that flow to
// end, then looks its devices up again and starts; flows never interleave.
class DmController : public QObject, public TimerClient {
    Q_OBJECT
  public:
    static constexpr int kSearchTimer = 2;
    static constexpr int kSetupTimer = 5;
    static constexpr int kRestoreTimer = 7;
    static constexpr int kRebootTimer = 9;
    static constexpr int kRestartWaitTimer = 12;
    static constexpr int kStartupTimer = 14;
    static constexpr int kTickMs = 1000;

    static constexpr int kProgressMax = 1000;
    static constexpr int kSearchRequestBurst = 3;
    static constexpr int kSearchRetries = 2;
    static constexpr int kSetupRetries = 5;
    static constexpr uint16_t kLowestDataPort = 1024;
    // A push upgrade writes one device; the restart wait counts it as one ticked device.
    static constexpr int kUpgradedDevices = 1;

    // Shows the setup sheet modally for the record of `row`; the setup command it built when
    // the user submitted, or nullopt when the sheet closed otherwise.
    using SetupSheet =
        std::function<std::optional<DeviceConfigRecord>(const DeviceConfigRecord& record, int row)>;

    explicit DmController(DmFrame& frame, QObject* parent = nullptr);
    ~DmController() override;

    // Shows the firmware upgrade dialog modally; the chosen image's path after OK.
    using ImageChooser = std::function<std::optional<QString>()>;

    void SetSetupSheet(SetupSheet sheet) { setupSheet_ = std::move(sheet); }
    void SetImageChooser(ImageChooser chooser) { imageChooser_ = std::move(chooser); }
    // The devices' management port; only tests and the benchmark use another one.
    void SetDevicePort(uint16_t port) { devicePort_ = port; }
    uint16_t DevicePort() const { return devicePort_; }

    // Lifecycle, called by the view and the frame.
    void InitialUpdate();
    void HandOverSettings();
    void SetSearchAtStartBox(bool on);
    bool SearchAtStartBox() const { return searchAtStartBox_; }
    DmPeriods& WorkingPeriods() { return periods_; }

    // Buttons and rows.
    void OnSearch();
    void OnDeviceSetup();
    void OnRestore();
    void OnReboot();
    void OnWebBrowser();
    void OnFirmwareUpgrade();
    void ClickRow(int row, int column);
    void DoubleClickRow(int row);
    void SetRowChecked(int row, bool ticked);

    // Shared with the push upgrade and the other views.
    std::optional<int> SingleDeviceChoice();
    bool SubnetCheck(const DeviceConfigRecord& device,
                     DmSubnetWarning warning = DmSubnetWarning::kDeviceManager);
    void StartSearch();
    void SetStatusText(int row, const QString& text);
    bool SendHostAnnouncement(const QString& deviceAddress, std::array<uint8_t, 2> reportedPort);

    // What the view shows.
    const DmDeviceTable& Table() const { return table_; }
    QString Status() const { return status_; }
    int Progress() const { return progress_; }
    bool ButtonEnabled(DmButton button) const { return buttons_[Index(button)]; }
    std::optional<int> SelectedRow() const { return selected_; }
    CTftpClient& Tftp() { return *tftp_; }

    void HandleReply(const ReceivedDatagram& datagram);
    void OnTimer(int timerId) override;

  signals:
    void listReset();
    void rowInserted(int row);
    void rowChanged(int row);
    void controlsChanged();
    void searchAtStartChanged(bool on);
    // A search ended with these devices listed (their MAC addresses as the list shows them).
    void searchEnded(const QStringList& listedMacs);

  private:
    static size_t Index(DmButton button) { return static_cast<size_t>(button); }
    void SetStatus(const QString& text);
    void SetIdle();
    void SetProgress(int value);
    void EnableButton(DmButton button, bool enabled);
    void EnableAllButtons(bool enabled);
    void EnableRowButtons(bool enabled);
    // True while a flow runs or waits: the buttons are disabled then, and their handlers do
    // nothing.
    bool Busy() const { return flow_ != DmFlow::kIdle || confirmed_; }
    // Starts a flow the user has just confirmed, or keeps it until the running flow ends.
    void RunConfirmed(std::function<void()> start);
    void EndFlow();
    // " Idle" and progress 0 after a box ended a flow before it began, unless another flow
    // runs and shows its own.
    void ShowIdleUnlessBusy();
    void ClearList();
    bool Send(const QByteArray& data, const QString& destination);
    bool SendTo(const QByteArray& data, uint32_t address);
    // A device chosen before a modal box, looked up again by its MAC address afterwards: a
    // search may have rebuilt the list meanwhile. nullopt, after telling the user that
    // nothing was sent, when it is no longer listed or its address names no single host.
    std::optional<DmTarget> FindAgain(const DeviceConfigRecord& chosen);
    void Untick(const DeviceConfigRecord& device);
    void InformSearchResult(const QString& text);
    void WarnIfLowPort(const DeviceConfigRecord& record);

    void SendSearchRequest(int times);
    void OnSearchTick();
    void OnSearchReply(const ReceivedDatagram& datagram);
    void StartSetup(const DeviceConfigRecord& chosen, const DeviceConfigRecord& command);
    void OnSetupTick();
    void OnSetupReply(const ReceivedDatagram& datagram);
    std::optional<std::vector<DeviceConfigRecord>> ConfirmAckFlow(const QString& question,
                                                                  const QString& caption);
    void StartAckFlow(DmFlow flow, const std::vector<DeviceConfigRecord>& chosen);
    void StartUpgrade(const DeviceConfigRecord& chosen, const QString& image);
    void OnUpgradeButtons(bool enabled);
    void OnUpgradeProgress(const TftpProgress& progress);
    void OnUpgradeFinished();
    void OnUpgradeFailed();
    void OnAckTick(DmAckWork& work, int timerId);
    void OnAckFlowEnd(bool succeeded, int timerId);
    void StartRestartWait(int tickedDevices);
    void StopRestartWait();
    void OnRestartWaitTick();
    void OnStartupTick();

    DmFrame& frame_;
    TimerHost& timers_;
    SetupSheet setupSheet_;
    ImageChooser imageChooser_;
    std::unique_ptr<CTftpClient> tftp_;
    uint16_t devicePort_;
    std::unique_ptr<CUnicastSocket> unicast_;

    DmDeviceTable table_;
    std::optional<int> selected_;
    QString status_;
    int progress_ = 0;
    std::array<bool, kDmButtonCount> buttons_{};
    bool searchAtStartBox_ = false;
    DmPeriods periods_;
    DmFlow flow_ = DmFlow::kIdle;
    // A flow confirmed while another ran, started when that one ends.
    std::function<void()> confirmed_;

    // Each flow counts its own resends: the search that ends a restart wait may run while a
    // flow started meanwhile is resending.
    int searchRetry_ = 0;
    int setupRetry_ = 0;
    int ackRetry_ = 0;  // restore or reboot, which never run together
    bool setupReplied_ = false;
    // The device being set up, and where its command goes.
    std::optional<std::array<uint8_t, devrec::kMacSize>> setupMac_;
    uint32_t setupAddress_ = 0;
    QByteArray setupCommand_;
    DmAckWork restore_;
    DmAckWork reboot_;
    // The devices of the running restore or reboot; its work counts in indexes of this list.
    std::vector<DmTarget> ackTargets_;
    int restartTicked_ = 0;
    int restartCounter_ = 0;
};
