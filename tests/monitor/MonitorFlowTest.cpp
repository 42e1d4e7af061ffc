#include <gtest/gtest.h>

#include <QUdpSocket>
#include <memory>

#include "monitor/MonitorController.h"
#include "monitor/StatusReply.h"
#include "tests/monitor/MonitorSimNet.h"

namespace {

const QString kLongVersion = QStringLiteral("V1.6.12-b0013");  // 13 characters

devsim::DeviceProfile Answering(uint8_t modem, QString version, uint32_t tx, uint32_t rx) {
    devsim::DeviceProfile profile;
    profile.status = {modem, std::move(version), tx, rx};
    return profile;
}

class MonitorFlow : public ::testing::Test {
  protected:
    // Starts the simulated devices and the monitor, with its rows filled.
    bool Begin(std::initializer_list<devsim::DeviceProfile> profiles) {
        if (!sim.Start(profiles)) return false;
        monitor = std::make_unique<MonitorController>(sim.frame);
        monitor->SetDevicePort(sim.net.DevicePort());
        QObject::connect(monitor.get(), &MonitorController::rowChanged, [this](int row) {
            if (Status(row) == MonitorRow::kQuerying) queried.push_back(row);
        });
        monitor->InitialUpdate();
        monitor->Fill();
        return true;
    }
    void Start() {
        ASSERT_FALSE(monitor->Running());
        monitor->OnStartStop();
        DmSimNet::Deliver();
    }
    // Moves the clock and lets the answers of the queries sent meanwhile arrive.
    void Advance(int64_t ms) {
        sim.Advance(ms);
        DmSimNet::Deliver();
    }
    const MonitorRow& Row(int row) const { return monitor->Rows()[static_cast<size_t>(row)]; }
    QString Status(int row) const { return Row(row).cells[MonitorRow::kStatusColumn]; }
    bool Waiting() { return sim.net.frame.clock.IsRunning(monitor.get(), 2); }
    void Inject(const QByteArray& datagram, const QString& sender) {
        sim.net.frame.socket.OnDatagram({reinterpret_cast<const uint8_t*>(datagram.constData()),
                                         static_cast<size_t>(datagram.size())},
                                        QHostAddress(sender), sim.net.DevicePort());
    }

    MonitorSimNet sim;
    std::unique_ptr<MonitorController> monitor;
    std::vector<int> queried;  // the rows in the order their queries went out
};

}  // namespace

TEST_F(MonitorFlow, PollsTheRowsInTurnOneQueryAtATime) {
    MONITOR_BEGIN({Answering(11, kLongVersion, 0xFFFFFFFFu, 7), Silent(), {}});
    ASSERT_EQ(monitor->Rows().size(), 3u);
    EXPECT_EQ(Row(1).cells[MonitorRow::kNumberColumn], "2");
    EXPECT_TRUE(monitor->StartEnabled());

    Start();
    EXPECT_EQ(sim.Log().back(), "Monitor function starts");
    EXPECT_EQ(Row(0).cells, (std::array<QString, 8>{"0", "Success", sim.Device(0).Profile().name,
                                                    sim.Device(0).AddressText(), "0B", kLongVersion,
                                                    "4294967295", "7"}));
    // The silent device holds the pass: the third is not asked yet.
    EXPECT_EQ(Status(1), "Querying");
    EXPECT_EQ(Status(2), "Idle");
    EXPECT_TRUE(sim.Queries(2).empty());

    Advance(999);
    EXPECT_EQ(Status(1), "Querying");
    Advance(1);
    EXPECT_EQ(Status(1), "Fail");
    EXPECT_EQ(Row(1).back, kMonitorFailBack);
    for (int column = MonitorRow::kModemColumn; column <= MonitorRow::kRxColumn; ++column)
        EXPECT_EQ(Row(1).cells[column], "---");
    EXPECT_EQ(Status(2), "Success");
    EXPECT_EQ(Row(2).cells[MonitorRow::kVersionColumn], "V1.6.12");

    // The next pass starts three seconds after this one started.
    Advance(1999);
    EXPECT_EQ(sim.Queries(0), (std::vector<int64_t>{0}));
    Advance(1);
    EXPECT_EQ(sim.Queries(0), (std::vector<int64_t>{0, 3000}));
    Advance(1000);
    EXPECT_EQ(sim.Queries(1), (std::vector<int64_t>{0, 3000}));
    EXPECT_EQ(sim.Queries(2), (std::vector<int64_t>{1000, 4000}));
    EXPECT_EQ(queried, (std::vector<int>{0, 1, 2, 0, 1, 2}));

    // Showing the view while running changes nothing.
    sim.frame.devices.pop_back();
    monitor->Fill();
    EXPECT_EQ(monitor->Rows().size(), 3u);
    EXPECT_EQ(Status(2), "Success");

    const auto before = monitor->Rows();
    monitor->OnStartStop();
    EXPECT_EQ(sim.Log().back(), "Monitor function stoped.");
    EXPECT_FALSE(monitor->Running());
    Advance(10000);
    EXPECT_EQ(queried.size(), 6u);
    for (size_t row = 0; row < before.size(); ++row)
        EXPECT_EQ(monitor->Rows()[row].cells, before[row].cells) << row;

    // Stopped, a fill copies the ticked devices again.
    monitor->Fill();
    EXPECT_EQ(monitor->Rows().size(), 2u);
    EXPECT_EQ(Status(0), "Idle");
}

