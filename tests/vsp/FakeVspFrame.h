#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <vector>

#include "platform/ManualClock.h"
#include "platform/NetInterfaces.h"
#include "platform/ScriptedPrompts.h"
#include "protocol/Message.h"
#include "protocol/UnicastSocket.h"
#include "tests/support/FakeNetInterfaces.h"
#include "vsp/VspDatFile.h"
#include "vsp/VspDriver.h"
#include "vsp/VspFrame.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// The main frame as the virtual serial port view sees it: a manual clock, scripted prompts, a
// driver talking to the test's own service, the driver package copied into a
// temporary working folder, a device manager list of (IP, UDP flag, status) rows, and the
// navigation tree's item texts as the view last showed them.
class FakeVspFrame final : public VspFrame {
  public:
    // The scripted prompts, with a hook that runs while a box is open, as the event loop of a
    // modal box keeps timers firing.
    struct ModalPrompts final : UserPrompts {
        explicit ModalPrompts(FakeVspFrame& f) : frame(f) {}
        PromptAnswer MessageBox(const MessageBoxRequest& request) override {
            if (frame.whileBoxOpen) frame.whileBoxOpen();
            return frame.prompts.MessageBox(request);
        }
        QString OpenFileName(const FileDialogRequest& r) override {
            return frame.prompts.OpenFileName(r);
        }
        QString SaveFileName(const FileDialogRequest& r) override {
            return frame.prompts.SaveFileName(r);
        }
        void Beep(int hz, int ms) override { frame.prompts.Beep(hz, ms); }
        bool ShellOpen(const QString& target) override { return frame.prompts.ShellOpen(target); }
        FakeVspFrame& frame;
    };

    struct DmRow {
        QString ip;
        bool udp = false;
        QString status = QStringLiteral("Idle");
    };

    explicit FakeVspFrame(const std::string& socket)
        : driver(
              prompts, [this] { return hostAddress; }, QString::fromStdString(socket)) {
        QFile::copy(QString::fromLocal8Bit(qgetenv("VELTRO_SOURCE_DIR")) + "/data/TUNLDRV.inf",
                    DriverPackagePath());
    }

    void AddLog(const QString& text) override { log << text; }
    TimerHost& Timers() override { return clock; }
    UserPrompts& Prompts() override { return modal; }
    NetInterfaces& Net() override { return net; }
    QString HostAddress() const override { return hostAddress; }
    VspSettingsValues VspSettings() const override { return settings; }
    const CVspDatFile& PortTable() const override { return table; }
    QString PortTablePath() const override { return dir.filePath("vsp.dat"); }
    CVspDriver& VspDriver() override { return driver; }
    QString DriverPackagePath() const override { return dir.filePath("TUNLDRV.inf"); }

    int DmFindRowByIp(const QString& ip) const override {
        for (size_t i = 0; i < dmRows.size(); ++i) {
            if (dmRows[i].ip == ip) return int(i);
        }
        return -1;
    }
    bool DmRowUdp(int row) const override { return dmRows.at(size_t(row)).udp; }
    void DmSetStatusText(int row, const QString& text) override {
        dmRows.at(size_t(row)).status = text;
    }

    bool SendHostAnnouncement(const QString& deviceAddress,
                              std::array<uint8_t, 2> reportedPort) override {
        return unicast.Announce(hostAddress, deviceAddress, reportedPort);
    }

    void CloseTerminalsOnPort(const QString& name) override { terminalCalls << "close " + name; }
    void RefreshTerminalPortLists() override { terminalCalls << "refresh"; }

    void ShowPortItems(const QStringList& itemTexts) override { tree = itemTexts; }

    QByteArray SavedTable() const {
        QFile file(PortTablePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    ManualClock clock;
    ScriptedPrompts prompts;
    std::function<void()> whileBoxOpen;
    ModalPrompts modal{*this};
    FakeNetInterfaces net;
    QString hostAddress = QStringLiteral("127.0.0.1");
    VspSettingsValues settings{true, false};
    CVspDatFile table;
    CVspDriver driver;
    CUnicastSocket unicast{msg::kUnicastSocketPort};
    std::vector<DmRow> dmRows;
    QStringList tree;
    QStringList terminalCalls;
    QStringList log;
};
