// veltro-vspctl: lists and commands the ports of veltro-vspd.
#include <arpa/inet.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "vspd/ControlClient.h"
#include "vspd/VspdPaths.h"
#include "vspd/WinErrors.h"

using namespace vspd;

namespace {

// Each command and option starts a line and has its description on that line or, indented,
// on the next: help2man makes a man page entry of each.
constexpr const char* kUsage =
    "usage: veltro-vspctl [--socket PATH] COMMAND\n"
    "\n"
    "Commands:\n"
    "  list                    ports in enumeration order with their state\n"
    "  usage                   COM numbers in use\n"
    "  add [COMn] [--instance N] [--hwid ID]\n"
    "                          adds a virtual port (by default at the lowest free number)\n"
    "  remove COMn|@root\\ports\\NNNN\n"
    "                          removes a virtual port\n"
    "  configure COMn [SETTING...]\n"
    "                          stores a port's network settings, any of: tcp|udp\n"
    "                          client|server --remote IP:PORT --listen PORT\n"
    "                          --packet BYTES --at-start on|off --vcom on|off\n"
    "  connect COMn            connects (client) or listens (server)\n"
    "  disconnect COMn         closes the connection or stops listening\n"
    "  listen COMn [PORT]      TCP or UDP server on the port\n"
    "  renumber COMn COMm      gives a virtual port another COM number\n"
    "  map DEVICE COMn         gives a physical serial device a COM name\n"
    "  unmap DEVICE            takes a physical device's COM name away\n"
    "\n"
    "Options:\n"
    "  --socket PATH           the service's control socket\n"
    "  -h, --help              show this help\n"
    "  --version               show the version\n";

const char* kStateWords[] = {"idle", "connecting", "connected", "listening"};

constexpr int kExitUsage = 2;

int UsageError(const std::string& what) {
    std::fprintf(stderr, "veltro-vspctl: %s (see veltro-vspctl --help)\n", what.c_str());
    return kExitUsage;
}

std::string Dotted(uint32_t ip) {
    in_addr a{htonl(ip)};
    return inet_ntoa(a);
}

unsigned ComNumber(const std::string& name) {
    if (strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
    unsigned n = unsigned(std::atoi(name.c_str() + 3));
    return n <= kComNumberMax ? n : 0;
}

class Ctl {
  public:
    explicit Ctl(const std::string& socket) : client_(socket) {}

    std::optional<Reply> Call(const Request& request) {
        auto reply = client_.Call(request);
        if (!reply) {
            std::fprintf(
                stderr, "veltro-vspctl: %s\n",
                client_.NotRunning() ? "the service is not running" : "the service gave no answer");
        } else if (const char* words = winerr::Describe(reply->status); reply->status != 0) {
            if (words)
                std::fprintf(stderr, "veltro-vspctl: failed: %s (%u)\n", words, reply->status);
            else
                std::fprintf(stderr, "veltro-vspctl: failed with error %u (0x%x)\n", reply->status,
                             reply->status);
        }
        return reply && reply->status == 0 ? reply : std::nullopt;
    }

    // Opens the named port with a management handle.
    std::optional<PortEntry> Open(const std::string& name) {
        auto list = Call(ListRequest{});
        if (!list) return std::nullopt;
        for (const PortEntry& e : list->ports) {
            if (strcasecmp(e.portName.c_str(), name.c_str()) == 0 && e.isVirtual) {
                if (!Call(OpenRequest{kOpenShared, e.devicePath})) return std::nullopt;
                return e;
            }
        }
        std::fprintf(stderr, "veltro-vspctl: no virtual port %s\n", name.c_str());
        return std::nullopt;
    }

    bool Ioctl(uint32_t code, std::vector<uint8_t> input = {}) {
        return Call(IoctlRequest{code, 0, std::move(input)}).has_value();
    }

    int List();
    int Usage();
    int Configure(const std::string& name, const std::vector<std::string>& args);

  private:
    ControlClient client_;
};

int Ctl::List() {
    auto list = Call(ListRequest{});
    if (!list) return 1;
    for (size_t i = 0; i < list->ports.size(); ++i) {
        const PortEntry& e = list->ports[i];
        std::printf("%zu %-6s %-22s %s\n", i, e.portName.c_str(), e.instanceId.c_str(),
                    e.ttyPath.c_str());
        if (!e.isVirtual) continue;
        const RemoteInfoReply& c = e.info;
        std::printf("    %s %s %s:%u packet %u%s%s, %s", c.protocol ? "udp" : "tcp",
                    c.mode ? "client" : "server", Dotted(c.remoteIp).c_str(), c.remotePort,
                    c.maxPacketSize, c.connectAtStart ? ", at start" : "",
                    c.enableVcom ? ", vcom" : "", kStateWords[int(e.state)]);
        if (e.peerPort) std::printf(" with %s:%u", Dotted(e.peerIp).c_str(), e.peerPort);
        std::printf("%s%s, %llu bytes out, %llu in\n", e.ttyOpen ? ", tty open" : "",
                    e.handleOpen ? ", handle open" : "", (unsigned long long)e.bytesToNet,
                    (unsigned long long)e.bytesFromNet);
        std::printf("    discarded: %llu bytes out, %llu in, %llu datagrams from strangers\n",
                    (unsigned long long)e.droppedToNet, (unsigned long long)e.droppedFromNet,
                    (unsigned long long)e.strangerDatagrams);
    }
    return 0;
}

int Ctl::Usage() {
    auto reply = Call(ComUsageRequest{});
    if (!reply) return 1;
    for (size_t n = 1; n <= reply->data.size(); ++n) {
        if (reply->data[n - 1]) std::printf("COM%zu\n", n);
    }
    return 0;
}

// Applies configure's arguments to `c`; the first one it cannot take, or empty.
std::string ApplyConfigArgs(const std::vector<std::string>& args, RemoteInfoRequest& c) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::string value = i + 1 < args.size() ? args[i + 1] : "";
        if (a == "tcp" || a == "udp") {
            c.protocol = a == "udp" ? kProtocolUdp : kProtocolTcp;
            continue;
        }
        if (a == "client" || a == "server") {
            c.mode = a == "client";
            continue;
        }
        ++i;
        size_t colon = value.rfind(':');
        in_addr ip{};
        if (a == "--remote" && colon != std::string::npos &&
            inet_pton(AF_INET, value.substr(0, colon).c_str(), &ip) == 1) {
            c.remoteIp = ntohl(ip.s_addr);
            c.remotePort = uint16_t(std::atoi(value.c_str() + colon + 1));
        } else if (a == "--listen" && !value.empty()) {
            c.remotePort = uint16_t(std::atoi(value.c_str()));
            c.mode = 0;
        } else if (a == "--packet" && !value.empty()) {
            c.maxPacketSize = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
        } else if ((a == "--at-start" || a == "--vcom") && (value == "on" || value == "off")) {
            (a == "--vcom" ? c.enableVcom : c.connectAtStart) = value == "on";
        } else {
            return a;
        }
    }
    return {};
}

