#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "protocol/Message.h"
#include "tests/cli/CliNet.h"
#include "tests/support/EventPump.h"

namespace {

constexpr uint32_t kShared = 0x7F01010A;  // 127.1.1.10, where the first device lives

// Three devices report one address: a command naming it is refused with their MAC addresses;
// each is reached by its MAC address.
TEST(CliTargets, AnAddressSeveralDevicesReportIsRefusedWithTheirMacs) {
    CliNet net;
    CLI_START_NET(net);
    net.Add();
    devsim::DeviceProfile twin;
    twin.claimedAddress = kShared;
    net.Add(twin);
    net.Add(twin);
    net.Add();

    const CliNet::Run shared = net.Ctl({"reboot", net.Ip(0)});
    EXPECT_EQ(shared.exitCode, 1);
    EXPECT_EQ(shared.out, QStringLiteral("%1 - FAILED: 3 devices report this address (%2, %3, %4): "
                                         "name one by its MAC address\n")
                              .arg(net.Ip(0), net.Mac(0), net.Mac(1), net.Mac(2)));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(net.sim->Device(i).CountReceived(msg::kRebootCommand), 0);

    const CliNet::Run byMac = net.Ctl({"reboot", net.Mac(0), net.Ip(3)});
    EXPECT_EQ(byMac.exitCode, 0) << byMac.err.toStdString();
    EXPECT_EQ(net.sim->Device(0).CountReceived(msg::kRebootCommand), 1);
    EXPECT_EQ(net.sim->Device(3).CountReceived(msg::kRebootCommand), 1);
}

// Two devices answer with one MAC address: the list shows one of them, so the search warns
// with both addresses and no command acts on that MAC address, by whichever name.
TEST(CliTargets, TwoDevicesWithOneMacAreNamedAndLeftAlone) {
    CliNet net;
    CLI_START_NET(net);
    net.Add();
    devsim::DeviceProfile twin;
    twin.mac = net.sim->Device(0).MacAddress();
    net.Add(twin);
    net.Add();
    const QString warning =
        QStringLiteral("two devices answer with MAC address %1: at %2 and at %3").arg(net.Mac(0));
    const auto named = [&](const QString& text) {
        return text.contains(warning.arg(net.Ip(0), net.Ip(1))) ||
               text.contains(warning.arg(net.Ip(1), net.Ip(0)));
    };
    const CliNet::Run search = net.Ctl({"search"});
    EXPECT_TRUE(named(search.err)) << search.err.toStdString();
    EXPECT_EQ(search.err.count("two devices answer"), 1);

    // The hidden one's address is not listed: it fails as not found.
    for (const QString& name : {net.Mac(0), net.Ip(0), net.Ip(1)}) {
        const CliNet::Run run = net.Ctl({"reboot", name, net.Ip(2)});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(
            run.out.contains("FAILED: not sent: two devices answer with this MAC address") ||
            (name != net.Mac(0) && run.out.contains("FAILED: not found")))
            << run.out.toStdString();
    }
    EXPECT_EQ(net.sim->Device(0).CountReceived(msg::kRebootCommand), 0);
    EXPECT_EQ(net.sim->Device(1).CountReceived(msg::kRebootCommand), 0);
    EXPECT_GE(net.sim->Device(2).CountReceived(msg::kRebootCommand), 1);
}

// Listens where a datagram to a broadcast, multicast or network address would also land.
class Bystander {
  public:
    bool Bind(uint16_t port) {
        auto socket = std::make_unique<QUdpSocket>();
        if (!socket->bind(QHostAddress::AnyIPv4, port,
                          QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
            return false;
        QObject::connect(socket.get(), &QUdpSocket::readyRead, [this, s = socket.get()] {
            while (s->hasPendingDatagrams()) {
                const QByteArray data = s->receiveDatagram().data();
                // The program's searches are broadcast on purpose.
                if (devsim::CommandOf(data) != msg::kSearchRequest) ++received;
            }
        });
        sockets_.push_back(std::move(socket));
        return true;
    }
    int received = 0;

  private:
    std::vector<std::unique_ptr<QUdpSocket>> sockets_;
};

// A device whose record claims no single host's address is sent nothing by any command,
// however it is named: the command fails with the reason.
TEST(CliTargets, NoCommandGoesToAnAddressOfNoSingleHost) {
    CliNet net;
    CLI_START_NET(net);  // no TFTP servers of the devices: a bystander takes port 69
    Bystander bystander;
    ASSERT_TRUE(bystander.Bind(69) && bystander.Bind(msg::kDevicePort));
    const std::pair<uint32_t, QString> claims[] = {
        {0x7FFFFFFF,
         "127.255.255.255 is the broadcast address of 127.0.0.0/8, this host's "
         "subnet on lo"},
        {0xE0000001, "224.0.0.1 is a multicast address"},
        {0x7F000000, "127.0.0.0 is the network address of 127.0.0.0/8, this host's subnet on lo"},
    };
    for (const auto& [claim, reason] : claims) {
        devsim::DeviceProfile profile;
        profile.claimedAddress = claim;
        net.Add(profile);
    }
    QTemporaryDir dir;
    const QString image = dir.filePath("fw.bin");
    {
        QFile file(image);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("QMDR firmware") > 0);
    }
    for (int i = 0; i < 3; ++i) {
        // Export sends nothing, so it is allowed; the file it writes is the one imported.
        const QString settings = dir.filePath(QStringLiteral("device%1.txt").arg(i));
        ASSERT_EQ(net.Ctl({"export", net.Mac(i), settings}).exitCode, 0);
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray text = file.readAll().replace("4001 ", "4777 ");
        file.seek(0);
        file.write(text);
        file.close();
        for (const QStringList& args :
             {QStringList{"reboot", net.Mac(i)}, QStringList{"restore", net.Mac(i)},
              QStringList{"import", net.Mac(i), settings},
              QStringList{"upgrade", image, net.Mac(i)}}) {
            const CliNet::Run run = net.Ctl(args);
            EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
            EXPECT_TRUE(run.out.contains("FAILED: not sent: " + claims[i].second))
                << run.out.toStdString();
        }
    }
    PumpQuiet(100);
    EXPECT_EQ(bystander.received, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(net.sim->Device(i).Received().size(),
                  static_cast<size_t>(net.sim->Device(i).CountReceived(msg::kSearchRequest)));
}

// A device claiming one of this host's own addresses is refused like a broadcast address: an
// upgrade would write into the host's own TFTP server.
TEST(CliTargets, NoCommandGoesToAnAddressOfThisHost) {
    CliNet net;
    CLI_START_NET(net);
    Bystander bystander;
    ASSERT_TRUE(bystander.Bind(69) && bystander.Bind(msg::kDevicePort));
    devsim::DeviceProfile own;
    own.claimedAddress = 0x7F000001;  // 127.0.0.1, the address veltroctl binds
    net.Add(own);
    QTemporaryDir dir;
    const QString image = dir.filePath("fw.bin");
    {
        QFile file(image);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("QMDR firmware") > 0);
    }
    for (const QStringList& args :
         {QStringList{"reboot", net.Mac(0)}, QStringList{"upgrade", image, net.Mac(0)},
          QStringList{"search", "--status", "--json"}}) {
        const CliNet::Run run = net.Ctl(args);
        EXPECT_TRUE(run.out.contains("not sent: ") || run.out.contains("not asked: "))
            << args.join(' ').toStdString() << run.out.toStdString();
    }
    PumpQuiet(100);
    EXPECT_EQ(bystander.received, 0);
}

}  // namespace
