#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "platform/TimerHost.h"
#include "ui/Rgb.h"
#include "vsp/VspFrame.h"
#include "vsp/VspSupervision.h"
#include "vspd/ControlProtocol.h"

class VspHandle;
struct VspInterface;
namespace vspd {
struct RemoteInfoReply;
}

// The values of the form, exchanged with its controls in both directions.
struct VspForm {
    int32_t connectAtStart = 0;
    uint32_t maxPacketSize = 0;
    QString remotePortText = QStringLiteral("0");
    int32_t protocol = 0;  // 0 TCP, 1 UDP
    QString statusLine;
    int32_t enableVcom = 0;
    int32_t clientMode = 1;  // 1 client, 0 server, -1 neither selected
    QString listenPortText;
    uint32_t remoteIp = 0;  // the address control, host order

    bool operator==(const VspForm&) const = default;
};

// The controls whose enabled state the flows set.
enum class VspControl {
    kAdd,
    kRemove,
    kConnect,
    kClose,
    kSetting,
    kAddress,
    kRemotePort,
    kListenPort,
    kPacketSize,
    kPortNumber,
    kConnectAtStart,
    kEnableVcom,
    kTcp,
    kUdp,
    kServer,
    kClient,
    kList,
};
inline constexpr int kVspControlCount = 17;

inline constexpr Rgb kVspIdleBack{255, 255, 255};
inline constexpr Rgb kVspConnectedBack{200, 255, 200};
inline constexpr Rgb kVspDisconnectingBack{255, 200, 200};

// One row of the port list: Port ID, Port Name, Status, Remote IP, Remote Port.
struct VspRow {
    static constexpr int kColumnCount = 5;
    static constexpr int kPortIdColumn = 0;
    static constexpr int kNameColumn = 1;
    static constexpr int kStatusColumn = 2;
    static constexpr int kRemoteIpColumn = 3;
    static constexpr int kRemotePortColumn = 4;
    std::array<QString, kColumnCount> cells;
    Rgb back = kVspIdleBack;
};

using VspComUsage = std::array<uint8_t, vspd::kComUsageSize>;
// "COMn" for COM1 to COM256, "COMn (in used)" where the usage marks the number.
QStringList VspPortNumberEntries(const VspComUsage& used);
// The position of the lowest free number, 0 when none is free.
int VspFirstFreePosition(const VspComUsage& used);

// The virtual serial port view without its widgets: the form values, the port list and the
// table behind it, the button states, and the flows of the view (refresh, row click, port
// commands, adding and removing ports), driven by the view's timers. The view shows what it
// holds and hands it the user's input.
class VspController : public QObject, public TimerClient {
    Q_OBJECT
  public:
    static constexpr int kProbeTimer = 1;
    static constexpr int kEvaluationTimer = 2;
    static constexpr int kProgressTimer = 3;
    static constexpr int kRefreshTimer = 4;
    static constexpr int kReconnectTimer = 5;
    // The pause between a server start and showing the port as "Server".
    static constexpr int kServerWaitTimer = 6;
    static constexpr int kProgressMs = 500;
    static constexpr int kRefreshMs = 1000;
    static constexpr int kServerWaitMs = 500;

    static constexpr uint32_t kDefaultMtu = 1500;
    static constexpr uint32_t kTcpOverhead = 40;
    static constexpr uint32_t kUdpOverhead = 28;
    static constexpr uint32_t kNewPortAddress = 0xC0A80003;  // 192.168.0.3
    static constexpr uint32_t kNewPortPacketSize = 1400;
    static constexpr uint8_t kPollIdle = 2;
    static constexpr uint8_t kPollClient = 1;
    static constexpr uint8_t kPollServer = 3;

    static inline const QString kIdle = QStringLiteral("Idle");
    static inline const QString kConnected = QStringLiteral("Connected");
    static inline const QString kServer = QStringLiteral("Server");
    static inline const QString kDisconnecting = QStringLiteral("Disconnecting");
    static inline const QString kStopTerminal =
        QStringLiteral("Please stop terminal program first\n");
    static inline const QString kNoConnection = QStringLiteral("#");

    // Shows the COM number dialog modally over the usage; the chosen number, or nullopt.
    using PortNumberChooser = std::function<std::optional<int>(const VspComUsage&)>;

    explicit VspController(VspFrame& frame, QObject* parent = nullptr);
    ~VspController() override;

    void SetPortNumberChooser(PortNumberChooser chooser) { chooser_ = std::move(chooser); }

    // Lifecycle.
    void InitialUpdate();
    // The close request: saves the table with the list's rows.
    void SaveTable();

    // The user's input: the form as the controls hold it now.
    void EditForm(const VspForm& form) { form_ = form; }
    void OnPacketSizeChanged();
    void OnClientRadio();
    void OnServerRadio();
    void ClickRow(int row);
    void SelectRow(int row) { selected_ = row; }

