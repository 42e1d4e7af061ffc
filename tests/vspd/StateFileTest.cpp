#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "vspd/StateFile.h"

using namespace vspd;

namespace {

ServiceState Sample() {
    ServiceState s;
    PortRecord p;
    p.instance = 3;
    p.comNumber = 5;
    p.hardwareId = "QMDR\\Vser";
    p.config = {0xC0A80003, 4001, 1, 1, 256, 1, 1400, 0x7F000001};
    p.localPort = 50001;
    s.ports.push_back(p);
    p.instance = 100;
    p.comNumber = 256;
    p.hardwareId = "odd id=with%space";
    p.config = {};
    p.localPort = 0;
    s.ports.push_back(p);
    s.maps.push_back({3, "/dev/ttyUSB0", true});
    s.maps.push_back({7, "/dev/serial/by-id/usb a", false});
    return s;
}

TEST(StateFile, GoldenTextAndRoundTrip) {
    ServiceState s = Sample();
    std::string text = EncodeState(s);
    EXPECT_EQ(text,
              "veltro-vspd-state 1\n"
              "port instance=3 com=5 hwid=QMDR\\Vser ip=3232235523 port=4001 proto=1 atstart=1 "
              "mode=256 vcom=1 packet=1400 host=2130706433 lport=50001\n"
              "port instance=100 com=256 hwid=odd%20id%3Dwith%25space ip=0 port=0 proto=0 "
              "atstart=0 mode=0 vcom=0 packet=0 host=0 lport=0\n"
              "map com=3 device=/dev/ttyUSB0 auto=1\n"
              "map com=7 device=/dev/serial/by-id/usb%20a auto=0\n");
    EXPECT_EQ(DecodeState(text), s);
}

TEST(StateFile, DamagedLinesAreSkippedAndTheRestLoads) {
    std::string text = EncodeState(Sample());
    struct Case {
        const char* line;
    } bad[] = {
        {"port instance=4 com=6 ip=1"},               // no hardware ID
        {"port instance=4 com=0 hwid=X"},             // COM0
        {"port instance=4 com=257 hwid=X"},           // beyond COM256
        {"port instance=10000 com=6 hwid=X"},         // beyond ROOT\PORTS\9999
        {"port instance=4 com=6 hwid=X port=65536"},  // port too large
        {"port instance=4 com=6 hwid=X ip=-1"},       // not a number
        {"port instance=4 com=6 hwid=%ZZ"},           // bad escape
        {"port instance=4 com=6 hwid=X%"},            // cut escape
        {"port instance=3 com=6 hwid=X"},             // instance taken
        {"port instance=4 com=5 hwid=X"},             // COM5 taken
        {"map com=9 device=relative"},                // not a path
        {"map com=5 device=/dev/ttyS0"},              // COM5 taken
        {"map com=9 device=/dev/ttyUSB0"},            // device mapped twice
        {"garbage"},
    };
    size_t lineNumber = size_t(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const Case& c : bad) {
        std::vector<std::string> dropped;
        EXPECT_EQ(DecodeState(text + c.line + "\n", &dropped), Sample()) << c.line;
        ASSERT_EQ(dropped.size(), 1u) << c.line;
        EXPECT_EQ(dropped[0].rfind("line " + std::to_string(lineNumber) + ": ", 0), 0u)
            << dropped[0];
    }
    std::vector<std::string> none;
    DecodeState(text + "\n", &none);
    EXPECT_TRUE(none.empty()) << "the header and an empty line are no damage";
    // A torn last line, as a crash while writing without rename would leave it.
    EXPECT_EQ(DecodeState(text.substr(0, text.size() - 10)).maps.size(), 1u);
    EXPECT_EQ(DecodeState("port instance=4 com=6 hwid=X future=1\n").ports.size(), 1u);
}

TEST(StateFile, AtomicWriteReplacesTheFileAndLeavesNoTemporary) {
    auto dir = std::filesystem::temp_directory_path() / ("vspd-state-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir, "vspd.state", "old\n", &error)) << error;
    ASSERT_TRUE(WriteFileAtomically(dir, "vspd.state", "new\n", &error)) << error;
    std::string content;
    ASSERT_TRUE(ReadWholeFile(dir / "vspd.state", &content));
    EXPECT_EQ(content, "new\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "vspd.state.tmp"));
    struct stat st {};
    stat((dir / "vspd.state").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(WriteFileAtomically(dir / "missing", "vspd.state", "x", &error));
    std::filesystem::remove_all(dir);
}

}  // namespace
