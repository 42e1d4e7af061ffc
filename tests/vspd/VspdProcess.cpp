#include "tests/vspd/VspdProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "vspd/ControlClient.h"
#include "vspd/WinErrors.h"

namespace {

constexpr int kStartLimitMs = 5000;
constexpr int kStartProbeMs = 10;
constexpr uint32_t kLoopback = 0x7F000001;

vspd::Reply Broken(vspd::Op op) {
    vspd::Reply reply;
    reply.op = op;
    reply.status = winerr::kGenFailure;
    return reply;
}

}  // namespace

VspdProcess::VspdProcess(VspdOptions options) : options_(std::move(options)) {
    char pattern[] = "/tmp/vspd-test-XXXXXX";
    dir_ = mkdtemp(pattern);
}

VspdProcess::~VspdProcess() {
    Stop();
    if (::testing::Test::HasFailure()) std::fprintf(stderr, "%s", LogText().c_str());
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string VspdProcess::ComLink(unsigned number) const {
    return ComDir() + "/COM" + std::to_string(number);
}

std::string VspdProcess::LogText() const {
    std::ifstream file(LogPath());
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool VspdProcess::Start() {
    std::vector<std::string> args = {VELTRO_VSPD_BINARY,
                                     "--socket",
                                     Socket(),
                                     "--com-dir",
                                     ComDir(),
                                     "--state-dir",
                                     StateDir(),
                                     "--connect-timeout-ms",
                                     std::to_string(options_.connectTimeoutMs),
                                     "--retry-ms",
                                     std::to_string(options_.retryMs)};
    if (options_.sysClassTty.empty()) {
        args.push_back("--no-auto-map");
    } else {
        args.insert(args.end(), {"--sys-class-tty", options_.sysClassTty});
    }
    args.insert(args.end(), options_.extraArgs.begin(), options_.extraArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int log = open(LogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    pid_ = fork();
    if (pid_ == 0) {
        if (log >= 0) dup2(log, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (log >= 0) close(log);
    // The process's start is an I/O wait: probe the socket until it answers.
    for (int waited = 0; waited < kStartLimitMs; waited += kStartProbeMs) {
        vspd::ControlClient client(Socket());
        if (client.Connect()) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kStartProbeMs));
    }
    return false;
}

void VspdProcess::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void VspdProcess::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

vspd::Reply VspdProcess::Call(const vspd::Request& request) const {
    vspd::ControlClient client(Socket());
    auto reply = client.Call(request);
    EXPECT_TRUE(reply.has_value()) << "no reply from the service";
    return reply ? *reply : Broken(vspd::OpOf(request));
}

std::string VspdProcess::Install(unsigned comNumber, uint32_t instance,
                                 const std::string& hardwareId) const {
    vspd::Reply reply = Call(vspd::InstallRequest{comNumber, instance, hardwareId});
    EXPECT_EQ(reply.status, 0u) << "install COM" << comNumber;
    return reply.text;
}

std::vector<vspd::PortEntry> VspdProcess::List() const {
    return Call(vspd::ListRequest{}).ports;
}

vspd::PortEntry VspdProcess::EntryOf(unsigned comNumber) const {
    for (const vspd::PortEntry& e : List()) {
        if (e.portName == "COM" + std::to_string(comNumber)) return e;
    }
    ADD_FAILURE() << "no COM" << comNumber;
    return {};
}

std::string VspdProcess::PathOf(unsigned comNumber) const {
    return EntryOf(comNumber).devicePath;
}

struct PortSession::Impl {
    explicit Impl(const std::string& socket) : client(socket) {}
    vspd::ControlClient client;
};

PortSession::PortSession(const VspdProcess& service, const std::string& devicePath, bool shared)
    : impl_(std::make_unique<Impl>(service.Socket())) {
    auto reply = impl_->client.Call(vspd::OpenRequest{shared ? vspd::kOpenShared : 0, devicePath});
    openStatus_ = reply ? reply->status : winerr::kGenFailure;
}

PortSession::~PortSession() = default;

vspd::Reply PortSession::Ioctl(uint32_t code, const std::vector<uint8_t>& input,
                               uint32_t outputSize) {
    auto reply = impl_->client.Call(vspd::IoctlRequest{code, outputSize, input});
    EXPECT_TRUE(reply.has_value()) << "no reply to 0x" << std::hex << code;
    return reply ? *reply : Broken(vspd::Op::Ioctl);
}

uint32_t PortSession::Configure(const vspd::RemoteInfoRequest& config) {
    auto input = config.Encode();
    return Ioctl(vspd::kIoctlSetRemoteInfo, {input.begin(), input.end()}).status;
}

vspd::RemoteInfoReply PortSession::Info() {
    vspd::Reply reply = Ioctl(vspd::kIoctlGetRemoteInfo, {}, vspd::kRemoteInfoReplySize);
    auto info = vspd::RemoteInfoReply::Decode(reply.data);
    EXPECT_TRUE(info.has_value());
    return info.value_or(vspd::RemoteInfoReply{});
}

uint32_t PortSession::Connect() {
    return Ioctl(vspd::kIoctlConnection).status;
}
uint32_t PortSession::Listen() {
    return Ioctl(vspd::kIoctlServer).status;
}
uint32_t PortSession::Disconnect() {
    return Ioctl(vspd::kIoctlDisconnection).status;
}

vspd::RemoteInfoRequest ClientConfig(uint16_t port, uint8_t protocol, uint32_t maxPacketSize) {
    vspd::RemoteInfoRequest c;
    c.remoteIp = kLoopback;
    c.remotePort = port;
    c.protocol = protocol;
    c.mode = 1;
    c.maxPacketSize = maxPacketSize;
    return c;
}

vspd::RemoteInfoRequest ServerConfig(uint16_t port, uint8_t protocol, uint32_t maxPacketSize) {
    vspd::RemoteInfoRequest c = ClientConfig(port, protocol, maxPacketSize);
    c.remoteIp = 0;
    c.mode = 0;
    return c;
}
