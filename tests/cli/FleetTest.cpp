#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

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
        Add(devices, kRestartMs, upgradeVersion);
        QFile image(dir_.filePath("fw.bin"));
        ASSERT_TRUE(image.open(QIODevice::WriteOnly));
        image.write(QByteArray("QMDR") + QByteArray(3000, '\x33'));
    }

    // Devices silent for `restartMs` after each setup and upgrade.
    void Add(int devices, int restartMs, const char* upgradeVersion = kWanted) {
        for (int i = 0; i < devices; ++i) {
            devsim::DeviceProfile profile;
            profile.upgradeVersion = upgradeVersion;
            profile.restartMs = restartMs;
            net_.Add(profile);
        }
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
         {"02-56-54-00-00-01 127.1.1.10 would change", "  name: VTM5800x-001 -> Press-1",
          "  data_listening_port: 4001 -> 4777", "  firmware: V1.6.12 -> V1.7.0",
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
        // Addresses that name no single device, against the file's netmask, the host's subnets
        // and, at plan time, the netmask the device keeps.
        {Device(0, "network = { address = \"127.255.255.255\", netmask = \"255.0.0.0\" }\n"),
         2,
         {},
         "inv.toml:2: address: 127.255.255.255 is the broadcast address of 127.0.0.0/8",
         true},
        {Device(0, "network = { address = \"127.0.0.0\" }\n"),
         2,
         {},
         "inv.toml:2: address: 127.0.0.0 is the network address of 127.0.0.0/8, this host's subnet",
         true},
        {Device(0, "network = { address = \"10.3.0.255\", netmask = \"255.255.255.0\" }\n"),
         2,
         {},
         "inv.toml:2: address: 10.3.0.255 is the broadcast address of 10.3.0.0/24, the device's "
         "own",
         true},
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
    // A refused file says so on standard output too, where a JSON reader looks.
    const CliNet::Run refused =
        net_.Ctl({"plan", "--json", Inventory(Device(0, "colour = \"red\"\n"))});
    EXPECT_EQ(refused.exitCode, 2);
    const QJsonObject object = QJsonDocument::fromJson(refused.out.toUtf8()).object();
    EXPECT_TRUE(object["failed"].toBool());
    EXPECT_TRUE(
        object["refused"].toArray()[0].toString().endsWith("inv.toml:2: unknown key \"colour\""))
        << refused.out.toStdString();
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
                  Device(1,
                         "settings = { baud_rate = 9600 }\nfirmware = { image = \"fw.bin\", "
                         "version = \"V1.7.0\", block_size = 1428 }\n"));

    // The plan in the file's words, each change as {setting, old, new}.
    const CliNet::Run planned = net_.Ctl({"plan", path, "--json"});
    ASSERT_EQ(planned.exitCode, 1) << planned.err.toStdString();
    const QJsonObject planObject = QJsonDocument::fromJson(planned.out.toUtf8()).object();
    EXPECT_TRUE(planObject["changed"].toBool());
    const QJsonArray planDevices = planObject["devices"].toArray();
    ASSERT_EQ(planDevices.size(), 3) << planned.out.toStdString();
    EXPECT_EQ(planDevices[1].toObject()["mac"].toString(), net_.JsonMac(1));
    EXPECT_EQ(planDevices[1].toObject()["status"].toString(), "would change");
    EXPECT_EQ(planDevices[1].toObject()["changes"].toArray()[0].toObject(),
              (QJsonObject{{"setting", "baud_rate"}, {"old", "115200"}, {"new", "9600"}}));
    EXPECT_EQ(planDevices[2].toObject()["status"].toString(), "not in the inventory");

    const CliNet::Run first = net_.Ctl({"apply", path, "--parallel", "2", "--json"});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString() << first.out.toStdString();
    const QJsonObject applied = QJsonDocument::fromJson(first.out.toUtf8()).object();
    EXPECT_TRUE(applied["changed"].toBool());
    EXPECT_FALSE(applied["failed"].toBool());
    const QJsonArray results = applied["devices"].toArray();
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].toObject()["status"].toString(), "changed");
    EXPECT_EQ(results[0].toObject()["done"].toArray(),
              (QJsonArray{"settings", "firmware V1.7.0", "port COM5"}));
    EXPECT_EQ(results[0].toObject()["address"].toString(), "127.1.1.20");
    EXPECT_EQ(results[0].toObject()["name"].toString(), "Press-1");
    EXPECT_EQ(results[0].toObject()["mac"].toString(), net_.JsonMac(0));
    EXPECT_EQ(results[1].toObject()["done"].toArray(), (QJsonArray{"settings", "firmware V1.7.0"}));
    EXPECT_FALSE(first.err.contains("No devices found")) << first.err.toStdString();
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
    // The device's own firmware entry asks for larger blocks; the defaults' keeps 512.
    EXPECT_EQ(net_.sim->Device(0).Images()[0].blockSize, 512);
    EXPECT_EQ(net_.sim->Device(1).Images()[0].blockSize, 1428);
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
    // A port that exists is shown as it is before what it would become.
    const CliNet::Run server =
        net_.Ctl({"plan", Inventory(Device(0, "port = { com = \"COM5\", mode = \"server\" }\n"))});
    EXPECT_TRUE(
        server.out.contains("  port: COM5: tcp client 127.1.1.20:4777, connected -> "
                            "COM5: configure tcp server 127.1.1.20:4001, listen"))
        << server.out.toStdString();
    service.Stop();
}

