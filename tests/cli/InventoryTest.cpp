#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "cli/Inventory.h"
#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"
#include "tools/devsim/SimRecords.h"

namespace {

// A folder with a firmware image, a file that is not one, and a setting file exported from a
// simulated device's factory record.
class InventoryFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        Write("fw.bin", QByteArray("QMDR") + QByteArray(2000, '\x5A'));
        Write("notfw.bin", QByteArray("MZ") + QByteArray(2000, '\0'));
        const devsim::DeviceProfile profile;
        DeviceSetupValues values;
        FillSetupValues(values, devsim::FactoryRecord(profile, 0x7F010114u, devsim::DefaultMac(7)),
                        0);
        values.baudRate = 5;  // 9600
        Write("line.txt", settingfile::Write(values).text);
        values.listenPort = 80;
        Write("lowport.txt", settingfile::Write(values).text);
        Write("old.txt", QByteArray("Another_Config:V9\n"));
    }

    void Write(const QString& name, const QByteArray& bytes) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    inventory::Parsed Parse(const QByteArray& text) { return inventory::Parse(text, dir_.path()); }

    QTemporaryDir dir_;
};

const QByteArray kGood = R"(# two presses
[defaults]
settings_file = "line.txt"
settings = { baud_rate = 19200, operating_mode = "vcom" }
firmware = { image = "fw.bin", version = "V1.7.0" }
network = { netmask = "255.255.255.0", gateway = "10.0.0.1" }

[device."02-56-54-00-00-01"]
name = "Press-1"
network = { address = "10.0.0.11" }
settings = { data_listening_port = 4777, baud_rate = 57600 }
port = { com = "COM5", protocol = "tcp", mode = "client" }

[device."02:56:54:00:00:02"]
name = "Press-2"
network = { dhcp = true }
)";

TEST_F(InventoryFiles, DefaultsUnderEachDeviceAndTheDevicesOwnValuesOverThem) {
    const inventory::Parsed parsed = Parse(kGood);
    ASSERT_TRUE(parsed.Ok())
        << inventory::FormatProblems("inv", parsed.problems).join('\n').toStdString();
    ASSERT_EQ(parsed.devices.size(), 2u);
    const inventory::DeviceEntry& first = parsed.devices[0];
    EXPECT_EQ(inventory::MacText(first.mac), "02-56-54-00-00-01");
    EXPECT_EQ(first.line, 8);
    ASSERT_TRUE(first.port);
    EXPECT_EQ(first.port->com, "COM5");
    EXPECT_EQ(parsed.devices[1].firmware->image, dir_.filePath("fw.bin"));

    DeviceSetupValues current;
    FillSetupValues(current, devsim::FactoryRecord({}, 0x0A000063u, devsim::DefaultMac(1)), 0);
    const DeviceSetupValues one = inventory::Intended(first, current);
    EXPECT_EQ(one.deviceName, "Press-1");
    EXPECT_EQ(one.staticIp, "10.0.0.11");
    EXPECT_EQ(one.subnetMask, "255.255.255.0");
    EXPECT_EQ(one.gateway, "10.0.0.1");
    EXPECT_EQ(one.listenPort, 4777u);
    EXPECT_EQ(one.baudRate, 2);  // 57600: the device's own value over the defaults' 19200
    EXPECT_EQ(one.operationMode, 1);
    EXPECT_EQ(one.dhcp, 0);
    // The setting file serves many devices: its name and addresses are not taken.
    const DeviceSetupValues two = inventory::Intended(parsed.devices[1], current);
    EXPECT_EQ(two.deviceName, "Press-2");
    EXPECT_EQ(two.dhcp, 1);
    EXPECT_EQ(two.staticIp, current.staticIp);
    EXPECT_EQ(two.baudRate, 4);  // 19200 from the defaults over the file's 9600

    // firmware = {}: a device that keeps the firmware it has, whatever the defaults say.
    const inventory::Parsed exempt =
        Parse(kGood + "[device.\"02-56-54-00-00-03\"]\nfirmware = {}\n");
    ASSERT_TRUE(exempt.Ok());
    for (const inventory::DeviceEntry& entry : exempt.devices)
        EXPECT_EQ(!entry.firmware, inventory::MacText(entry.mac) == "02-56-54-00-00-03");
}

