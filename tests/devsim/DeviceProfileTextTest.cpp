#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tools/devsim/DeviceProfileText.h"
#include "tools/devsim/SimCommandLine.h"

using namespace devsim;

namespace {

std::optional<QStringList> NoFiles(const QString&) {
    return std::nullopt;
}

}  // namespace

TEST(DeviceLine, EveryKeySetsItsValue) {
    const ParseResult r = ParseDeviceLine(
        "name=Lab-01 mac=02-00-00-00-00-2a addr=127.0.9.9 mode=modbus role=client proto=udp "
        "dhcp=on link=1 listen=4660 dport=5000 dhost=127.0.0.1 baud=9600 wifi=yes restart=1500 "
        "upgrade-restart=off tftp=ack0 blksize=1428 ack-delay=5 probe=0 silent=1 late=250 "
        "twice=true nomagic=1 "
        "faults-for=0e,0x10 version=V9.9 modem=0B tx=4294967295 rx=7",
        DeviceProfile{});
    ASSERT_TRUE(r.profile) << r.error.toStdString();
    const DeviceProfile& s = *r.profile;
    EXPECT_EQ(s.name, "Lab-01");
    EXPECT_EQ(s.mac, (Mac{0x02, 0, 0, 0, 0, 0x2A}));
    EXPECT_EQ(s.address, 0x7F000909u);
    EXPECT_EQ(s.operationMode, 3);
    EXPECT_TRUE(s.clientMode);
    EXPECT_TRUE(s.udp);
    EXPECT_TRUE(s.dhcp);
    EXPECT_EQ(s.linkStatus, 1);
    EXPECT_EQ(s.listenPort, 4660);
    EXPECT_EQ(s.destinationPort, 5000);
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_TRUE(s.wifi);
    EXPECT_EQ(s.restartMs, 1500);
    EXPECT_FALSE(s.restartAfterUpgrade);
    EXPECT_EQ(s.tftpMode, TftpMode::AckZero);
    EXPECT_EQ(s.tftpBlockSize, 1428);
    EXPECT_EQ(s.tftpAckDelayMs, 5);
    EXPECT_EQ(s.probeByte, 0);
    EXPECT_TRUE(s.faults.silent);
    EXPECT_EQ(s.faults.delayMs, 250);
    EXPECT_TRUE(s.faults.twice);
    EXPECT_TRUE(s.faults.noMagic);
    EXPECT_EQ(s.faults.commands, (std::vector<uint8_t>{0x0E, 0x10}));
    EXPECT_EQ(s.status.firmwareVersion, "V9.9");
    EXPECT_EQ(s.status.modemStatus, 0x0B);
    EXPECT_EQ(s.status.txCount, 0xFFFFFFFFu);
    EXPECT_EQ(s.status.rxCount, 7u);
}

TEST(DeviceLine, BadValuesAreRefusedWithTheirKey) {
    const std::map<QString, QString> cases{
        {"name=ABCDEFGHIJKLMNOPQ", "name"},  // 17 characters
        {"addr=192.168.0.3", "addr"},        // not loopback
        {"mac=02-00-00-00-00", "mac"},      {"mode=serial", "mode"},      {"link=256", "link"},
        {"listen=65536", "listen"},         {"tftp=maybe", "tftp"},       {"dhcp=2", "dhcp"},
        {"faults-for=zz", "faults-for"},    {"colour=red", "colour"},     {"name", "key=value"},
        {"blksize=7", "blksize"},           {"blksize=65465", "blksize"},
    };
    for (const auto& [line, mentions] : cases) {
        const ParseResult r = ParseDeviceLine(line, DeviceProfile{});
        EXPECT_FALSE(r.profile) << line.toStdString();
        EXPECT_TRUE(r.error.contains(mentions)) << r.error.toStdString();
    }
    // An empty name is a name too.
    DeviceProfile named;
    named.name = "Old";
    EXPECT_EQ(ParseDeviceLine("name=", named).profile->name, "");
}