TEST_F(Fleet, LimitPicksDevicesByMacNameOrGroup) {
    Start(3);
    const QString path = Inventory(
        "[group.line]\nsettings = { baud_rate = 9600 }\n" + Device(0, "group = \"line\"\n") +
        Device(1, "name = \"Press-2\"\nsettings = { baud_rate = 4800 }\n") +
        Device(2, "settings = { baud_rate = 4800 }\n"));
    const CliNet::Run plan = net_.Ctl({"plan", path, "--limit", "line"});
    EXPECT_EQ(plan.exitCode, 1) << plan.err.toStdString();
    EXPECT_TRUE(
        plan.out.startsWith("02-56-54-00-00-01 127.1.1.10 would change\n  baud_rate: "
                            "115200 -> 9600\n"))
        << plan.out.toStdString();
    EXPECT_EQ(plan.out.count("02-56-54"), 1) << plan.out.toStdString();

    const CliNet::Run apply = net_.Ctl({"apply", path, "--limit", "Press-2,02:56:54:00:00:03"});
    EXPECT_EQ(apply.exitCode, 0) << apply.err.toStdString();
    EXPECT_EQ(apply.out.count("changed: settings"), 2) << apply.out.toStdString();
    EXPECT_EQ(Setups(0), 0);
    EXPECT_EQ(net_.sim->Device(1).StoredRecord().Get(devrec::baudRate), 4800u);
    EXPECT_EQ(net_.sim->Device(2).StoredRecord().Get(devrec::baudRate), 4800u);

    const CliNet::Run unknown = net_.Ctl({"plan", path, "--limit", "Lathe-9"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("--limit Lathe-9 names no device of"))
        << unknown.err.toStdString();
}

TEST_F(Fleet, ARangeOfDevicesInAGroupIsAppliedAsWritten) {
    Start(3);
    const QString path = Inventory(
        "[group.line]\nsettings = { baud_rate = 9600 }\n"
        "[[range]]\nfirst = \"02-56-54-00-00-01\"\ncount = 3\ngroup = \"line\"\n"
        "name = \"Line-{n}\"\nnetwork = { address = \"127.1.1.30\" }\n");
    const CliNet::Run run = net_.Ctl({"apply", path, "--parallel", "3", "--limit", "line"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (int i = 0; i < 3; ++i) {
        const DeviceConfigRecord record = net_.sim->Device(i).StoredRecord();
        EXPECT_EQ(record.Get(devrec::deviceName), QStringLiteral("Line-%1").arg(i + 1));
        EXPECT_EQ(record.Get(devrec::baudRate), 9600u);
        EXPECT_EQ(net_.sim->Device(i).AddressText(), QStringLiteral("127.1.1.%1").arg(30 + i));
    }
}

TEST_F(Fleet, ASavedPlanIsDoneOnlyWhileTheFleetIsAsItWas) {
    Start(2);
    const QString saved = dir_.filePath("plan.json");
    const QString path = Inventory(Device(0, "settings = { baud_rate = 9600 }\n") +
                                   Device(1, "name = \"Press-2\"\n"));
    ASSERT_EQ(net_.Ctl({"plan", path, "--out", saved}).exitCode, 1);
    // Someone changes a device after the plan was made.
    const QString other = dir_.filePath("other.toml");
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Device(1, "settings = { baud_rate = 4800 }\n"));
    file.close();
    ASSERT_EQ(net_.Ctl({"apply", other}).exitCode, 0);
    const int setups = Setups(0) + Setups(1);

    const CliNet::Run refused = net_.Ctl({"apply", "--plan", saved});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("02:56:54:00:00:02 changed since the plan was made"))
        << refused.err.toStdString();
    EXPECT_EQ(Setups(0) + Setups(1), setups);

    ASSERT_EQ(net_.Ctl({"plan", path, "--out", saved}).exitCode, 1);
    const CliNet::Run applied = net_.Ctl({"apply", "--plan", saved});
    EXPECT_EQ(applied.exitCode, 0) << applied.err.toStdString();
    EXPECT_EQ(applied.out.count("changed: settings"), 2) << applied.out.toStdString();
    EXPECT_EQ(net_.sim->Device(1).StoredRecord().Get(devrec::deviceName), "Press-2");
    // A changed inventory is refused too.
    ASSERT_EQ(net_.Ctl({"plan", path, "--out", saved}).exitCode, 0);
    Inventory(Device(0, "settings = { baud_rate = 4800 }\n") + Device(1, "name = \"Press-2\"\n"));
    const CliNet::Run edited = net_.Ctl({"apply", "--plan", saved});
    EXPECT_EQ(edited.exitCode, 2);
    EXPECT_TRUE(edited.err.contains("inv.toml or a file it names changed"))
        << edited.err.toStdString();
}

TEST_F(Fleet, ADeviceThatReportsAnotherVersionFailsItsVerification) {
    Start(1);
    devsim::DeviceProfile stale;
    stale.upgradeVersion = "V1.6.99";
    stale.restartMs = kRestartMs;
    net_.Add(stale);
    const CliNet::Run run = net_.Ctl({"apply", "--restart-timeout", "20",
                                      Inventory("[defaults]\n" + kFirmware + Device(0, "") +
                                                Device(1, "settings = { baud_rate = 9600 }\n"))});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith("changed: firmware V1.7.0")) << lines[0].toStdString();
    EXPECT_TRUE(
        lines[1].contains("FAILED: after the upgrade it reports firmware V1.6.99, "
                          "wanted V1.7.0 (done: settings)"))
        << lines[1].toStdString();
}

