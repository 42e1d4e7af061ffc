#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/AppSettings.h"
#include "app/HostInterface.h"
#include "app/SettingsFile.h"
#include "app/SystemLog.h"
#include "app/widgets/ViewMenu.h"
#include "devmgr/DmFrame.h"
#include "monitor/MonitorFrame.h"
#include "protocol/BroadcastSocket.h"
#include "terminal/TerminalFrame.h"
#include "vsp/VspDatFile.h"
#include "vsp/VspFrame.h"

class QSplitter;
class QStackedWidget;
class QLabel;
class QAction;
class NetInterfaces;
class TimerHost;
class UserPrompts;
class VspDriverQueries;
class CViewDm;
class CViewMonitor;
class CViewLogSys;
class CViewTerminal;
class CViewVsp;
class CVspDriver;
class HeldPortsQuery;

// Views in the function pane and the bottom pane, by their index in creation order.
inline constexpr int kFunctionMonitor = 0;
inline constexpr int kFunctionVsp = 1;
inline constexpr int kFunctionDeviceManager = 2;
inline constexpr int kBottomTerminal = 0;
inline constexpr int kBottomLog = 1;

// What the frame is built from: the platform services and the working directory.
struct FrameServices {
    UserPrompts& prompts;
    TimerHost& timers;
    NetInterfaces& net;
    VspDriverQueries& vsp;
    // Where VELTRO.dat and vsp.dat are kept.
    QString workDir;
    // Shows the interface dialog; the frame uses the real dialog when this is empty.
    ChooseInterface chooseInterface = {};
    // Where the driver package, title, icon and help are found; empty: workDir.
    QString dataDir = {};
    // The virtual serial port service's control socket; empty: the default one.
    QString vspSocket = {};
};