TEST(DeviceLines, SkipCommentsNumberTheDefaultsAndNameTheBadLine) {
    const FileParseResult ok = ParseDeviceLines(
        {"# lab", "", "mode=socket", "  name=B dhcp=on  "}, [](int i) { return DefaultProfile(i); },
        2);
    ASSERT_EQ(ok.profiles.size(), 2u);
    EXPECT_EQ(ok.profiles[0].name, "VTM5800x-003");
    EXPECT_EQ(ok.profiles[0].operationMode, 0);
    EXPECT_EQ(ok.profiles[1].name, "B");
    const FileParseResult bad = ParseDeviceLines({"mode=vcom", "# x", "mode=nope"},
                                                 [](int i) { return DefaultProfile(i); });
    EXPECT_TRUE(bad.profiles.empty());
    EXPECT_TRUE(bad.error.startsWith("line 3:")) << bad.error.toStdString();
}

TEST(CommandLine, DevicesFromDemoConfigAndFlagsThenNumberedDefaults) {
    const auto files = [](const QString& path) -> std::optional<QStringList> {
        if (path == "lab.conf") return QStringList{"name=FromFile late=100"};
        return std::nullopt;
    };
    const CommandLine cl = ParseCommandLine(
        {"--demo", "--config", "lab.conf", "--device", "name=FromFlag mode=rfc2217", "-n", "10",
         "--base", "127.0.5.1", "--restart-ms", "800", "--management-port", "35000", "--no-tftp"},
        files);
    ASSERT_TRUE(cl.error.isEmpty()) << cl.error.toStdString();
    ASSERT_EQ(cl.profiles.size(), 10u);
    const size_t demo = DemoProfiles().size();
    EXPECT_EQ(cl.profiles[demo].name, "FromFile");
    EXPECT_EQ(cl.profiles[demo].faults.delayMs, 100);
    EXPECT_EQ(cl.profiles[demo + 1].name, "FromFlag");
    EXPECT_EQ(cl.profiles[demo + 1].operationMode, 2);
    EXPECT_EQ(cl.profiles[9].name, "VTM5800x-010");
    for (const DeviceProfile& s : cl.profiles) EXPECT_EQ(s.restartMs, 800);
    EXPECT_EQ(cl.simulator.baseAddress, 0x7F000501u);
    EXPECT_EQ(cl.simulator.managementPort, 35000);
    EXPECT_EQ(cl.simulator.probePort, msg::kDeviceProbePort);
    EXPECT_FALSE(cl.simulator.tftp);
}

TEST(CommandLine, DefaultsAndErrors) {
    const CommandLine plain = ParseCommandLine({}, NoFiles);
    EXPECT_TRUE(plain.error.isEmpty());
    EXPECT_EQ(plain.profiles.size(), 4u);
    EXPECT_EQ(plain.simulator.baseAddress, kDefaultBaseAddress);
    EXPECT_EQ(plain.simulator.tftpPort, 69);
    EXPECT_TRUE(ParseCommandLine({"--help"}, NoFiles).help);
    for (const QStringList& bad :
         {QStringList{"--base", "10.0.0.1"}, QStringList{"-n", "x"},
          QStringList{"--config", "none"}, QStringList{"--device", "mode=?"},
          QStringList{"--bogus"}, QStringList{"stray"}, QStringList{"--tftp-port", "70000"}})
        EXPECT_FALSE(ParseCommandLine(bad, NoFiles).error.isEmpty()) << bad.join(' ').toStdString();
}

TEST(DemoProfiles, AreVariedAsAUserTryingTheProgramWouldWant) {
    const std::vector<DeviceProfile> demo = DemoProfiles();
    ASSERT_GE(demo.size(), 5u);
    std::set<uint8_t> modes;
    int connected = 0, unnamed = 0, dhcp = 0, fullNames = 0;
    for (const DeviceProfile& s : demo) {
        modes.insert(s.operationMode);
        connected += s.linkStatus == 1;
        unnamed += s.name.isEmpty();
        dhcp += s.dhcp;
        fullNames += s.name.size() == 16;
        // A port under 1024 brings up a warning box at every search.
        EXPECT_GE(s.listenPort, 1024) << s.name.toStdString();
        EXPECT_GE(s.destinationPort, 1024) << s.name.toStdString();
    }
    EXPECT_EQ(modes.size(), 4u);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(unnamed, 1);
    EXPECT_GT(dhcp, 0);
    EXPECT_LT(dhcp, static_cast<int>(demo.size()));
    EXPECT_EQ(fullNames, 1);
}
