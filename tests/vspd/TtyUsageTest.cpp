// Everyday ways of using a serial port on Linux, with real tools, each run on a virtual port
// of the service and on a plain pseudo-terminal: what works on the one works on the other.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"

using namespace vspd;

namespace {

constexpr int kLimitMs = 10000;
constexpr int kRapidCycles = 1000;
constexpr auto kShortSession = std::chrono::microseconds(300);
constexpr const char* kPython = "/usr/bin/python3";  // Debian's, with python3-serial

// A port as programs see it, and the device at its far end: what the device writes, the
// program reads, and the other way round.
class PortUnderTest {
  public:
    virtual ~PortUnderTest() = default;
    virtual std::string Path() const = 0;
    virtual bool Held() const = 0;
    virtual int Device() const = 0;
    // Data that arrives while nobody holds the port is discarded (a serial line), where a
    // plain pty keeps it for the next reader.
    virtual bool DiscardsWhileClosed() const = 0;
    // Every byte the device sent was delivered or counted.
    virtual void ExpectAccounted(uint64_t delivered) const { (void)delivered; }
    virtual void WaitUntilDiscarded(uint64_t bytes) const { (void)bytes; }
};

class VirtualPortUnderTest : public PortUnderTest {
  public:
    VirtualPortUnderTest() {
        EXPECT_TRUE(service_.Start());
        service_.Install(5);
        session_ = std::make_unique<PortSession>(service_, service_.PathOf(5), true);
        uint16_t port = 0;
        Fd listener = TcpListen(&port);
        EXPECT_EQ(session_->Configure(ClientConfig(port, kProtocolTcp)), 0u);
        EXPECT_EQ(session_->Connect(), 0u);
        device_ = AcceptWithin(listener.get(), kLimitMs);
        EXPECT_TRUE(device_.valid());
    }
    std::string Path() const override { return service_.ComLink(5); }
    bool Held() const override { return service_.EntryOf(5).ttyOpen != 0; }
    int Device() const override { return device_.get(); }
    bool DiscardsWhileClosed() const override { return true; }
    void ExpectAccounted(uint64_t delivered) const override {
        EXPECT_TRUE(PollUntil(
            [&] {
                PortEntry e = service_.EntryOf(5);
                return e.bytesFromNet == delivered + e.droppedFromNet;
            },
            kLimitMs))
            << service_.EntryOf(5).bytesFromNet << " received, " << delivered << " delivered, "
            << service_.EntryOf(5).droppedFromNet << " counted as dropped";
    }
    void WaitUntilDiscarded(uint64_t bytes) const override {
        EXPECT_TRUE(
            PollUntil([&] { return service_.EntryOf(5).droppedFromNet >= bytes; }, kLimitMs));
    }
    const VspdProcess& Service() const { return service_; }

  private:
    VspdProcess service_;
    std::unique_ptr<PortSession> session_;
    Fd device_;
};

// openpty, with a link to the slave as a COM link leads to the port's tty, and the raw
// settings a virtual port starts with.
class PlainPtyUnderTest : public PortUnderTest {
  public:
    PlainPtyUnderTest() : dir_(std::filesystem::temp_directory_path() / "vspd-plain-XXXXXX") {
        std::string pattern = dir_.string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        int master = -1, slave = -1;
        char name[128];
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        close(slave);
        master_.reset(master);
        std::filesystem::create_symlink(name, dir_ / "COM5");
    }
    ~PlainPtyUnderTest() override { std::filesystem::remove_all(dir_); }
    std::string Path() const override { return (dir_ / "COM5").string(); }
    bool Held() const override {
        pollfd p{master_.get(), POLLIN, 0};
        return poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
    }
    int Device() const override { return master_.get(); }
    bool DiscardsWhileClosed() const override { return false; }

