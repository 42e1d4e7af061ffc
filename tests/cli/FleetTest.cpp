#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QTemporaryDir>

#include "protocol/Message.h"
#include "tests/cli/CliNet.h"
#include "tests/vspd/VspdProcess.h"

namespace {

constexpr const char* kWanted = "V1.7.0";

// Simulated devices that report the wanted version once upgraded, an image, and the
// inventory files written beside it.
class Fleet : public ::testing::Test {
  protected:
    // Long enough that a search sees each device gone, as with real devices.
    static constexpr int kRestartMs = 1500;

    void Start(int devices, const char* upgradeVersion = kWanted) {
        ASSERT_TRUE(InTestNamespace()) << kNeedsTestNamespace;
        ASSERT_TRUE(net_.Start(true));
        for (int i = 0; i < devices; ++i) {
            devsim::DeviceProfile profile;
            profile.upgradeVersion = upgradeVersion;
            profile.restartMs = kRestartMs;
            net_.Add(profile);
        }
        QFile image(dir_.filePath("fw.bin"));
        ASSERT_TRUE(image.open(QIODevice::WriteOnly));
        image.write(QByteArray("QMDR") + QByteArray(3000, '\x33'));
    }

    QString Inventory(const QByteArray& text) {
        const QString path = dir_.filePath("inv.toml");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        return path;
    }

    int Setups(int device) { return net_.sim->Device(device).CountReceived(msg::kSetupCommand); }
    size_t Writes(int device) { return net_.sim->Device(device).Images().size(); }

    CliNet net_;
    QTemporaryDir dir_;
};

QByteArray Device(int index, const QByteArray& body) {
    return QByteArray("[device.\"02-56-54-00-00-0") + QByteArray::number(index + 1) + "\"]\n" +
           body;
}

const QByteArray kFirmware = "firmware = { image = \"fw.bin\", version = \"V1.7.0\" }\n";

TEST_F(Fleet, PlanShowsChangesMissingAndExtraDevicesAndRefusesCollisionsAndBadFiles) {
    Start(3);
    const struct {
        QByteArray inventory;
        int exitCode;
        QStringList out;  // each in the output, in this order
        QString err;
        bool sendsNothing = false;  // refused before the search
    } cases[] = {
        {Device(0, "name = \"Press-1\"\nsettings = { data_listening_port = 4777 }\n" + kFirmware) +
             Device(1, "name = \"VTM5800x-002\"\n") + "[device.\"02-56-54-00-00-09\"]\n",
         1,
         {"02-56-54-00-00-01 127.1.1.10 would change", "Device name: VTM5800x-001 -> Press-1",
          "Server data listening Port: 4001 -> 4777", "firmware: V1.6.12 -> V1.7.0",
          "02-56-54-00-00-02 127.1.1.11 unchanged", "02-56-54-00-00-09 - not found by the search",
          "02-56-54-00-00-03 127.1.1.12 not in the inventory (left alone)"},
         {}},
        {Device(1, "name = \"VTM5800x-002\"\n"), 0, {"02-56-54-00-00-02 127.1.1.11 unchanged"}, {}},
        {Device(0, "network = { address = \"127.1.1.11\" }\n"),
         2,
         {},
         "02-56-54-00-00-01: address 127.1.1.11 is that of 02-56-54-00-00-02 now",
         false},
        {Device(0, "colour = \"red\"\n"), 2, {}, "inv.toml:2: unknown key \"colour\"", true},
    };
    for (const auto& c : cases) {
        const size_t received = net_.sim->Device(0).Received().size();
        const CliNet::Run run = net_.Ctl({"plan", Inventory(c.inventory)});
        if (c.sendsNothing) {
            EXPECT_EQ(net_.sim->Device(0).Received().size(), received);
        }
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        qsizetype at = 0;
        for (const QString& expected : c.out) {
            at = run.out.indexOf(expected, at);
            EXPECT_GE(at, 0) << expected.toStdString() << " in\n" << run.out.toStdString();
        }
        EXPECT_TRUE(run.err.contains(c.err)) << run.err.toStdString();
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Setups(i), 0);
    EXPECT_EQ(Writes(0), 0u);
}

TEST_F(Fleet, ApplyMakesTheFleetSoAndASecondApplySendsNothing) {
    Start(3);
    VspdProcess service;
    ASSERT_TRUE(service.Start());
    qputenv("VELTRO_VSPD_SOCKET", QByteArray::fromStdString(service.Socket()));
    const QString path =
        Inventory("[defaults]\n" + kFirmware +
                  Device(0,
                         "name = \"Press-1\"\nnetwork = { address = \"127.1.1.20\" }\n"
                         "settings = { data_listening_port = 4777 }\n"
                         "port = { com = \"COM5\", protocol = \"tcp\", mode = \"client\" }\n") +
                  Device(1, "settings = { baud_rate = 9600 }\n"));

    const CliNet::Run first = net_.Ctl({"apply", path, "--parallel", "2", "--json"});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString() << first.out.toStdString();
    const QJsonArray results = CliNet::JsonArray(first.out);
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].toObject()["result"].toString(),
              "changed: settings, firmware V1.7.0, port COM5");
    EXPECT_EQ(results[0].toObject()["ip"].toString(), "127.1.1.20");
    EXPECT_EQ(results[1].toObject()["result"].toString(), "changed: settings, firmware V1.7.0");
    devsim::SimDevice& press = net_.sim->Device(0);
    EXPECT_EQ(press.AddressText(), "127.1.1.20");
    EXPECT_EQ(press.StoredRecord().Get(devrec::deviceName), "Press-1");
    EXPECT_EQ(press.StoredRecord().Get(devrec::listenPort), 4777);
    EXPECT_EQ(net_.sim->Device(1).StoredRecord().Get(devrec::baudRate), 9600u);
    for (int i : {0, 1}) {
        ASSERT_EQ(Writes(i), 1u);
        EXPECT_TRUE(net_.sim->Device(i).Images()[0].complete);
        EXPECT_EQ(net_.sim->Device(i).Status().firmwareVersion, kWanted);
    }
    // The device not in the inventory was sent nothing but searches.
    for (const devsim::ReceivedCommand& received : net_.sim->Device(2).Received())
        EXPECT_EQ(received.command, msg::kSearchRequest);
    EXPECT_EQ(Writes(2), 0u);
    const vspd::PortEntry port = service.EntryOf(5);
    EXPECT_EQ(port.state, vspd::PortState::Connected);

    const int setups = Setups(0) + Setups(1);
    const CliNet::Run second = net_.Ctl({"apply", path});
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(second.out.count(" unchanged\n"), 2) << second.out.toStdString();
    EXPECT_EQ(Setups(0) + Setups(1), setups);
    EXPECT_EQ(Writes(0) + Writes(1), 2u);
    const CliNet::Run plan = net_.Ctl({"plan", path});
    EXPECT_EQ(plan.exitCode, 0) << plan.out.toStdString();
    service.Stop();
}