// The hub: holds the settings, the host address and netmask, the broadcast socket and one
// reference to each view; views reach shared state and each other only through it.
class CMainFrame : public QMainWindow,
                   public DmFrame,
                   public VspFrame,
                   public MonitorFrame,
                   public TerminalFrame,
                   public NavigationFrame {
    Q_OBJECT
  public:
    static constexpr int kMinWidth = 665;
    static constexpr int kMinHeight = 550;
    static constexpr int kNavigationWidth = 188;
    static constexpr int kNavigationMinWidth = 120;
    static constexpr int kUpperRowHeight = 345;
    static constexpr int kUpperRowMinHeight = 80;
    static inline const QString kDefaultTitle =
        QStringLiteral("VELTRO Configuration Utility v1.1.0");
    static inline const QString kHelpFileName = QStringLiteral("VELTRO.html");

    explicit CMainFrame(FrameServices services);
    ~CMainFrame() override;

    // Frame creation: panes and views, settings, port table, bars, host interface, socket.
    void Create();
    // Each view's initial update, then the start-up log lines.
    void InitialUpdate();
    // Shows the window maximised; where no window manager maximises it, it still starts as
    // large as the screen's free area.
    void ShowFirst();

    AppSettings& Settings() { return settings_; }
    QString HostAddress() const override { return hostAddress_; }
    QString HostNetmask() const override { return hostNetmask_; }
    CBroadcastSocket& BroadcastSocket() override { return broadcast_; }
    UserPrompts& Prompts() override { return services_.prompts; }
    TimerHost& Timers() override { return services_.timers; }
    void RunVspStartupRepair() override;
    DmSettingsValues DmSettings() const override;
    void SetDmSettings(const DmSettingsValues& values) override;
    std::vector<MonitorDevice> CheckedDevices() const override;
    std::vector<MonitorDevice> ListedDevices() const override;
    int MonitorInterval() const override { return settings_.monitorInterval; }
    void SetMonitorInterval(int seconds) override { settings_.monitorInterval = seconds; }
    QTime CurrentTime() const override { return QTime::currentTime(); }
    TerminalSettingsPair TerminalSettingsValues() const override { return settings_.terminal; }
    void SetTerminalSettings(const TerminalSettingsPair& values) override {
        settings_.terminal = values;
    }
    // A virtual port is a pseudo-terminal.
    bool IsVirtualComPort(const QString& portName) const override;
    void AskHeldComPorts(std::function<void(const QSet<QString>&)> answer) override;
    SystemLog& Log() { return log_; }
    // The folder of the driver package, title, icon and help file.
    QString DataDirectory() const;

    void ShowFunctionView(int index) override;
    void ShowBottomView(int index) override;
    int FunctionViewIndex() const;
    int BottomViewIndex() const;
    QWidget* FunctionView(int index) const { return functionViews_[index]; }
    QWidget* BottomView(int index) const { return bottomViews_[index]; }
    QSplitter* Rows() const { return rows_; }
    QSplitter* Columns() const { return columns_; }
    CViewDm& DeviceManager() { return *dmView_; }
    CViewMonitor& Monitor() { return *monitorView_; }
    CViewTerminal& Terminal() { return *terminalView_; }

    CViewVsp& VirtualPorts() { return *vspView_; }
    CViewMenu& Navigation() { return *viewMenu_; }

    // The virtual serial port view's commands for the navigation panel.
    QStringList BuildPortNames() override;
    void AddPort() override;
    int RemoveByName(const QString& portName) override;
    int CloseByName(const QString& portName) override;
    bool ConnectByDrop(const QString& portName, const QString& ip, const QString& port,
                       bool udp) override;

    // What the virtual serial port view asks of the frame.
    NetInterfaces& Net() override { return services_.net; }
    VspSettingsValues VspSettings() const override;
    const CVspDatFile& PortTable() const override { return portTable_; }
    QString PortTablePath() const override;
    CVspDriver& VspDriver() override { return *vspDriver_; }
    QString DriverPackagePath() const override;
    int DmFindRowByIp(const QString& ip) const override;
    bool DmRowUdp(int row) const override;
    void DmSetStatusText(int row, const QString& text) override;
    bool SendHostAnnouncement(const QString& deviceAddress,
                              std::array<uint8_t, 2> reportedPort) override;
    void CloseTerminalsOnPort(const QString& portName) override;
    void RefreshTerminalPortLists() override;
    void ShowPortItems(const QStringList& itemTexts) override;

    void AddLog(const QString& text) override;
    void OnHelp();
    void OnAbout();
    // File menu "Export List...": the device manager's list as CSV, with firmware versions.
    void OnExportList();
    // Lets views copy their values into the settings, then writes the file.
    bool SaveSettings();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreatePanes();
    // Until the user moves the split: the terminal gets the height its logs need, the system
    // log the default split.
    void FitBottomPane();
    void CreateMenusAndBars();
    void SelectHostInterface();

    FrameServices services_;
    AppSettings settings_;
    SettingsFile settingsFile_;
    QString hostAddress_;
    QString hostNetmask_;
    CBroadcastSocket broadcast_;
    SystemLog log_;
    CVspDatFile portTable_;
    QString vspSocket_;
    std::unique_ptr<CVspDriver> vspDriver_;
    std::unique_ptr<HeldPortsQuery> heldPorts_;
    std::vector<std::function<void(const QSet<QString>&)>> heldAnswers_;

    QSplitter* rows_ = nullptr;
    bool userSplit_ = false;
    QSplitter* columns_ = nullptr;
    QStackedWidget* functionPane_ = nullptr;
    QStackedWidget* bottomPane_ = nullptr;
    CViewMenu* viewMenu_ = nullptr;
    CViewDm* dmView_ = nullptr;
    CViewMonitor* monitorView_ = nullptr;
    CViewLogSys* logView_ = nullptr;
    CViewTerminal* terminalView_ = nullptr;
    CViewVsp* vspView_ = nullptr;
    std::array<QWidget*, 3> functionViews_{};
    std::array<QWidget*, 2> bottomViews_{};
};