// Devices that restart faster than a search takes are never seen gone; what they report
// afterwards proves the step, in apply and in import.
TEST_F(Fleet, FastRestartsAreProvenByWhatTheDevicesReport) {
    Start(0);
    const int restarts[] = {1000, 3000};
    for (const int restartMs : restarts) Add(2, restartMs);
    QByteArray text = "[defaults]\n" + kFirmware + "settings = { baud_rate = 9600 }\n";
    for (int i = 0; i < 4; ++i) text += Device(i, "");
    const CliNet::Run run = net_.Ctl({"apply", Inventory(text), "--parallel", "4"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count("changed: settings, firmware V1.7.0"), 4) << run.out.toStdString();
    // Searches while every device restarts find none: that is no news to the user.
    EXPECT_FALSE(run.err.contains("No devices found")) << run.err.toStdString();
    for (const int device : {0, 2}) {
        const QString path = dir_.filePath("dev.cfg");
        const CliNet::Run exported = net_.Ctl({"export", net_.Ip(device), path});
        ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QString name = net_.sim->Device(device).StoredRecord().Get(devrec::deviceName);
        const QByteArray changed = file.readAll().replace(name.toUtf8(), "Press-7");
        file.resize(0);
        file.write(changed);
        file.close();
        const CliNet::Run imported = net_.Ctl({"import", net_.Ip(device), path});
        EXPECT_EQ(imported.exitCode, 0) << restarts[device / 2] << imported.err.toStdString();
        EXPECT_EQ(net_.sim->Device(device).StoredRecord().Get(devrec::deviceName), "Press-7");
    }
}

// A slot is free as soon as its device is done: a device that never comes back holds only its
// own slot, and a slow one only its own for its time.
TEST_F(Fleet, APoolGoesOnPastASlowAndADeadDevice) {
    Start(0);
    Add(1, 3600000);
    Add(1, 4000);
    Add(3, kRestartMs);
    QByteArray text = "[defaults]\nsettings = { baud_rate = 9600 }\n";
    for (int i = 0; i < 5; ++i) text += Device(i, "");
    QString progress;
    bool sent = false;
    const CliNet::Run run =
        net_.Ctl({"apply", Inventory(text), "--parallel", "2", "--restart-timeout", "3600"}, true,
                 [&](QProcess& process) {
                     progress += QString::fromLocal8Bit(process.readAllStandardError());
                     // Every other device is done while the dead one still waits: then Ctrl-C.
                     if (!sent && progress.count("changed: settings") == 4)
                         sent = ::kill(static_cast<pid_t>(process.processId()), SIGINT) == 0;
                 });
    ASSERT_TRUE(sent) << progress.toStdString();
    EXPECT_EQ(run.exitCode, 130);
    QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(' '); });  // the changes
    ASSERT_EQ(lines.size(), 5) << run.out.toStdString();
    EXPECT_TRUE(
        lines[0].endsWith("FAILED: interrupted: set up, not yet seen with its new settings"))
        << lines[0].toStdString();
    for (int i = 1; i < 5; ++i) EXPECT_TRUE(lines[i].endsWith("changed: settings"));
}