int Ctl::Configure(const std::string& name, const std::vector<std::string>& args) {
    // A wrong command line is told before the service is asked for anything.
    RemoteInfoRequest scratch{};
    if (const std::string bad = ApplyConfigArgs(args, scratch); !bad.empty())
        return UsageError("bad option " + bad);
    auto entry = Open(name);
    if (!entry) return 1;
    const RemoteInfoReply& now = entry->info;
    RemoteInfoRequest c{now.remoteIp, now.remotePort, now.protocol,      now.connectAtStart,
                        now.mode,     now.enableVcom, now.maxPacketSize, entry->hostIp};
    ApplyConfigArgs(args, c);
    auto request = c.Encode();
    return Ioctl(kIoctlSetRemoteInfo, {request.begin(), request.end()}) ? 0 : 1;
}

int Run(Ctl& ctl, const std::vector<std::string>& a) {
    const std::string& cmd = a[0];
    size_t n = a.size();
    if (cmd == "list" && n == 1) return ctl.List();
    if (cmd == "usage" && n == 1) return ctl.Usage();
    if (cmd == "add") {
        InstallRequest r{0, kAnyInstance, kVirtualHardwareId};
        for (size_t i = 1; i < n; ++i) {
            if (a[i] == "--instance" && i + 1 < n) {
                r.instance = uint32_t(std::atoi(a[++i].c_str()));
            } else if (a[i] == "--hwid" && i + 1 < n) {
                r.hardwareId = a[++i];
            } else if (ComNumber(a[i])) {
                r.comNumber = ComNumber(a[i]);
            } else {
                return UsageError("bad argument \"" + a[i] + "\" for add");
            }
        }
        if (r.comNumber == 0) {
            auto usage = ctl.Call(ComUsageRequest{});
            if (!usage) return 1;
            while (r.comNumber < usage->data.size() && usage->data[r.comNumber]) ++r.comNumber;
            ++r.comNumber;
        }
        auto reply = ctl.Call(r);
        if (reply) std::printf("COM%u %s\n", r.comNumber, reply->text.c_str());
        return reply ? 0 : 1;
    }
    if (cmd == "remove" && n == 2) {
        std::string pattern = a[1];
        if (ComNumber(pattern)) {
            auto entry = ctl.Open(pattern);
            if (!entry) return 1;
            pattern = "@" + entry->instanceId;
        }
        return ctl.Call(RemoveRequest{pattern}) ? 0 : 1;
    }
    if (cmd == "configure" && n >= 2) return ctl.Configure(a[1], {a.begin() + 2, a.end()});
    if ((cmd == "connect" || cmd == "disconnect") && n == 2) {
        if (!ctl.Open(a[1])) return 1;
        return !ctl.Ioctl(cmd == "connect" ? kIoctlConnection : kIoctlDisconnection);
    }
    if (cmd == "listen" && (n == 2 || n == 3)) {
        if (n == 3 && ctl.Configure(a[1], {"--listen", a[2]}) != 0) return 1;
        if (n == 2 && !ctl.Open(a[1])) return 1;
        return !ctl.Ioctl(kIoctlServer);
    }
    if (cmd == "renumber" && n == 3 && ComNumber(a[2])) {
        auto entry = ctl.Open(a[1]);
        if (!entry) return 1;
        return ctl.Call(RenumberRequest{"@" + entry->instanceId, ComNumber(a[2])}) ? 0 : 1;
    }
    if (cmd == "map" && n == 3 && ComNumber(a[2])) {
        return ctl.Call(MapRequest{a[1], ComNumber(a[2])}) ? 0 : 1;
    }
    if (cmd == "unmap" && n == 2) return ctl.Call(MapRequest{a[1], 0}) ? 0 : 1;
    // The usage lists each command after two spaces.
    return UsageError(std::strstr(kUsage, ("  " + cmd + " ").c_str())
                          ? "wrong arguments for " + cmd
                          : "unknown command \"" + cmd + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    std::string socket = DefaultSocketPath();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "--version") {
        std::printf("veltro-vspctl %s\n", VELTRO_VERSION);
        return 0;
    }
    if (args.size() >= 2 && args[0] == "--socket") {
        socket = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return UsageError("no command");
    Ctl ctl(socket);
    return Run(ctl, args);
}
