#include <gtest/gtest.h>

#include <string>

#include "devmgr/DmAckWork.h"

// The acknowledgement counting of restore and reboot, tick by tick. A script is one letter
// per event: 't' a tick, 'a' an acknowledgement from the device last sent to, 'x' one from
// another address. The result lists what each tick did: the row sent to, '.' for a wait, 'S'
// success, 'F' failure.
namespace {

constexpr uint32_t kBase = 0x7F000100;

std::string RunScript(std::vector<int> rows, const std::string& script) {
    DmAckWork work;
    work.Start(std::move(rows));
    int retry = 0;
    uint32_t last = 0;
    std::string out;
    for (char event : script) {
        if (event == 'a') work.Acknowledge(last);
        if (event == 'x') work.Acknowledge(last + 99);
        if (event != 't') continue;
        switch (work.Tick(retry)) {
            case DmAckWork::Step::kSend:
                last = kBase + static_cast<uint32_t>(work.Current());
                work.Sent(last);
                out += std::to_string(work.Current());
                break;
            case DmAckWork::Step::kWait:
                out += '.';
                break;
            case DmAckWork::Step::kSucceeded:
                return out + 'S';
            case DmAckWork::Step::kFailed:
                return out + 'F';
        }
    }
    return out;
}

}  // namespace

TEST(DmAckWork, SendsEachDeviceUntilItAnswersTwoTicksApart) {
    struct Case {
        const char* what;
        std::vector<int> rows;
        std::string script;
        std::string expected;
    };
    const Case cases[] = {
        {"all answer at once",
         {0, 1},
         "tat"
         "tat"
         "t",
         "0.1S"},
        {"second never answers, third never sent", {0, 2, 5}, "tattttttttt", "0.2.2.2.F"},
        {"one answers its second send",
         {3},
         "tttat"
         "t",
         "3.3S"},
        {"first silent", {0, 1}, "ttttttttt", "0.0.0.F"},
        // A device that answers twice: the duplicate is not counted, the next device is sent.
        {"duplicate acknowledgement",
         {0, 1, 2},
         "taat"
         "tat"
         "tat"
         "t",
         "0.1.2S"},
        // Another address's acknowledgement does not count for the device being worked on.
        {"acknowledgement from elsewhere", {0, 1}, "txttttttt", "0.0.0.F"},
        // The third send answered only after the retries ran out: device 1 was never sent.
        {"late answer after the last send",
         {0, 1},
         "tttttt"
         "tat",
         "0.0.0.F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RunScript(c.rows, c.script), c.expected);
    }
}

TEST(DmAckWork, AcknowledgementsWithoutACommandOutAreIgnored) {
    DmAckWork work;
    EXPECT_FALSE(work.Acknowledge(kBase));
    work.Start({4});
    EXPECT_FALSE(work.Acknowledge(kBase + 4));  // nothing sent yet
    int retry = 0;
    ASSERT_EQ(work.Tick(retry), DmAckWork::Step::kSend);
    work.Sent(kBase + 4);
    EXPECT_TRUE(work.Acknowledge(kBase + 4));
    EXPECT_FALSE(work.Acknowledge(kBase + 4));
    EXPECT_EQ(work.Waiting(), 0);
}
