#include <gtest/gtest.h>

#include "platform/ManualClock.h"
#include "tests/devsim/HostSocket.h"
#include "tools/devsim/SimRecords.h"

using namespace devsim;

namespace {

constexpr uint32_t kBase = 0x7F004E0A;  // 127.0.78.10

Faults Make(bool silent, int delayMs, bool twice, bool noMagic, std::vector<uint8_t> only = {}) {
    Faults f;
    f.silent = silent;
    f.delayMs = delayMs;
    f.twice = twice;
    f.noMagic = noMagic;
    f.commands = std::move(only);
    return f;
}

struct FaultCase {
    const char* name;
    Faults faults;
    QByteArray request;
    size_t immediately;  // answers that arrive at once
    size_t afterDelay;   // answers that arrive once the delay has passed
    bool magic;          // whether the answers carry the magic
};

class FaultsTest : public ::testing::TestWithParam<FaultCase> {
  protected:
    ManualClock clock;
    DeviceSimulator sim{clock, TestOptions(kBase)};
    HostSocket host;
};

}  // namespace

TEST_P(FaultsTest, AnswersAsTheFaultSays) {
    const FaultCase& c = GetParam();
    DeviceProfile profile = DefaultProfile(0);
    profile.faults = c.faults;
    SimDevice* d = sim.AddDevice(profile);
    ASSERT_NE(d, nullptr);
    const QByteArray normal = c.request == msg::BuildStatusQuery()
                                  ? BuildStatusReply(profile.status)
                                  : ReplyImage(d->StoredRecord(), msg::kSearchReply);

    host.Send(c.request, *d, Port::Management);
    ASSERT_TRUE(PumpUntilCount(d->Received(), 1));
    host.Settle();
    EXPECT_EQ(host.Got().size(), c.immediately);
    if (c.faults.delayMs > 0) {
        clock.Advance(c.faults.delayMs - 1);
        host.Settle();
        EXPECT_EQ(host.Got().size(), c.immediately);
        clock.Advance(1);
        host.WaitFor(c.immediately + c.afterDelay);
        host.Settle();
    }
    ASSERT_EQ(host.Got().size(), c.immediately + c.afterDelay);
    for (const QNetworkDatagram& got : host.Got()) {
        EXPECT_EQ(got.data().mid(8), normal.mid(8));
        EXPECT_EQ(got.data().left(8) == normal.left(8), c.magic);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultsTest,
    ::testing::Values(
        FaultCase{"none", {}, msg::BuildSearchRequest(), 1, 0, true},
        FaultCase{"silent", Make(true, 0, false, false), msg::BuildSearchRequest(), 0, 0, true},
        FaultCase{"late", Make(false, 700, false, false), msg::BuildSearchRequest(), 0, 1, true},
        FaultCase{"twice", Make(false, 0, true, false), msg::BuildStatusQuery(), 2, 0, true},
        FaultCase{"no_magic", Make(false, 0, false, true), msg::BuildStatusQuery(), 1, 0, false},
        FaultCase{"late_twice_no_magic", Make(false, 300, true, true), msg::BuildSearchRequest(), 0,
                  2, false},
        FaultCase{"other_command_only", Make(true, 0, false, false, {msg::kRestoreCommand}),
                  msg::BuildSearchRequest(), 1, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faults, ASilentDeviceNeverSawTheCommandSoNothingChanges) {
    ManualClock clock;
    DeviceSimulator sim(clock, TestOptions(kBase + 20));
    DeviceProfile profile = DefaultProfile(0);
    profile.faults = Make(true, 0, false, false, {msg::kRestoreCommand, msg::kSetupCommand});
    SimDevice* d = sim.AddDevice(profile);
    ASSERT_NE(d, nullptr);
    DeviceConfigRecord edited = d->StoredRecord();
    edited.Set(devrec::deviceName, QStringLiteral("Changed"));
    HostSocket host;
    host.Send(BuildSetupCommand(edited, d->MacAddress()).ToByteArray(), *d, Port::Management);
    host.Send(msg::BuildRestoreCommand(d->StoredRecord().bytes()), *d, Port::Management);
    ASSERT_TRUE(PumpUntilCount(d->Received(), 2));
    host.Settle();
    EXPECT_TRUE(host.Got().empty());
    EXPECT_EQ(d->StoredRecord(), d->FactoryRecord());
    EXPECT_FALSE(d->IsRestarting());
    EXPECT_EQ(d->Received()[0].handling, Handling::Silenced);

    // Faults can be changed while the device runs.
    d->SetFaults({});
    host.Send(msg::BuildRebootCommand(d->StoredRecord().bytes()), *d, Port::Management);
    ASSERT_TRUE(host.WaitFor(1));
    EXPECT_EQ(host.Got()[0].data()[8], msg::kRebootAck);
}

TEST(Faults, ALateSetupReplyStillRestartsTheDeviceAtOnce) {
    ManualClock clock;
    DeviceSimulator sim(clock, TestOptions(kBase + 40));
    DeviceProfile profile = DefaultProfile(0);
    profile.restartMs = 2000;
    profile.faults.delayMs = 1500;
    SimDevice* d = sim.AddDevice(profile);
    ASSERT_NE(d, nullptr);
    HostSocket host;
    host.Send(BuildSetupCommand(d->StoredRecord(), d->MacAddress()).ToByteArray(), *d,
              Port::Management);
    ASSERT_TRUE(PumpUntilCount(d->Received(), 1));
    EXPECT_TRUE(d->IsRestarting());
    EXPECT_EQ(d->Received()[0].handling, Handling::Delayed);
    clock.Advance(1500);
    ASSERT_TRUE(host.WaitFor(1));
    EXPECT_EQ(host.Got()[0].data()[8], msg::kSetupReply);
    EXPECT_EQ(d->Sent()[0].timeMs, 1500);
    clock.Advance(500);
    EXPECT_FALSE(d->IsRestarting());
}
