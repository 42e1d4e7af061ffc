#include <gtest/gtest.h>

#include <vector>

#include "protocol/Message.h"

namespace {

std::vector<uint8_t> Bytes(const QByteArray& a) {
    return {a.begin(), a.end()};
}
const std::vector<uint8_t> kMagic{'Q', 'M', 'D', 'R', 'R', 'D', 'M', 'Q'};

std::vector<uint8_t> WithMagic(std::vector<uint8_t> tail) {
    std::vector<uint8_t> out = kMagic;
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

}  // namespace

TEST(Message, HeaderOnlyRequestsAreNineBytes) {
    EXPECT_EQ(Bytes(msg::BuildSearchRequest()), WithMagic({0x0E}));
    EXPECT_EQ(Bytes(msg::BuildStatusProbe()), WithMagic({0x00}));
    EXPECT_EQ(Bytes(msg::BuildStatusQuery()), WithMagic({0x10}));
}

TEST(Message, RestoreAndRebootCarryNameAndMacFromTheStoredReply) {
    std::vector<uint8_t> reply(2000, 0xCC);
    for (int i = 0; i < 16; ++i) reply[10 + i] = 'a' + i;  // 16 characters, no terminator
    for (int i = 0; i < 6; ++i) reply[26 + i] = 0xA0 + i;

    for (bool restore : {true, false}) {
        const auto c =
            Bytes(restore ? msg::BuildRestoreCommand(reply) : msg::BuildRebootCommand(reply));
        ASSERT_EQ(c.size(), 756u);
        EXPECT_TRUE(std::equal(kMagic.begin(), kMagic.end(), c.begin()));
        EXPECT_EQ(c[8], restore ? 0x08 : 0x0B);
        EXPECT_EQ(c[9], restore ? 1 : 0);
        EXPECT_TRUE(std::equal(c.begin() + 10, c.begin() + 32, reply.begin() + 10));
        EXPECT_TRUE(std::all_of(c.begin() + 32, c.end(), [](uint8_t b) { return b == 0; }));
    }
    // A stored reply too short to hold the identity gives zeros, never a read past it.
    const auto shortOne =
        Bytes(msg::BuildRebootCommand(std::span<const uint8_t>(reply.data(), 12)));
    EXPECT_EQ(shortOne[10], 'a');
    EXPECT_EQ(shortOne[12], 0);
}

TEST(Message, HostAnnouncementLayout) {
    const auto a = Bytes(msg::BuildHostAnnouncement(0x0A010203, {0x0F, 0xA1}));
    EXPECT_EQ(a, WithMagic({0x12, 0x00, 10, 1, 2, 3, 0x0F, 0xA1}));
}
