// The supervision's wire values and its counting, without a network.
#include <gtest/gtest.h>

#include <QByteArray>

#include "protocol/Message.h"
#include "vsp/VspSupervision.h"

namespace {

std::span<const uint8_t> Span(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
}

QByteArray AnswerGolden() {
    QByteArray golden = QByteArray("QMDRRDMQ\x01", 9) + QByteArray(61, '\0');
    golden[34] = '\x7F';
    golden[35] = '\x00';
    golden[36] = '\x10';
    golden[37] = '\x2A';
    golden[69] = '\x05';
    return golden;
}

}  // namespace

TEST(VspProbe, StatusProbeIsTheMagicAndCommandZero) {
    EXPECT_EQ(msg::BuildStatusProbe(), QByteArray("QMDRRDMQ\x00", 9));
}

TEST(VspProbe, AnswerEncodesAndDecodesAtItsOffsets) {
    const VspProbeAnswer answer{0x7F00102A, 5};
    EXPECT_EQ(answer.Encode(), AnswerGolden());
    EXPECT_EQ(VspProbeAnswer::Decode(Span(AnswerGolden())), answer);
    // Whatever a device puts behind the state byte is left alone.
    EXPECT_EQ(VspProbeAnswer::Decode(Span(AnswerGolden() + QByteArray(700, 'x'))), answer);
}

TEST(VspProbe, AnswerDecodeRejectsCutShortOtherCommandsAndNoMagic) {
    const QByteArray golden = AnswerGolden();
    for (qsizetype size = 0; size < golden.size(); ++size)
        EXPECT_FALSE(VspProbeAnswer::Decode(Span(golden.left(size)))) << size;
    QByteArray other = golden;
    other[msg::kCommandOffset] = char(msg::kSetupReply);
    EXPECT_FALSE(VspProbeAnswer::Decode(Span(other)));
    QByteArray noMagic = golden;
    noMagic[0] = 'X';
    EXPECT_FALSE(VspProbeAnswer::Decode(Span(noMagic)));
}

TEST(VspPoll, SilentWordsDisconnectAtTheSixtyFirstEvaluation) {
    // Connect leaves 1 (client); after the answered evaluation the word is 3. The initial 2
    // counts the same way.
    for (uint32_t start : {3u, 2u}) {
        uint32_t word = start;
        for (int evaluation = 1; evaluation <= 60; ++evaluation) {
            ASSERT_EQ(vsppoll::Evaluate(word), vsppoll::Verdict::kDisconnecting) << evaluation;
            EXPECT_EQ(word, start + uint32_t(evaluation) * 256);
        }
        EXPECT_EQ(vsppoll::Evaluate(word), vsppoll::Verdict::kDisconnect);
        // A failed disconnection is tried again at every following evaluation.
        EXPECT_EQ(vsppoll::Evaluate(word), vsppoll::Verdict::kDisconnect);
        EXPECT_EQ(word, start + 60 * 256);
    }
}

TEST(VspPoll, AnswersDecideAndRearmTheWord) {
    struct Case {
        uint32_t word;
        vsppoll::Verdict verdict;
        uint32_t after;
    };
    const Case cases[] = {
        {1, vsppoll::Verdict::kConnected, 3},
        {0, vsppoll::Verdict::kClose, 2},
        // The last word at or below the limit still counts; the next one disconnects.
        {2 + 59 * 256, vsppoll::Verdict::kDisconnecting, 2 + 60 * 256},
        {2 + 60 * 256, vsppoll::Verdict::kDisconnect, 2 + 60 * 256},
    };
    for (const Case& c : cases) {
        uint32_t word = c.word;
        EXPECT_EQ(vsppoll::Evaluate(word), c.verdict) << c.word;
        EXPECT_EQ(word, c.after) << c.word;
    }
}
