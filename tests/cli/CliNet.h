#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "devmgr/DmDeviceTable.h"
#include "platform/QtTimerHost.h"
#include "tests/support/TestNamespace.h"
#include "tools/devsim/DeviceSimulator.h"

// Simulated devices in this process, on real timers, and the veltroctl program run against
// them. The devices answer while the program runs: its output is awaited on the event loop.
class CliNet {
  public:
    static constexpr int kRestartMs = 300;
    static constexpr int kSpeedup = 10;
    static constexpr int kProgramDeadlineMs = 90000;
    static constexpr int kWatchMs = 5;

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    QtTimerHost timers;
    std::unique_ptr<devsim::DeviceSimulator> sim;

    // False outside the isolated namespace, where nothing may be sent.
    bool Start(bool tftp = false) {
        devsim::SimulatorOptions options;
        options.baseAddress = 0x7F010100u | 10u;  // 127.1.1.10
        options.tftpPort = kTftpPort;
        options.tftp = tftp;
        sim = std::make_unique<devsim::DeviceSimulator>(timers, devsim::DeviceSimulator::Clock{},
                                                        options);
        return sim->Start();
    }

    devsim::SimDevice* Add(devsim::DeviceProfile profile = {}) {
        if (profile.name.isNull()) profile.name = devsim::DefaultProfile(sim->Count()).name;
        if (profile.restartMs == devsim::kDefaultRestartMs) profile.restartMs = kRestartMs;
        return sim->AddDevice(profile);
    }

    QString Ip(int index) { return sim->Device(index).AddressText(); }
    // The MAC address as the list shows it.
    QString Mac(int index) { return DmDeviceTable::MacText(sim->Device(index).StoredRecord()); }
    // The same in the normal form of JSON.
    QString JsonMac(int index) { return Mac(index).toLower().replace('-', ':'); }

    // The program with the loopback address bound; `host` false leaves --bind out. `watch`
    // is called every few milliseconds while the program runs.
    Run Ctl(const QStringList& args, bool host = true,
            const std::function<void(QProcess&)>& watch = {}) {
        QProcess process;
        process.setProgram(qEnvironmentVariable("VELTRO_BINARY_DIR") + "/cli/veltroctl");
        QStringList all = args;
        if (!args.contains("--help")) {
            // The flows' one-second ticks run faster against devices that answer at once.
            all << "--speedup" << QString::number(kSpeedup);
            if (host)
                all << "--bind"
                    << "127.0.0.1";
        }
        process.setArguments(all);
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(kProgramDeadlineMs, &loop, &QEventLoop::quit);
        QTimer watching;
        if (watch) {
            QObject::connect(&watching, &QTimer::timeout, [&] { watch(process); });
            watching.start(kWatchMs);
        }
        process.start();
        loop.exec();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    static QJsonArray JsonArray(const QString& text) {
        return QJsonDocument::fromJson(text.toUtf8()).array();
    }

  private:
    static constexpr uint16_t kTftpPort = 69;
};

#define CLI_START_NET(net, ...)                            \
    ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace; \
    ASSERT_TRUE((net).Start(__VA_ARGS__)) << "the simulated devices could not be started"
