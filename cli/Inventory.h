#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "devcfg/DeviceConfigRecord.h"
#include "devcfg/DeviceSetupValues.h"
#include "platform/NetInterfaces.h"

// The fleet inventory: what each device should be, keyed by its MAC address, read from a TOML
// file. Everything that can be checked without the devices is checked here, so that a bad
// file is refused whole before anything is sent.
namespace inventory {

using Mac = std::array<uint8_t, devrec::kMacSize>;

// One named setting on top of the setting file, already checked against its range.
struct SettingValue {
    int index = 0;  // into the named settings
    int line = 0;
    uint32_t number = 0;  // a number, or the position of a choice or list entry
    QString text;
};

struct NetworkSpec {
    std::optional<bool> dhcp;
    std::optional<uint32_t> address;  // host order, as the other three
    std::optional<uint32_t> netmask;
    std::optional<uint32_t> gateway;
    std::optional<uint32_t> dns;
    int addressLine = 0;
};

struct FirmwareSpec {
    QString image;  // absolute path
    QString version;
    int blockSize = 0;  // TFTP blocks asked of the device; 0: --block-size, else 512
    int line = 0;
};

struct PortSpec {
    QString com;
    bool udp = false;
    bool client = true;  // the port connects to the device; false: it listens
    int line = 0;
};

struct DeviceEntry {
    Mac mac{};
    int line = 0;
    std::optional<QString> name;
    QString group;  // empty: none
    NetworkSpec network;
    QString settingFile;  // absolute path; empty when none
    QByteArray settingFileText;
    std::vector<SettingValue> settings;
    std::optional<FirmwareSpec> firmware;
    std::optional<PortSpec> port;
};

struct Problem {
    int line = 0;  // 0: the file as a whole
    QString reason;
};

struct Parsed {
    std::vector<DeviceEntry> devices;
    std::vector<Problem> problems;
    // SHA-256 over the file, the setting files and the images it names, as they were read.
    QByteArray digest;
    bool Ok() const { return problems.empty(); }
};

// Reads and checks the inventory at `path`; setting files and images are taken relative to
// its folder and read at once. An address is checked against its own netmask and `subnets`,
// the host's (NetInterfaces::Subnets).
Parsed Load(const QString& path, const std::vector<AdapterInfo>& subnets = {});
// The same for text already read; `folder` stands for the file's folder.
Parsed Parse(const QByteArray& text, const QString& folder,
             const std::vector<AdapterInfo>& subnets = {});

// Two entries for one device, one address or one port, found once every entry was read.
void CheckAcrossDevices(const std::vector<DeviceEntry>& devices, std::vector<Problem>& problems);

// "path:line: reason" for each problem.
QStringList FormatProblems(const QString& path, const std::vector<Problem>& problems);

// What the device's setup sheet should show: its current values, then the setting file
// (except the lines that identify one device: name, DHCP switch and addresses), then the named
// settings, the name and the network.
DeviceSetupValues Intended(const DeviceEntry& entry, DeviceSetupValues current);

// The keys of the named settings, in the order the README lists them.
QStringList SettingNames();

// As the device list shows it.
QString MacText(const Mac& mac);

}  // namespace inventory
