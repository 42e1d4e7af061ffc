#include "cli/Inventory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <map>
#include <set>

#include "cli/CliTargets.h"
#include "cli/InventoryRanges.h"
#include "cli/InventorySettings.h"
#include "devcfg/DeviceSettingFile.h"
#include "devmgr/DmDeviceTable.h"
#include "monitor/StatusReply.h"
#include "platform/RegularFile.h"
#include "protocol/Ipv4Address.h"
#include "upgrade/FirmwareImage.h"
#include "upgrade/TftpBlockSize.h"
#include "upgrade/TftpClient.h"

namespace inventory {

namespace {

constexpr int kMaxComNumber = 256;
// Far more than thousands of devices take; a larger file is refused before it is read.
constexpr int64_t kMaxInventoryBytes = 4 * 1024 * 1024;

const std::set<QString> kRootKeys{"defaults", "group", "device", "range"};
const std::set<QString> kDeviceKeys{"name",     "group",    "network", "settings_file",
                                    "settings", "firmware", "port"};
const std::set<QString> kDefaultKeys{"network", "settings_file", "settings", "firmware"};
const std::set<QString> kNetworkKeys{"dhcp", "address", "netmask", "gateway", "dns"};
const std::set<QString> kFirmwareKeys{"image", "version", "block_size"};
const std::set<QString> kPortKeys{"com", "protocol", "mode"};

int LineOf(const toml::node& node) {
    return static_cast<int>(node.source().begin.line);
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Reads one file's tables into entries; the defaults first, then each device over them.
class Reader {
  public:
    Reader(QString folder, const std::vector<AdapterInfo>& subnets, std::vector<Problem>& problems)
        : folder_(std::move(folder)), subnets_(subnets), problems_(problems) {}

    void Read(const toml::table& root) {
        for (auto&& [key, node] : root)
            if (!kRootKeys.contains(Text(key.str())) ||
                !(node.is_table() || (key.str() == "range" && node.is_array_of_tables())))
                Fail(LineOf(node), QStringLiteral("unknown key \"%1\"").arg(Text(key.str())));
        DeviceEntry defaults;
        if (const toml::table* table = root["defaults"].as_table())
            ReadEntry(*table, defaults, kDefaultKeys, QStringLiteral(" in [defaults]"));
        if (const toml::table* groups = root["group"].as_table()) ReadGroups(*groups, defaults);
        const toml::table* devices = root["device"].as_table();
        const toml::array* ranges = root["range"].as_array();
        if (!devices && !ranges)
            return Fail(0, QStringLiteral("no [device.\"MAC\"] tables and no [[range]]"));
        if (devices) ReadDevices(*devices, defaults);
        if (ranges)
            for (const toml::node& node : *ranges)
                if (const toml::table* range = node.as_table()) {
                    rangeLine_ = LineOf(*range);
                    for (const RangeDevice& device : ExpandRange(*range, problems_))
                        AddDevice(device.table, device.mac, rangeLine_, defaults);
                    rangeLine_ = 0;
                }
    }

    std::vector<DeviceEntry> TakeDevices() { return std::move(devices_); }
    QCryptographicHash& Digest() { return digest_; }

  private:
    // A range's devices are copies, whose values know no line: the range's stands for them.
    void Fail(int line, const QString& reason) {
        problems_.push_back({line > 0 ? line : rangeLine_, reason});
    }

    void ReadDevices(const toml::table& devices, const DeviceEntry& defaults) {
        for (auto&& [key, node] : devices) {
            const int line = static_cast<int>(key.source().begin.line);
            const std::optional<Mac> mac = ParseMac(Text(key.str()));
            if (!mac)
                Fail(line, QStringLiteral("\"%1\" is not a MAC address").arg(Text(key.str())));
            if (!node.is_table()) {
                Fail(line, QStringLiteral("a device is a table"));
                continue;
            }
            AddDevice(*node.as_table(), mac.value_or(Mac{}), line, defaults);
        }
    }

    void AddDevice(const toml::table& table, const Mac& mac, int line,
                   const DeviceEntry& defaults) {
        // The group bit: a multicast or the broadcast address, never one device's.
        if (mac[0] & 1)
            Fail(line, QStringLiteral("%1 is a multicast or broadcast MAC address, no device's")
                           .arg(NormalMac(mac)));
        DeviceEntry entry = GroupOf(table).value_or(defaults);
        entry.line = line;
        entry.mac = mac;
        ReadEntry(table, entry, kDeviceKeys, {});
        Finish(entry);
        devices_.push_back(std::move(entry));
    }

    bool KnownKeys(const toml::table& table, const std::set<QString>& known, const QString& where) {
        bool ok = true;
        for (auto&& [key, node] : table) {
            if (known.contains(Text(key.str()))) continue;
            Fail(static_cast<int>(key.source().begin.line),
                 QStringLiteral("unknown key \"%1\"%2").arg(Text(key.str()), where));
            ok = false;
        }
        return ok;
    }

    const toml::table* Table(const toml::node& node, const QString& key) {
        if (const toml::table* table = node.as_table()) return table;
        Fail(LineOf(node), QStringLiteral("%1 is a table").arg(key));
        return nullptr;
    }

    std::optional<QString> String(const toml::node& node, const QString& key) {
        if (const auto* value = node.as_string()) return Text(value->get());
        Fail(LineOf(node), QStringLiteral("%1 is a text in quotes").arg(key));
        return std::nullopt;
    }

    // Each group over the defaults, for the devices that name it.
    void ReadGroups(const toml::table& groups, const DeviceEntry& defaults) {
        for (auto&& [key, node] : groups) {
            const QString name = Text(key.str());
            if (!node.is_table()) {
                Fail(LineOf(node), QStringLiteral("a group is a table"));
                continue;
            }
            DeviceEntry group = defaults;
            group.group = name;
            ReadEntry(*node.as_table(), group, kDefaultKeys,
                      QStringLiteral(" in [group.\"%1\"]").arg(name));
            groups_[name] = std::move(group);
        }
    }

    // The group a device's table names; nullopt for none (the defaults), also when unknown.
    std::optional<DeviceEntry> GroupOf(const toml::table& device) {
        const toml::node* node = device.get("group");
        if (!node) return std::nullopt;
        const std::optional<QString> name = String(*node, QStringLiteral("group"));
        if (!name) return std::nullopt;
        const auto group = groups_.find(*name);
        if (group != groups_.end()) return group->second;
        Fail(LineOf(*node), QStringLiteral("no [group.\"%1\"] table").arg(*name));
        return std::nullopt;
    }

    void ReadEntry(const toml::table& table, DeviceEntry& entry, const std::set<QString>& known,
                   const QString& where) {
        KnownKeys(table, known, where);
        if (const toml::node* node = table.get("name")) ReadName(*node, entry);
        if (const toml::node* node = table.get("network")) ReadNetwork(*node, entry.network);
        if (const toml::node* node = table.get("settings_file")) ReadSettingFile(*node, entry);
        if (const toml::node* node = table.get("settings")) ReadSettings(*node, entry);
        if (const toml::node* node = table.get("firmware")) ReadFirmware(*node, entry);
        if (const toml::node* node = table.get("port")) ReadPort(*node, entry);
    }

    void ReadName(const toml::node& node, DeviceEntry& entry) {
        const std::optional<QString> name = String(node, QStringLiteral("name"));
        if (!name) return;
        if (const QString error = CheckDeviceName(*name); !error.isEmpty())
            return Fail(LineOf(node), error);
        entry.name = name;
    }

    std::optional<uint32_t> Address(const toml::node& node, const QString& key) {
        const std::optional<QString> text = String(node, key);
        if (!text) return std::nullopt;
        const std::optional<Ipv4Address> address = Ipv4Address::Parse(*text);
        if (!address) {
            Fail(LineOf(node), QStringLiteral("%1 \"%2\" is not an IPv4 address").arg(key, *text));
            return std::nullopt;
        }
        return address->HostOrder();
    }

    void ReadNetwork(const toml::node& node, NetworkSpec& network) {
        const toml::table* table = Table(node, QStringLiteral("network"));
        if (!table || !KnownKeys(*table, kNetworkKeys, QStringLiteral(" in network"))) return;
        if (const toml::node* dhcp = table->get("dhcp")) {
            if (const auto* flag = dhcp->as_boolean())
                network.dhcp = flag->get();
            else
                Fail(LineOf(*dhcp), QStringLiteral("dhcp is true or false"));
        }
        if (const toml::node* a = table->get("address")) {
            network.address = Address(*a, QStringLiteral("address"));
            network.addressLine = LineOf(*a);
        }
        if (const toml::node* m = table->get("netmask")) {
            network.netmask = Address(*m, QStringLiteral("netmask"));
            if (network.netmask && !Ipv4Address(*network.netmask).IsNetmask())
                Fail(LineOf(*m), QStringLiteral("netmask %1 is not a netmask")
                                     .arg(Ipv4Address(*network.netmask).ToString()));
        }
        if (const toml::node* g = table->get("gateway"))
            network.gateway = Address(*g, QStringLiteral("gateway"));
        if (const toml::node* d = table->get("dns"))
            network.dns = Address(*d, QStringLiteral("dns"));
    }

    QString Path(const QString& relative) const {
        return QDir::cleanPath(QDir(folder_).absoluteFilePath(relative));
    }

    void ReadSettingFile(const toml::node& node, DeviceEntry& entry) {
        const std::optional<QString> relative = String(node, QStringLiteral("settings_file"));
        if (!relative) return;
        const QString path = Path(*relative);
        QString why;
        const std::optional<QByteArray> text = settingfile::ReadFile(path, &why);
        if (!text)
            return Fail(LineOf(node), QStringLiteral("cannot read the setting file: %1").arg(why));
        entry.settingFile = path;
        entry.settingFileText = *text;
        digest_.addData(*text);
        DeviceSetupValues values;
        const settingfile::LoadReport loaded = settingfile::Load(entry.settingFileText, values);
        if (loaded.result == settingfile::LoadResult::VersionWrong)
            Fail(LineOf(node), QStringLiteral("%1: %2").arg(path, settingfile::kVersionWrong));
        else if (loaded.result == settingfile::LoadResult::Short)
            Fail(LineOf(node),
                 QStringLiteral("%1: %2").arg(
                     path, settingfile::ShortFileMessage(loaded.lineCount).trimmed()));
        else
            for (const QString& why : settingfile::RefusedLines(entry.settingFileText, nullptr))
                Fail(LineOf(node), QStringLiteral("%1: %2").arg(path, why));
    }

    void ReadSettings(const toml::node& node, DeviceEntry& entry) {
        const toml::table* table = Table(node, QStringLiteral("settings"));
        if (!table) return;
        for (auto&& [key, value] : *table) {
            const int line = static_cast<int>(key.source().begin.line);
            SettingInput input{Text(key.str()), line, {}, {}};
            if (const auto* number = value.as_integer()) input.number = number->get();
            if (const auto* text = value.as_string()) input.text = Text(text->get());
            SettingValue checked;
            if (const QString error = CheckSetting(input, checked); !error.isEmpty()) {
                Fail(line, error);
                continue;
            }
            std::erase_if(entry.settings,
                          [&](const SettingValue& s) { return s.index == checked.index; });
            entry.settings.push_back(checked);
        }
    }

    void ReadFirmware(const toml::node& node, DeviceEntry& entry) {
        const toml::table* table = Table(node, QStringLiteral("firmware"));
        if (!table || !KnownKeys(*table, kFirmwareKeys, QStringLiteral(" in firmware"))) return;
        // firmware = {}: this device keeps the firmware it has, whatever the defaults say.
        if (table->empty()) return entry.firmware.reset();
        FirmwareSpec firmware = entry.firmware.value_or(FirmwareSpec{});
        firmware.line = LineOf(node);
        if (const toml::node* image = table->get("image"))
            if (const auto relative = String(*image, QStringLiteral("image")))
                firmware.image = Path(*relative);
        if (const toml::node* version = table->get("version"))
            if (const auto text = String(*version, QStringLiteral("version")))
                firmware.version = *text;
        if (const toml::node* size = table->get("block_size")) {
            const auto* number = size->as_integer();
            if (!number || number->get() < kTftpMinBlockSize || number->get() > kTftpMaxBlockSize)
                return Fail(LineOf(*size), QStringLiteral("block_size is a number from %1 to %2")
                                               .arg(kTftpMinBlockSize)
                                               .arg(kTftpMaxBlockSize));
            firmware.blockSize = static_cast<int>(number->get());
        }
        entry.firmware = firmware;
    }

    void ReadPort(const toml::node& node, DeviceEntry& entry) {
        if (const toml::array* ports = node.as_array(); ports && ports->size() > 1)
            return Fail(LineOf(node), QStringLiteral("two ports to one device"));
        const toml::node& one =
            node.is_array() && !node.as_array()->empty() ? *node.as_array()->get(0) : node;
        const toml::table* table = Table(one, QStringLiteral("port"));
        if (!table || !KnownKeys(*table, kPortKeys, QStringLiteral(" in port"))) return;
        PortSpec port;
        port.line = LineOf(one);
        const auto com =
            table->get("com") ? String(*table->get("com"), QStringLiteral("com")) : std::nullopt;
        static const QRegularExpression comPattern(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
        const QRegularExpressionMatch match = comPattern.match(com.value_or(QString()));
        if (!match.hasMatch() || match.captured(1).toInt() > kMaxComNumber)
            return Fail(port.line, QStringLiteral("port needs com = \"COM1\" to \"COM256\""));
        port.com = *com;
        const QString protocol =
            table->get("protocol")
                ? String(*table->get("protocol"), QStringLiteral("protocol")).value_or(QString())
                : QStringLiteral("tcp");
        const QString mode =
            table->get("mode")
                ? String(*table->get("mode"), QStringLiteral("mode")).value_or(QString())
                : QStringLiteral("client");
        if (protocol != "tcp" && protocol != "udp")
            return Fail(port.line, QStringLiteral("port protocol is \"tcp\" or \"udp\""));
        if (mode != "client" && mode != "server")
            return Fail(port.line, QStringLiteral("port mode is \"client\" or \"server\""));
        port.udp = protocol == "udp";
        port.client = mode == "client";
        entry.port = port;
    }

    // What only the merged entry can tell.
    void Finish(const DeviceEntry& entry) {
        const NetworkSpec& network = entry.network;
        if (network.dhcp.value_or(false) && network.address)
            Fail(network.addressLine, QStringLiteral("a device with dhcp = true takes no address"));
        else if (network.address)
            if (const QString why =
                    WhyNotDeviceAddress(*network.address, network.netmask.value_or(0), subnets_);
                !why.isEmpty())
                Fail(network.addressLine, QStringLiteral("address: %1").arg(why));
        if (entry.firmware) CheckFirmware(*entry.firmware);
    }

    void CheckFirmware(const FirmwareSpec& firmware) {
        if (firmware.image.isEmpty() || firmware.version.isEmpty())
            return Fail(firmware.line, QStringLiteral("firmware needs image and version"));
        if (firmware.version.size() > StatusReply::kVersionWidth)
            return Fail(firmware.line, QStringLiteral("firmware version \"%1\" is longer than %2")
                                           .arg(firmware.version)
                                           .arg(StatusReply::kVersionWidth));
        if (checkedImages_.contains(firmware.image)) return;
        checkedImages_.insert(firmware.image);
        const FirmwareImage image = ReadFirmwareImage(firmware.image, CTftpClient::kMaxImageSize);
        digest_.addData(image.bytes);
        if (image.status == FirmwareImage::Status::CannotOpen)
            Fail(firmware.line, QStringLiteral("cannot read the image %1: %2")
                                    .arg(firmware.image, WhatIsNoImage(firmware.image)));
        else if (image.status == FirmwareImage::Status::TooLarge)
            Fail(firmware.line, QStringLiteral("the image %1 is too large").arg(firmware.image));
        else if (!HasFirmwareMark(image.bytes))
            Fail(firmware.line,
                 QStringLiteral("%1: %2").arg(firmware.image, QString::fromLatin1(kNotFirmware)));
        else if (firmware.blockSize != 0)
            if (const QString why = TftpBlockSizeProblem(firmware.blockSize, image.bytes.size());
                !why.isEmpty())
                Fail(firmware.line, why);
    }

    QString folder_;
    const std::vector<AdapterInfo>& subnets_;
    std::vector<Problem>& problems_;
    std::vector<DeviceEntry> devices_;
    std::map<QString, DeviceEntry> groups_;
    int rangeLine_ = 0;
    QCryptographicHash digest_{QCryptographicHash::Sha256};
    std::set<QString> checkedImages_;
};

}  // namespace

Parsed Parse(const QByteArray& text, const QString& folder,
             const std::vector<AdapterInfo>& subnets) {
    Parsed parsed;
    const toml::parse_result result =
        toml::parse(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    if (!result) {
        parsed.problems.push_back({static_cast<int>(result.error().source().begin.line),
                                   Text(result.error().description())});
        return parsed;
    }
    Reader reader(folder, subnets, parsed.problems);
    reader.Digest().addData(text);
    reader.Read(result.table());
    parsed.devices = reader.TakeDevices();
    parsed.digest = reader.Digest().result();
    CheckAcrossDevices(parsed.devices, parsed.problems);
    std::stable_sort(parsed.problems.begin(), parsed.problems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    return parsed;
}

Parsed Load(const QString& path, const std::vector<AdapterInfo>& subnets) {
    const RegularFile file = ReadRegularFile(path, kMaxInventoryBytes);
    if (file.status != RegularFile::Status::Read) {
        Parsed parsed;
        parsed.problems.push_back(
            {0, file.status == RegularFile::Status::NotRegular
                    ? QStringLiteral("not a regular file")
                : file.status == RegularFile::Status::TooLarge
                    ? QStringLiteral("larger than %1 bytes").arg(kMaxInventoryBytes)
                    : QStringLiteral("cannot read the file")});
        return parsed;
    }
    return Parse(file.bytes, QFileInfo(path).absolutePath(), subnets);
}

}  // namespace inventory