TEST_F(Fleet, ADeviceThatReportsAnotherVersionFailsItsVerification) {
    Start(1);
    devsim::DeviceProfile stale;
    stale.upgradeVersion = "V1.6.99";
    stale.restartMs = kRestartMs;
    net_.Add(stale);
    const CliNet::Run run =
        net_.Ctl({"apply", Inventory("[defaults]\n" + kFirmware + Device(0, "") + Device(1, ""))});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith("changed: firmware V1.7.0")) << lines[0].toStdString();
    EXPECT_TRUE(
        lines[1].contains("FAILED: verification: reports firmware V1.6.99, wanted V1.7.0 "
                          "after: firmware V1.7.0"))
        << lines[1].toStdString();
}

TEST_F(Fleet, CtrlCLetsTheDeviceUnderWayEndItsStepAndStartsNoOther) {
    Start(3);
    QByteArray text = "[defaults]\n" + kFirmware + "settings = { baud_rate = 9600 }\n";
    for (int i = 0; i < 3; ++i) text += Device(i, "");
    bool sent = false;
    const CliNet::Run run =
        net_.Ctl({"apply", Inventory(text), "--parallel", "1"}, true, [&](QProcess& process) {
            if (!sent && Setups(0) > 0)
                sent = ::kill(static_cast<pid_t>(process.processId()), SIGINT) == 0;
        });
    ASSERT_TRUE(sent);
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(lines[0].endsWith("FAILED: interrupted after: settings")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("FAILED: not started (interrupted)"));
    EXPECT_TRUE(lines[2].endsWith("FAILED: not started (interrupted)"));
    EXPECT_EQ(net_.sim->Device(0).StoredRecord().Get(devrec::baudRate), 9600u);
    EXPECT_EQ(Setups(1) + Setups(2), 0);
    EXPECT_EQ(Writes(0) + Writes(1) + Writes(2), 0u);
}

}  // namespace
