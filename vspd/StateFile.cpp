#include "vspd/StateFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <set>

#include "vspd/ControlProtocol.h"

namespace vspd {
namespace {

constexpr std::string_view kHeader = "veltro-vspd-state 1";

std::string Escape(std::string_view value) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if (c <= ' ' || c == '%' || c == '=' || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescape(std::string_view value, std::string* out) {
    out->clear();
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            *out += value[i];
            continue;
        }
        if (i + 2 >= value.size()) return false;
        int hi = HexDigit(value[i + 1]);
        int lo = HexDigit(value[i + 2]);
        if (hi < 0 || lo < 0) return false;
        *out += static_cast<char>(hi << 4 | lo);
        i += 2;
    }
    return true;
}

using Fields = std::map<std::string, std::string, std::less<>>;

// "kind k=v k=v": false when a token is not a key=value pair or does not unescape.
bool SplitLine(std::string_view line, std::string_view* kind, Fields* fields) {
    size_t pos = line.find(' ');
    *kind = line.substr(0, pos);
    while (pos != std::string_view::npos) {
        size_t start = pos + 1;
        pos = line.find(' ', start);
        std::string_view token =
            line.substr(start, pos == std::string_view::npos ? pos : pos - start);
        if (token.empty()) continue;
        size_t eq = token.find('=');
        if (eq == std::string_view::npos) return false;
        std::string value;
        if (!Unescape(token.substr(eq + 1), &value)) return false;
        (*fields)[std::string(token.substr(0, eq))] = value;
    }
    return true;
}

// Reads an unsigned decimal field no larger than max; absent fields read as 0.
bool Number(const Fields& f, std::string_view key, uint64_t max, uint64_t* out) {
    *out = 0;
    auto it = f.find(key);
    if (it == f.end()) return true;
    const std::string& v = it->second;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), *out);
    return ec == std::errc() && end == v.data() + v.size() && !v.empty() && *out <= max;
}

bool ReadPort(const Fields& f, PortRecord* p) {
    constexpr int kCount = 11;
    uint64_t v[kCount];
    static const std::pair<const char*, uint64_t> keys[kCount] = {
        {"instance", kMaxInstance}, {"com", kComNumberMax}, {"ip", 0xFFFFFFFF},
        {"port", 0xFFFF},           {"proto", 0xFF},        {"atstart", 0xFFFFFFFF},
        {"mode", 0xFFFFFFFF},       {"vcom", 0xFFFFFFFF},   {"packet", 0xFFFFFFFF},
        {"host", 0xFFFFFFFF},       {"lport", 0xFFFF}};
    for (int i = 0; i < kCount; ++i) {
        if (!Number(f, keys[i].first, keys[i].second, &v[i])) return false;
    }
    auto hwid = f.find("hwid");
    if (!f.count("instance") || v[1] == 0 || hwid == f.end() || hwid->second.empty()) return false;
    p->instance = uint32_t(v[0]);
    p->comNumber = uint32_t(v[1]);
    p->hardwareId = hwid->second;
    p->config.remoteIp = uint32_t(v[2]);
    p->config.remotePort = uint16_t(v[3]);
    p->config.protocol = uint8_t(v[4]);
    p->config.connectAtStart = uint32_t(v[5]);
    p->config.mode = uint32_t(v[6]);
    p->config.enableVcom = uint32_t(v[7]);
    p->config.maxPacketSize = uint32_t(v[8]);
    p->config.hostIp = uint32_t(v[9]);
    p->localPort = uint16_t(v[10]);
    return true;
}

bool ReadMap(const Fields& f, MapRecord* m) {
    uint64_t com = 0, automatic = 0;
    auto device = f.find("device");
    if (!Number(f, "com", kComNumberMax, &com) || !Number(f, "auto", 1, &automatic) || com == 0 ||
        device == f.end() || device->second.empty() || device->second[0] != '/') {
        return false;
    }
    m->comNumber = uint32_t(com);
    m->device = device->second;
    m->automatic = automatic != 0;
    return true;
}

// Adds the line's record to the state; the reason when it is dropped, else null.
const char* DecodeLine(std::string_view line, unsigned number, ServiceState& state,
                       std::set<uint32_t>& instances, std::set<uint32_t>& numbers,
                       std::set<std::string>& devices) {
    if (line.empty() || (number == 1 && line == kHeader)) return nullptr;
    std::string_view kind;
    Fields fields;
    if (!SplitLine(line, &kind, &fields)) return "not a list of key=value fields";
    PortRecord p;
    MapRecord m;
    if (kind == "port") {
        if (!ReadPort(fields, &p)) return "a port field is missing or out of range";
        if (instances.count(p.instance)) return "the instance repeats an earlier port's";
        if (numbers.count(p.comNumber)) return "the COM number is taken by an earlier line";
        instances.insert(p.instance);
        numbers.insert(p.comNumber);
        state.ports.push_back(p);
        return nullptr;
    }
    if (kind == "map") {
        if (!ReadMap(fields, &m)) return "a map field is missing or out of range";
        if (numbers.count(m.comNumber)) return "the COM number is taken by an earlier line";
        if (devices.count(m.device)) return "the device repeats an earlier map's";
        numbers.insert(m.comNumber);
        devices.insert(m.device);
        state.maps.push_back(m);
        return nullptr;
    }
    return "an unknown kind of record";
}

}  // namespace

std::string EncodeState(const ServiceState& state) {
    std::string out(kHeader);
    out += '\n';
    for (const PortRecord& p : state.ports) {
        const RemoteInfoRequest& c = p.config;
        out +=
            "port instance=" + std::to_string(p.instance) + " com=" + std::to_string(p.comNumber) +
            " hwid=" + Escape(p.hardwareId) + " ip=" + std::to_string(c.remoteIp) +
            " port=" + std::to_string(c.remotePort) + " proto=" + std::to_string(c.protocol) +
            " atstart=" + std::to_string(c.connectAtStart) + " mode=" + std::to_string(c.mode) +
            " vcom=" + std::to_string(c.enableVcom) + " packet=" + std::to_string(c.maxPacketSize) +
            " host=" + std::to_string(c.hostIp) + " lport=" + std::to_string(p.localPort) + "\n";
    }
    for (const MapRecord& m : state.maps) {
        out += "map com=" + std::to_string(m.comNumber) + " device=" + Escape(m.device) +
               " auto=" + (m.automatic ? "1" : "0") + "\n";
    }
    return out;
}

ServiceState DecodeState(std::string_view text, std::vector<std::string>* dropped) {
    ServiceState state;
    std::set<uint32_t> instances, numbers;
    std::set<std::string> devices;
    size_t start = 0;
    for (unsigned number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        const char* why = DecodeLine(line, number, state, instances, numbers, devices);
        if (why && dropped) dropped->push_back("line " + std::to_string(number) + ": " + why);
    }
    return state;
}

bool WriteFileAtomically(const std::string& dir, const std::string& name,
                         const std::string& content, std::string* error) {
    std::string path = dir + "/" + name;
    std::string temp = path + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    for (size_t done = 0; ok && done < content.size();) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    if (fd >= 0) ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (ok) {
        int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = d >= 0 && fsync(d) == 0;
        if (d >= 0) close(d);
    }
    if (!ok) {
        *error = path + ": " + std::strerror(errno);
        unlink(temp.c_str());
    }
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    content->clear();
    char buffer[8192];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return n == 0;
        }
        content->append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace vspd