    // Commands.
    void OnAdd();
    void OnRemove();
    void OnSetting();
    void OnConnect();
    void OnClose();
    bool CloseByName(const QString& name);
    bool RemoveByName(const QString& name);
    bool ConnectByDrop(const QString& portName, const QString& ipText, const QString& portText,
                       bool udp);

    // For the navigation tree: the names of the port items.
    QStringList BuildPortNames();

    void Refresh(bool afterAdd);
    void ScanMtu();
    uint32_t PacketSizeLimit(int32_t protocol) const;
    void ShowStatus(int row, const QString& word);
    void SetRemoteColumns(int row, uint32_t address, uint16_t port);

    // What the view shows.
    const VspForm& Form() const { return form_; }
    const std::vector<VspRow>& Rows() const { return rows_; }
    int RowCount() const { return static_cast<int>(rows_.size()); }
    std::optional<int> SelectedRow() const { return selected_; }
    bool Enabled(VspControl control) const { return enabled_[Index(control)]; }
    QString SettingCaption() const { return settingCaption_; }
    QString ConnectCaption() const { return connectCaption_; }
    const QStringList& PortNumberEntries() const { return portNumbers_; }
    int PortNumberIndex() const { return portNumberIndex_; }
    void SetPortNumberIndex(int index) { portNumberIndex_ = index; }
    std::pair<int, int> ProgressRange() const { return progressRange_; }
    int Progress() const { return progress_; }
    bool SettingMode() const { return settingMode_; }
    int ListedCount() const { return listedCount_; }
    uint32_t MinMtu() const { return minMtu_; }
    uint32_t PollState(int row) const { return pollState_.at(static_cast<size_t>(row)); }
    const QStringList& PortNames() const { return portNames_; }

    void OnTimer(int timerId) override;

    // Connection supervision: called once by the device manager view after its start-up.
    void RunStartupRepair() { supervision_.RunStartupRepair(); }
    VspSupervision& Supervision() { return supervision_; }

  signals:
    void listReset();
    void rowInserted(int row);
    void rowRemoved(int row);
    void rowChanged(int row);
    void rowSelected(int row);
    void formChanged();
    void controlsChanged();

  private:
    friend class VspSupervision;

    static size_t Index(VspControl control) { return static_cast<size_t>(control); }
    void Enable(VspControl control, bool on);
    void Enable(std::initializer_list<VspControl> controls, bool on);
    void WriteForm() { emit formChanged(); }
    void SetStatusLine(const QString& text);
    void SetCell(int row, int column, const QString& text);
    QString Cell(int row, int column) const;
    int PortIdOf(int row) const;
    int FindRowByName(const QString& name) const;
    int FindRowByPortId(int portId) const;
    void SetPollState(int row, uint32_t state);
    void SetConnectCaption();

    // Refresh and its parts.
    void RestoreFromTable();
    void EnumerateIntoList(bool afterAdd);
    void ListPort(int portId, const QString& name, const vspd::RemoteInfoReply& reply,
                  bool afterAdd);
    void ListUnqueriedPort(int portId, const QString& name);
    void InsertRow(int row, const QString& portId, const QString& name, const QString& status);
    void ShowPortAndAddress(uint16_t port, uint32_t address);
    void LoadFormFromRecord(int index);
    vspd::RemoteInfoRequest FormRequest(uint32_t address, uint16_t port) const;
    void TakeReplyIntoForm(const vspd::RemoteInfoReply& reply);
    void ClickIdleRow(int portId);
    bool TryOpen(int portId);

    // Commands.
    void SettingFirstPress();
    void SettingSecondPress();
    void EnterEditState();
    bool ScanComUsage(VspComUsage* used);
    void ConnectClient(int portId);
    void StartServer(int portId);
    void FinishServerStart();
    bool ConnectWhilePainting(VspHandle& handle);
    void ReportConnectFailure(uint32_t error);
    void MarkConnected();
    bool Disconnect(int row);
    void CopyColumnsToRecord(int row);
    void AddPort(int comNumber);
    void InstallPort(int comNumber);
    QString InstanceIdOf(int portId);
    bool RenumberPort(int row, int portId, int comNumber);
    void CloseTableGap(int row);

    VspFrame& frame_;
    CVspPortTable& table_;
    PortNumberChooser chooser_;
    VspForm form_;
    std::vector<VspRow> rows_;
    std::optional<int> selected_;
    std::array<bool, kVspControlCount> enabled_{};
    QString settingCaption_ = QStringLiteral("Setting");
    QString connectCaption_ = QStringLiteral("Connect");
    QStringList portNumbers_;
    int portNumberIndex_ = -1;
    std::pair<int, int> progressRange_{0, 100};
    int progress_ = 0;
    bool settingMode_ = false;
    int listedCount_ = 0;
    uint32_t minMtu_ = kDefaultMtu;
    std::array<uint32_t, 256> pollState_{};
    QStringList portNames_;
    QString addedName_;
    // The port whose server start waits for its pause to end.
    std::optional<int> serverWaitPort_;
    VspSupervision supervision_{*this};
};
