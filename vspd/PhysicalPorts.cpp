#include "vspd/PhysicalPorts.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

namespace vspd {
namespace {

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::vector<std::string> DetectSerialDevices(const std::string& sysClassTty) {
    std::vector<std::string> devices;
    DIR* dir = opendir(sysClassTty.c_str());
    if (!dir) return devices;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        std::string base = sysClassTty + "/" + name;
        struct stat st {};
        if (stat((base + "/device").c_str(), &st) != 0) continue;
        if (StartsWith(name, "ttyS")) {
            std::ifstream type(base + "/type");
            int uart = 0;
            if (!(type >> uart) || uart == 0) continue;
        }
        devices.push_back("/dev/" + name);
    }
    closedir(dir);
    std::sort(devices.begin(), devices.end());
    return devices;
}

std::string PhysicalFriendlyName(const std::string& device, unsigned comNumber) {
    std::string suffix = " (COM" + std::to_string(comNumber) + ")";
    std::string name = device.substr(device.rfind('/') + 1);
    if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) return "USB Serial Port" + suffix;
    if (StartsWith(name, "ttyS")) return "Communications Port" + suffix;
    return "Serial Port" + suffix;
}

}  // namespace vspd