TEST_F(MonitorFlow, ARowWhoseAddressNamesNoSingleDeviceIsNeverAsked) {
    MONITOR_BEGIN({{}, {}});
    // Anything sent to the loopback network's broadcast address would reach it.
    QUdpSocket bystander;
    ASSERT_TRUE(bystander.bind(QHostAddress::AnyIPv4, sim.net.DevicePort(),
                               QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    sim.frame.devices[0].ip = sim.frame.listed[0].ip = QStringLiteral("127.255.255.255");
    monitor->Fill();

    Start();
    EXPECT_EQ(Status(0), "Fail");
    EXPECT_EQ(Status(1), "Success");
    Advance(3000);
    EXPECT_EQ(sim.Queries(1), (std::vector<int64_t>{0, 3000}));
    EXPECT_EQ(Status(0), "Fail");
    EXPECT_EQ(sim.Log().filter("No status query sent to 127.255.255.255: ").size(), 1);
    EXPECT_FALSE(bystander.hasPendingDatagrams());
}

TEST_F(MonitorFlow, PassesStartEveryIntervalOrRightAfterALongerPass) {
    struct Case {
        const char* what;
        int silent;  // of four devices, the last ones
        int interval;
        std::vector<int64_t> passStarts;
    };
    const Case cases[] = {
        {"quick answers", 0, 3, {0, 3000, 6000, 9000}},
        {"a pass of exactly the interval", 3, 3, {0, 3000, 6000, 9000}},
        {"a pass of four seconds", 4, 3, {0, 4000, 8000}},
        {"a pass of four seconds, interval 5", 4, 5, {0, 5000}},
    };
    MONITOR_BEGIN({{}, {}, {}, {}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (monitor->Running()) monitor->OnStartStop();
        Advance(1000);  // the last answers of the case before drain
        for (int d = 0; d < 4; ++d) {
            devsim::Faults faults;
            faults.silent = d >= 4 - c.silent;
            sim.Device(d).SetFaults(faults);
        }
        const int64_t begin = sim.Now();
        queried.clear();
        monitor->SetInterval(c.interval);
        Start();
        for (int64_t t = 0; t < 9500; t += 500) {
            Advance(500);
            // Never more than the current row waits for its answer.
            for (int row = 0; row < 4; ++row) {
                if (row != monitor->CurrentRow()) {
                    EXPECT_NE(Status(row), "Querying") << row;
                }
            }
        }
        std::vector<int64_t> starts;
        for (int64_t t : DmSimNet::Times(sim.Device(0), msg::kStatusQuery, begin))
            if (t >= 0) starts.push_back(t);
        EXPECT_EQ(starts, c.passStarts);
        for (size_t i = 0; i < queried.size(); ++i) EXPECT_EQ(queried[i], static_cast<int>(i % 4));
    }
}

TEST_F(MonitorFlow, AReplyFillsTheRowOfItsSenderAndOnlyTheAwaitedOneMovesOn) {
    devsim::DeviceProfile late = Answering(0x31, "V1.5.03", 42, 43);
    late.faults.delayMs = 1500;
    MONITOR_BEGIN({{}, late, Silent()});
    Start();
    EXPECT_EQ(Status(1), "Querying");
    Advance(1000);
    EXPECT_EQ(Status(1), "Fail");
    EXPECT_EQ(Status(2), "Querying");

    // The late answer lands in its own row; the third row's query goes on.
    Advance(500);
    EXPECT_EQ(Row(1).cells,
              (std::array<QString, 8>{"2", "Success", sim.Device(1).Profile().name,
                                      sim.Device(1).AddressText(), "31", "V1.5.03", "42", "43"}));
    EXPECT_EQ(Row(1).back, kMonitorNormalBack);
    EXPECT_EQ(Status(2), "Querying");
    EXPECT_EQ(monitor->CurrentRow(), 2);
    EXPECT_TRUE(Waiting());

    const QByteArray reply = StatusReply{0x07, "X", 1, 2}.Encode();
    const auto rows = monitor->Rows();
    Inject(reply, "127.0.99.99");  // no row has this address
    Inject(reply.left(StatusReply::kSize - 1), sim.Device(2).AddressText());  // cut short
    for (size_t row = 0; row < rows.size(); ++row)
        EXPECT_EQ(monitor->Rows()[row].cells, rows[row].cells) << row;
    EXPECT_TRUE(Waiting());

    Advance(500);
    EXPECT_EQ(Status(2), "Fail");
    EXPECT_EQ(sim.Queries(2), (std::vector<int64_t>{1000}));

    // The awaited answer, whoever else spoke, moves the pass on.
    Advance(1000);
    EXPECT_EQ(Status(0), "Success");
    EXPECT_EQ(Status(1), "Querying");
    Inject(reply, sim.Device(1).AddressText());
    EXPECT_EQ(Row(1).cells[MonitorRow::kModemColumn], "07");
    EXPECT_EQ(Status(2), "Querying");
}

// The rows were filled before two devices swapped addresses, and the device manager's list
// now pairs them the other way: each row follows its device, and each reply is filed under the
// device the list shows at its sender, so Export List pairs every device with its version.
// Where the list shows no one at an address (a search under way), a reply there is no one's.
TEST_F(MonitorFlow, ARowFollowsItsDeviceAndAReplyGoesToTheDeviceListedAtItsSender) {
    MONITOR_BEGIN({Answering(0, "V1.1.1", 0, 0), Answering(0, "V2.2.2", 0, 0)});
    const MonitorDevice first = sim.frame.devices[0];
    const MonitorDevice second = sim.frame.devices[1];
    sim.frame.devices = {{0, "FARM02", first.ip, second.mac}, {2, "FARM01", second.ip, first.mac}};
    monitor->Fill();
    Start();
    EXPECT_EQ(Row(0).Ip(), second.ip);
    EXPECT_EQ(Row(0).cells[MonitorRow::kVersionColumn], "V2.2.2");
    EXPECT_EQ(Row(1).Ip(), first.ip);
    EXPECT_EQ(Row(1).cells[MonitorRow::kVersionColumn], "V1.1.1");
    EXPECT_EQ(monitor->VersionOf(first.mac), "V1.1.1");
    EXPECT_EQ(monitor->VersionOf(second.mac), "V2.2.2");

    sim.frame.listed.clear();
    Inject(StatusReply{0x07, "V9.9.9", 1, 2}.Encode(), first.ip);
    EXPECT_EQ(monitor->VersionOf(first.mac), "V1.1.1");
    EXPECT_EQ(Row(1).cells[MonitorRow::kVersionColumn], "V1.1.1");
}

TEST_F(MonitorFlow, WithoutItsOwnSocketTheMonitorCannotStart) {
    MONITOR_BEGIN({{}});
    // An address of no interface here: binding fails, nothing is sent anywhere.
    sim.net.frame.hostAddress = QStringLiteral("203.0.113.7");
    monitor->InitialUpdate();
    EXPECT_EQ(sim.net.frame.prompts.Texts(), QStringList{"Failed to create Monitor socket!"});
    monitor->Fill();
    EXPECT_FALSE(monitor->StartEnabled());
    monitor->OnStartStop();
    EXPECT_FALSE(monitor->Running());
}

TEST_F(MonitorFlow, DatagramsOnItsOwnSocketAreDropped) {
    MONITOR_BEGIN({{}});
    ASSERT_NE(monitor->SocketPort(), 0);
    QUdpSocket peer;
    const QByteArray reply = StatusReply{0x07, "X", 1, 2}.Encode();
    for (int i = 0; i < 3; ++i)
        peer.writeDatagram(reply, QHostAddress(sim.net.frame.hostAddress), monitor->SocketPort());
    DmSimNet::Deliver();
    EXPECT_EQ(Status(0), "Idle");
    EXPECT_TRUE(sim.net.frame.prompts.shown.empty());
}

TEST_F(MonitorFlow, StartWithoutRowsIsNotOffered) {
    MONITOR_BEGIN({});
    EXPECT_FALSE(monitor->StartEnabled());
    monitor->OnStartStop();
    EXPECT_FALSE(monitor->Running());
    EXPECT_TRUE(sim.Log().isEmpty());
}

// Export List asks the monitor for versions by MAC address: the last one read stays while the
// rows are rebuilt or a query fails, until a search ends without the device.
TEST_F(MonitorFlow, KeepsTheLastVersionReadPerMacUntilASearchShowsTheDeviceGone) {
    MONITOR_BEGIN({Answering(0, "V2.0.01", 0, 0), Answering(0, "V3.1.07", 0, 0)});
    const QString macA = sim.frame.devices[0].mac;
    const QString macB = sim.frame.devices[1].mac;
    EXPECT_EQ(monitor->VersionOf(macA), "");
    Start();
    monitor->OnStartStop();
    EXPECT_EQ(monitor->VersionOf(macA), "V2.0.01");
    EXPECT_EQ(monitor->VersionOf(macB), "V3.1.07");
    EXPECT_EQ(monitor->VersionOf(sim.Device(0).AddressText()), "");

    // B unticked and the view shown again; A no longer answers.
    sim.frame.devices.pop_back();
    monitor->Fill();
    sim.Device(0).SetFaults(Silent().faults);
    Start();
    Advance(1000);
    ASSERT_EQ(Status(0), "Fail");
    EXPECT_EQ(monitor->VersionOf(macA), "V2.0.01");
    EXPECT_EQ(monitor->VersionOf(macB), "V3.1.07");

    monitor->KeepVersionsOf({macA});
    EXPECT_EQ(monitor->VersionOf(macA), "V2.0.01");
    EXPECT_EQ(monitor->VersionOf(macB), "");
}