  private:
    std::filesystem::path dir_;
    Fd master_;
};

// A shell command's standard output; *status gets its exit status.
std::string Run(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
    int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

// Reads from fd until the text has come (true), collecting all that came into *got.
bool ReadUntil(int fd, const std::string& text, std::string* got) {
    return PollUntil(
        [&] {
            Bytes more = ReadSome(fd, 4096, 0);
            got->append(more.begin(), more.end());
            return got->find(text) != std::string::npos;
        },
        kLimitMs);
}

bool DeviceSends(const PortUnderTest& port, const std::string& text) {
    return write(port.Device(), text.data(), text.size()) == ssize_t(text.size());
}

// The tokens of stty's report (speed, settings), without punctuation.
std::vector<std::string> SttyTokens(const std::string& report) {
    std::vector<std::string> tokens;
    std::string token;
    std::istringstream in(report);
    while (in >> token) {
        while (!token.empty() && token.back() == ';') token.pop_back();
        tokens.push_back(token);
    }
    return tokens;
}

bool Has(const std::vector<std::string>& tokens, const std::string& token) {
    return std::find(tokens.begin(), tokens.end(), token) != tokens.end();
}

Fd Open(const PortUnderTest& port, int flags) {
    return Fd(open(port.Path().c_str(), flags | O_NOCTTY | O_CLOEXEC));
}

void BackgroundReaderAndWriter(PortUnderTest& port) {
    // cat COMn > out & echo AT > COMn
    std::string out = port.Path() + ".out";
    Child cat({"/bin/sh", "-c", "exec cat \"$0\" > \"$1\"", port.Path(), out});
    ASSERT_TRUE(PollUntil([&] { return port.Held(); }, kLimitMs));
    int status = -1;
    Run("echo AT > " + Quoted(port.Path()), &status);
    EXPECT_EQ(status, 0);
    std::string atDevice;
    EXPECT_TRUE(ReadUntil(port.Device(), "AT\n", &atDevice)) << atDevice;
    ASSERT_TRUE(DeviceSends(port, "OK\r\n"));
    EXPECT_TRUE(PollUntil(
        [&] {
            std::ifstream file(out);
            std::string text((std::istreambuf_iterator<char>(file)), {});
            return text == "OK\r\n";
        },
        kLimitMs));
    EXPECT_TRUE(port.Held()) << "the reader still holds the port";
    port.ExpectAccounted(4);
    cat.Stop();
    std::filesystem::remove(out);
}

void TwoDescriptorsInOneProgram(PortUnderTest& port) {
    // exec 3<COMn 4>COMn
    Fd in = Open(port, O_RDONLY | O_NONBLOCK);
    Fd out = Open(port, O_WRONLY);
    ASSERT_TRUE(in.valid() && out.valid());
    ASSERT_EQ(write(out.get(), "ping", 4), 4);
    std::string atDevice, atProgram;
    EXPECT_TRUE(ReadUntil(port.Device(), "ping", &atDevice));
    ASSERT_TRUE(DeviceSends(port, "pong"));
    EXPECT_TRUE(ReadUntil(in.get(), "pong", &atProgram));
    // Closing one of them ends nothing: the other reads on.
    out.reset();
    ASSERT_TRUE(DeviceSends(port, "more"));
    EXPECT_TRUE(ReadUntil(in.get(), "more", &atProgram));
    EXPECT_EQ(atProgram, "pongmore");
    port.ExpectAccounted(8);
}

void ForkAfterOpen(PortUnderTest& port) {
    Fd tty = Open(port, O_RDWR | O_NONBLOCK);
    ASSERT_TRUE(tty.valid());
    pid_t child = fork();
    if (child == 0) {
        _exit(write(tty.get(), "child ", 6) == 6 ? 0 : 1);  // and its copy closes
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(write(tty.get(), "parent", 6), 6);
    std::string atDevice, atProgram;
    EXPECT_TRUE(ReadUntil(port.Device(), "child parent", &atDevice)) << atDevice;
    ASSERT_TRUE(DeviceSends(port, "reply"));
    EXPECT_TRUE(ReadUntil(tty.get(), "reply", &atProgram));
    EXPECT_EQ(atProgram, "reply");
    port.ExpectAccounted(5);
}

void SttyWhileHeld(PortUnderTest& port) {
    Fd tty = Open(port, O_RDWR | O_NONBLOCK);
    ASSERT_TRUE(tty.valid());
    termios tio{};
    ASSERT_EQ(tcgetattr(tty.get(), &tio), 0);
    cfsetspeed(&tio, B115200);
    ASSERT_EQ(tcsetattr(tty.get(), TCSANOW, &tio), 0);
    int status = -1;
    auto report = SttyTokens(Run("stty -F " + Quoted(port.Path()), &status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(Has(report, "115200")) << "stty reads the port in use";
    Run("stty -F " + Quoted(port.Path()) + " 9600", &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(tcgetattr(tty.get(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600)) << "stty changes the port in use";
    ASSERT_TRUE(DeviceSends(port, "still"));
    std::string atProgram;
    EXPECT_TRUE(ReadUntil(tty.get(), "still", &atProgram));
    port.ExpectAccounted(5);
}

void SettingsKeptAcrossPrograms(PortUnderTest& port) {
    int status = -1;
    Run("stty -F " + Quoted(port.Path()) + " 9600 icanon echo icrnl", &status);
    ASSERT_EQ(status, 0);
    auto report = SttyTokens(Run("stty -a -F " + Quoted(port.Path()), &status));
    EXPECT_EQ(status, 0);
    for (const char* setting : {"9600", "icanon", "echo", "icrnl"}) {
        EXPECT_TRUE(Has(report, setting)) << setting;
        EXPECT_FALSE(Has(report, std::string("-") + setting)) << setting;
    }
}

void LinkUnchangedAcrossSessions(PortUnderTest& port) {
    auto tty = [&] { return std::filesystem::canonical(port.Path()); };
    auto before = tty();
    for (int session = 0; session < 3; ++session) {
        Fd held = Open(port, O_RDWR | O_NONBLOCK);
        ASSERT_TRUE(held.valid());
        ASSERT_TRUE(PollUntil([&] { return port.Held(); }, kLimitMs));
        EXPECT_EQ(tty(), before);
        held.reset();
        ASSERT_TRUE(PollUntil([&] { return !port.Held(); }, kLimitMs));
        EXPECT_EQ(tty(), before);
    }
}

void PyserialExclusiveRefusesASecondOpener(PortUnderTest& port) {
    int status = -1;
    Run(std::string(kPython) + " -c 'import serial' 2>/dev/null", &status);
    // scripts/setup test installs it: without it the case would test nothing.
    ASSERT_EQ(status, 0) << "python3-serial is not installed (run scripts/setup test)";
    const char* script =
        "import serial, sys\n"
        "first = serial.Serial(sys.argv[1], exclusive=True)\n"
        "try:\n"
        "    serial.Serial(sys.argv[1], exclusive=True)\n"
        "    sys.exit(1)\n"
        "except serial.SerialException:\n"
        "    pass\n"
        "first.close()\n"
        "serial.Serial(sys.argv[1], exclusive=True).close()\n";
    std::string out =
        Run(std::string(kPython) + " -c " + Quoted(script) + " " + Quoted(port.Path()) + " 2>&1",
            &status);
    EXPECT_EQ(status, 0) << out;
}

void RapidOpenWriteCloseCycles(PortUnderTest& port) {
    std::string expected;
    std::string atDevice;
    for (int i = 0; i < kRapidCycles; ++i) {
        std::string line = std::to_string(i) + "\n";
        expected += line;
        Fd tty = Open(port, O_WRONLY);
        ASSERT_TRUE(tty.valid()) << i;
        ASSERT_EQ(write(tty.get(), line.data(), line.size()), ssize_t(line.size())) << i;
        // The device reads as it goes, as the pty's buffer is smaller than all of it.
        Bytes more = ReadSome(port.Device(), 65536, 0);
        atDevice.append(more.begin(), more.end());
    }
    EXPECT_TRUE(ReadUntil(port.Device(), std::to_string(kRapidCycles - 1) + "\n", &atDevice));
    EXPECT_EQ(atDevice, expected);
}

void AShortSessionThenAnOpen(PortUnderTest& port) {
    uint64_t spokenWhileClosed = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        // The device speaks while nobody holds the port.
        std::string before = "before" + std::to_string(round);
        ASSERT_TRUE(DeviceSends(port, before));
        spokenWhileClosed += before.size();
        port.WaitUntilDiscarded(spokenWhileClosed);
        Fd brief = Open(port, O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(kShortSession);
        brief.reset();
        Fd tty = Open(port, O_RDWR | O_NONBLOCK);
        ASSERT_TRUE(tty.valid());
        // What the device sends after the open reaches the program.
        std::string fresh = "fresh" + std::to_string(round);
        ASSERT_TRUE(DeviceSends(port, fresh));
        std::string got;
        EXPECT_TRUE(ReadUntil(tty.get(), fresh, &got)) << got;
        EXPECT_TRUE(got.size() >= fresh.size() &&
                    got.compare(got.size() - fresh.size(), fresh.size(), fresh) == 0)
            << got;
        if (port.DiscardsWhileClosed()) {
            EXPECT_EQ(got, fresh);
        }
        tty.reset();
        ASSERT_TRUE(PollUntil([&] { return !port.Held(); }, kLimitMs));
    }
}

struct Pattern {
    const char* name;
    std::function<void(PortUnderTest&)> run;
};

const Pattern kPatterns[] = {
    {"BackgroundReaderAndWriter", BackgroundReaderAndWriter},
    {"TwoDescriptorsInOneProgram", TwoDescriptorsInOneProgram},
    {"ForkAfterOpen", ForkAfterOpen},
    {"SttyWhileHeld", SttyWhileHeld},
    {"SettingsKeptAcrossPrograms", SettingsKeptAcrossPrograms},
    {"LinkUnchangedAcrossSessions", LinkUnchangedAcrossSessions},
    {"PyserialExclusiveRefusesASecondOpener", PyserialExclusiveRefusesASecondOpener},
    {"RapidOpenWriteCloseCycles", RapidOpenWriteCloseCycles},
    {"AShortSessionThenAnOpen", AShortSessionThenAnOpen},
};

class TtyUsage : public ::testing::TestWithParam<std::tuple<bool, size_t>> {};

TEST_P(TtyUsage, WorksAsOnAPlainPty) {
    auto [virtualPort, pattern] = GetParam();
    std::unique_ptr<PortUnderTest> port;
    if (virtualPort) {
        port = std::make_unique<VirtualPortUnderTest>();
    } else {
        port = std::make_unique<PlainPtyUnderTest>();
    }
    if (HasFailure()) return;
    kPatterns[pattern].run(*port);
}

INSTANTIATE_TEST_SUITE_P(Patterns, TtyUsage,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Range(size_t(0), std::size(kPatterns))),
                         [](const ::testing::TestParamInfo<TtyUsage::ParamType>& info) {
                             return std::string(kPatterns[std::get<1>(info.param)].name) +
                                    (std::get<0>(info.param) ? "_VirtualPort" : "_PlainPty");
                         });

}  // namespace