// One run after another on the same devices: device 0 is set up by the first, upgraded by
// the later ones; devices 1 and 2 are never started.
TEST_F(Fleet, CtrlCInAnyStepStartsNoFurtherStepOnAnyDevice) {
    Start(3);
    // Large enough that the transfer is seen under way.
    QFile image(dir_.filePath("fw.bin"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly | QIODevice::Append));
    image.write(QByteArray(2 * 1024 * 1024, '\x44'));
    image.close();
    QByteArray text = "[defaults]\n" + kFirmware + "settings = { baud_rate = 9600 }\n";
    for (int i = 0; i < 3; ++i) text += Device(i, "");
    const QString path = Inventory(text);
    const auto lastImage = [this](bool complete) {
        const auto& images = net_.sim->Device(0).Images();
        return !images.empty() && images.back().complete == complete;
    };
    const struct {
        const char* step;
        std::function<bool(size_t imagesBefore)> reached;
        const char* result;
    } cases[] = {
        {"setup", [&](size_t) { return Setups(0) > 0; }, "FAILED: interrupted: "},
        {"transfer", [&](size_t before) { return Writes(0) > before && lastImage(false); },
         "FAILED: interrupted: the firmware transfer was cancelled"},
        {"restart after the upgrade",
         [&](size_t before) { return Writes(0) > before && lastImage(true); },
         "FAILED: interrupted: "},
    };
    for (const auto& c : cases) {
        const size_t before = Writes(0);
        bool sent = false;
        const CliNet::Run run =
            net_.Ctl({"apply", path, "--parallel", "1"}, true, [&](QProcess& process) {
                if (!sent && c.reached(before))
                    sent = ::kill(static_cast<pid_t>(process.processId()), SIGINT) == 0;
            });
        ASSERT_TRUE(sent) << c.step;
        EXPECT_EQ(run.exitCode, 130) << c.step;
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 3) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(lines[0].contains(c.result)) << c.step << ": " << lines[0].toStdString();
        EXPECT_TRUE(lines[1].endsWith("FAILED: not started (interrupted)"));
        EXPECT_TRUE(lines[2].endsWith("FAILED: not started (interrupted)"));
        EXPECT_TRUE(run.err.contains("(interrupted)")) << run.err.toStdString();
        EXPECT_EQ(Setups(1) + Setups(2), 0) << c.step;
        EXPECT_EQ(Writes(1) + Writes(2), 0u) << c.step;
        // The device finishes the restart it began before the next run.
        const QDeadlineTimer deadline(CliNet::kProgramDeadlineMs);
        while (net_.sim->Device(0).IsRestarting() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, CliNet::kWatchMs);
    }
}

}  // namespace
