#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "platform/TimerHost.h"
#include "vsp/VspFrame.h"
#include "vsp/VspInstallService.h"
#include "vsp/VspPortCommands.h"

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

// The controls whose enabled state the view follows.
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

// The virtual serial port form without its widgets: the form values, the selected port (by
// name, moved only by the user's click), the Setting edit (which owns its port until OK), the
// button states, which always follow the selected port's own state, and the Add flow's
// progress. The buttons act on the selected port and the navigation tree on the port it
// names, both through the port commands.
class VspController : public QObject, public TimerClient {
    Q_OBJECT
  public:
    static constexpr int kProgressTimer = 3;
    static constexpr int kRefreshTimer = 4;
    static constexpr int kProgressMs = 500;
    static constexpr int kRefreshMs = 1000;

    // Shows the COM number dialog modally over the usage; the chosen number, or nullopt.
    using PortNumberChooser = std::function<std::optional<int>(const VspComUsage&)>;

    explicit VspController(VspFrame& frame, QObject* parent = nullptr);
    ~VspController() override;

    void SetPortNumberChooser(PortNumberChooser chooser) { chooser_ = std::move(chooser); }

    void InitialUpdate();
    void SaveTable() { commands_.SaveTable(); }

    // The user's input: the form as the controls hold it now.
    void EditForm(const VspForm& form) { form_ = form; }
    void OnPacketSizeChanged();
    void OnClientRadio();
    void OnServerRadio();
    void ClickRow(int row);

    // The buttons, on the selected port.
    void OnAdd();
    void OnRemove();
    void OnSetting();
    void OnConnect();
    void OnClose();

    // The navigation tree, on the port it names; refused while a Setting edit is open.
    void CreateFromTree();
    bool CloseByName(const QString& name);
    bool RemoveByName(const QString& name);
    // Starts connecting the port to a dropped device.
    bool ConnectByDrop(const QString& portName, const QString& ipText, const QString& portText,
                       bool udp);
    QStringList PortItemTexts() const { return commands_.Ports().ItemTexts(); }
    // No request, attempt or command of the view is under way.
    bool Settled() const { return commands_.Settled() && !adding_ && !applying_; }
    void RunStartupRepair() { commands_.RunStartupRepair(); }

    // What the view shows.
    const VspForm& Form() const { return form_; }
    std::vector<VspRow> Rows() const;
    int RowCount() const { return commands_.Ports().Count(); }
    const QString& SelectedName() const { return selected_; }
    std::optional<int> SelectedRow() const;
    bool Enabled(VspControl control) const { return enabled_[size_t(control)]; }
    QString SettingCaption() const;
    QString ConnectCaption() const;
    const QStringList& PortNumberEntries() const { return portNumbers_; }
    int PortNumberIndex() const { return portNumberIndex_; }
    void SetPortNumberIndex(int index) { portNumberIndex_ = index; }
    std::pair<int, int> ProgressRange() const { return progressRange_; }
    int Progress() const { return progress_; }
    bool SettingMode() const { return !editPort_.isEmpty(); }
    const QString& EditedPort() const { return editPort_; }
    VspPortCommands& Commands() { return commands_; }
    const VspPortCommands& Commands() const { return commands_; }

    void OnTimer(int timerId) override;

  signals:
    void rowsChanged();
    void formChanged();
    void controlsChanged();

  private:
    bool RefuseDuringEdit();
    void BeginEdit();
    VspTask ReadPortNumbers(QString name);
    void FinishEdit();
    void EndEdit();
    VspTask AddFlow();
    void AddPort(int comNumber);
    void AddFinished(bool added);
    void ClearForm();
    void FollowPorts();
    void ShowPortInForm(const VspPort& port);
    void UpdateControls();
    void SetStatusLine(const QString& text);
    vspd::RemoteInfoRequest FormRequest() const;
    uint16_t FormPort() const;

    VspFrame& frame_;
    VspPortCommands commands_;
    PortNumberChooser chooser_;
    VspForm form_;
    QString selected_;
    QString editPort_;
    std::array<bool, kVspControlCount> enabled_{};
    QStringList portNumbers_;
    int portNumberIndex_ = -1;
    std::pair<int, int> progressRange_{0, 100};
    int progress_ = 0;
    bool adding_ = false;    // an Add waits for the service
    bool applying_ = false;  // the edit's OK waits for the service
};