// A group's table sits between the defaults and the device: the device's own keys win, the
// group's win over the defaults', and what neither says comes from the defaults.
TEST_F(InventoryFiles, AGroupSitsBetweenTheDefaultsAndTheDevice) {
    const inventory::Parsed parsed = Parse(R"([defaults]
settings = { baud_rate = 19200, parity = "even" }
network = { gateway = "10.0.0.1" }

[group.presses]
settings = { baud_rate = 9600, data_bits = 7 }
network = { netmask = "255.255.255.0" }

[device."02-56-54-00-00-01"]
group = "presses"
settings = { data_bits = 8 }

[device."02-56-54-00-00-02"]
)");
    ASSERT_TRUE(parsed.Ok())
        << inventory::FormatProblems("inv", parsed.problems).join('\n').toStdString();
    ASSERT_EQ(parsed.devices.size(), 2u);
    DeviceSetupValues current;
    FillSetupValues(current, devsim::FactoryRecord({}, 0x0A000063u, devsim::DefaultMac(1)), 0);
    const DeviceSetupValues press = inventory::Intended(parsed.devices[0], current);
    EXPECT_EQ(parsed.devices[0].group, "presses");
    EXPECT_EQ(press.baudRate, 5);  // 9600 from the group
    EXPECT_EQ(press.dataBits, 1);  // 8, the device's own
    EXPECT_EQ(press.parity, 2);    // even, from the defaults
    EXPECT_EQ(press.subnetMask, "255.255.255.0");
    EXPECT_EQ(press.gateway, "10.0.0.1");
    const DeviceSetupValues other = inventory::Intended(parsed.devices[1], current);
    EXPECT_EQ(parsed.devices[1].group, "");
    EXPECT_EQ(other.baudRate, 4);  // 19200
    EXPECT_EQ(other.subnetMask, current.subnetMask);
}

// A range stands for consecutive devices: the next MAC address, number, address and COM port
// each, everything else the same.
TEST_F(InventoryFiles, ARangeGivesConsecutiveDevicesTheNextValues) {
    const inventory::Parsed parsed = Parse(R"([group.presses]
settings = { baud_rate = 9600 }

[[range]]
first = "02-56-54-00-00-fe"
count = 3
start = 7
group = "presses"
name = "Press-{n}"
network = { address = "10.3.0.254", netmask = "255.255.0.0" }
port = { com = "COM9", mode = "server" }
)");
    ASSERT_TRUE(parsed.Ok())
        << inventory::FormatProblems("inv", parsed.problems).join('\n').toStdString();
    ASSERT_EQ(parsed.devices.size(), 3u);
    const char* macs[] = {"02-56-54-00-00-FE", "02-56-54-00-00-FF", "02-56-54-00-01-00"};
    const char* addresses[] = {"10.3.0.254", "10.3.0.255", "10.3.1.0"};
    DeviceSetupValues current;
    FillSetupValues(current, devsim::FactoryRecord({}, 0x0A000063u, devsim::DefaultMac(1)), 0);
    for (int i = 0; i < 3; ++i) {
        const inventory::DeviceEntry& entry = parsed.devices[static_cast<size_t>(i)];
        EXPECT_EQ(inventory::MacText(entry.mac), macs[i]);
        EXPECT_EQ(entry.line, 4);
        const DeviceSetupValues values = inventory::Intended(entry, current);
        EXPECT_EQ(values.deviceName, QStringLiteral("Press-%1").arg(7 + i));
        EXPECT_EQ(values.staticIp, addresses[i]);
        EXPECT_EQ(values.subnetMask, "255.255.0.0");
        EXPECT_EQ(values.baudRate, 5);  // 9600 from the group
        ASSERT_TRUE(entry.port);
        EXPECT_EQ(entry.port->com, QStringLiteral("COM%1").arg(9 + i));
        EXPECT_FALSE(entry.port->client);
    }
}

