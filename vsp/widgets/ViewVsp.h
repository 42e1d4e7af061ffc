#pragma once

#include <QWidget>
#include <array>

#include "vsp/VspController.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class CReportCtrl;
class IpAddressEdit;

// The virtual serial port form: the port commands, the network configuration of the selected
// port, the status line with its progress bar and the port list. It shows what its controller
// holds and hands it the user's input; the flows and the port table live there.
class CViewVsp final : public QWidget {
    Q_OBJECT
  public:
    explicit CViewVsp(VspFrame& frame, QWidget* parent = nullptr);
    ~CViewVsp() override;

    void InitialUpdate();
    VspController& Controller() { return vsp_; }

    // The controls, for the frame and for tests.
    QPushButton* Button(VspControl control) const;
    QWidget* Control(VspControl control) const { return controls_[size_t(control)]; }
    CReportCtrl* List() const { return list_; }
    QLabel* StatusLine() const { return status_; }
    QProgressBar* ProgressBar() const { return progress_; }
    IpAddressEdit* AddressEdit() const { return address_; }
    QLineEdit* RemotePortEdit() const { return remotePort_; }
    QLineEdit* ListenPortEdit() const { return listenPort_; }
    QLineEdit* PacketSizeEdit() const { return packetSize_; }
    QLabel* PacketSizeLabel() const { return packetSizeLabel_; }
    QComboBox* PortNumberBox() const { return portNumber_; }

  private:
    QWidget* BuildCommands();
    QWidget* BuildConfiguration();
    QWidget* BuildModeGroup();
    void BuildList();
    void ConnectControls();
    void ReadForm();
    void ShowForm();
    void ShowControls();
    void ShowRows();
    template <typename Handler>
    void OnUser(QPushButton* button, Handler handler);

    VspFrame& frame_;
    VspController vsp_;
    std::array<QWidget*, kVspControlCount> controls_{};
    QLineEdit* remotePort_ = nullptr;
    QLineEdit* listenPort_ = nullptr;
    QLineEdit* packetSize_ = nullptr;
    QLabel* packetSizeLabel_ = nullptr;
    IpAddressEdit* address_ = nullptr;
    QCheckBox* connectAtStart_ = nullptr;
    QCheckBox* enableVcom_ = nullptr;
    QRadioButton* tcp_ = nullptr;
    QRadioButton* udp_ = nullptr;
    QRadioButton* client_ = nullptr;
    QRadioButton* server_ = nullptr;
    QComboBox* portNumber_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    CReportCtrl* list_ = nullptr;
};