// Each kind of bad file is refused with the line at fault and the reason.
TEST_F(InventoryFiles, ABadFileIsRefusedWithTheLineAndTheReason) {
    const QByteArray device = "[device.\"02-56-54-00-00-01\"]\n";
    const struct {
        QByteArray text;
        int line;
        const char* reason;
    } cases[] = {
        {device + "name = \"A\"\nname = \"B\"\n", 3, "cannot redefine"},
        {device + "colour = \"red\"\n", 2, "unknown key \"colour\""},
        {device + "settings = { baudrate = 9600 }\n", 2, "unknown setting \"baudrate\""},
        {device + "network = { address = \"10.0.0.300\" }\n", 2, "is not an IPv4 address"},
        {device + "network = { netmask = \"255.0.255.0\" }\n", 2, "is not a netmask"},
        {device + "settings = { data_listening_port = 80 }\n", 2, "from 1024 to 65535"},
        {device + "settings = { baud_rate = 12345 }\n", 2, "one of 921600, 115200"},
        {device + "settings = { parity = \"mark\" }\n", 2, "\"none\", \"odd\", \"even\""},
        {device + "name = \"Press 1\"\n", 2, "NO SPACES"},
        {device + "network = { dhcp = true, address = \"10.0.0.5\" }\n", 2, "takes no address"},
        {device + "network = { address = \"192.168.1.255\", netmask = \"255.255.255.0\" }\n", 2,
         "192.168.1.255 is the broadcast address of 192.168.1.0/24, the device's own subnet"},
        {"[defaults]\nnetwork = { netmask = \"255.255.0.0\" }\n" + device +
             "network = { address = \"10.3.0.0\" }\n",
         4, "10.3.0.0 is the network address of 10.3.0.0/16"},
        {device + "network = { address = \"224.0.0.9\" }\n", 2, "is a multicast address"},
        {device + "[device.\"02:56:54:00:00:01\"]\n", 2, "02-56-54-00-00-01 is also at line 1"},
        {device + "network = { address = \"10.0.0.5\" }\n[device.\"02-56-54-00-00-02\"]\n"
                  "network = { address = \"10.0.0.5\" }\n",
         4, "is also that of the device at line 1"},
        {device + "port = [{ com = \"COM5\" }, { com = \"COM6\" }]\n", 2,
         "two ports to one device"},
        {device + "port = { com = \"COM5\" }\n[device.\"02-56-54-00-00-02\"]\n"
                  "port = { com = \"COM5\" }\n",
         4, "COM5 is also mapped at line 2"},
        {device + "port = { com = \"COM300\" }\n", 2, "\"COM1\" to \"COM256\""},
        {device + "firmware = { image = \"none.bin\", version = \"V2\" }\n", 2,
         "cannot read the image"},
        {device + "firmware = { image = \"notfw.bin\", version = \"V2\" }\n", 2,
         "It's not a correct firmware file !!"},
        {device + "firmware = { image = \"fw.bin\" }\n", 2, "needs image and version"},
        {device + "firmware = { image = \"fw.bin\", version = \"V2\", block_size = 4 }\n", 2,
         "block_size is a number from 8 to 65464"},
        {device + "settings_file = \"none.txt\"\n", 2, "cannot read the setting file"},
        {device + "settings_file = \"old.txt\"\n", 2, "Device File Version Wrong"},
        {device + "settings_file = \"lowport.txt\"\n", 2,
         "line 8 (Server data listening Port): 80 is not a number from 1024 to 65535"},
        {"[defaults]\nname = \"All\"\n" + device, 2, "unknown key \"name\" in [defaults]"},
        {"[device.\"02-56-54-00-00\"]\n", 1, "is not a MAC address"},
        {device + "group = \"lathes\"\n", 2, "no [group.\"lathes\"] table"},
        {"[device.\"ff-ff-ff-ff-ff-ff\"]\n", 1, "ff:ff:ff:ff:ff:ff is a multicast or broadcast"},
        {"[device.\"01-00-5e-00-00-01\"]\n", 1, "is a multicast or broadcast MAC address"},
        {"[[range]]\nfirst = \"02-56-54-00-00-01\"\ncount = 0\n", 1, "count = 1 to 1024"},
        {"[[range]]\ncount = 4\n", 1, "first = \"MAC\""},
        {"[[range]]\nfirst = \"02-56-54-00-00-01\"\ncount = 2\nport = { com = \"COM256\" }\n", 1,
         "\"COM1\" to \"COM256\""},
        {"[[range]]\nfirst = \"02-56-54-00-00-01\"\ncount = 2\ncolour = \"red\"\n", 4,
         "unknown key \"colour\""},
        {"[group.presses]\nname = \"P\"\n" + device, 2,
         "unknown key \"name\" in [group.\"presses\"]"},
    };
    for (const auto& c : cases) {
        const inventory::Parsed parsed = Parse(c.text);
        ASSERT_FALSE(parsed.Ok()) << c.text.toStdString();
        EXPECT_EQ(parsed.problems.front().line, c.line) << c.text.toStdString();
        EXPECT_TRUE(parsed.problems.front().reason.contains(c.reason))
            << c.text.toStdString() << " -> " << parsed.problems.front().reason.toStdString();
    }
}

}  // namespace
