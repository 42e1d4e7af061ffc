#include <gtest/gtest.h>

#include <QProcess>
#include <vector>

#include "terminal/ComPorts.h"
#include "terminal/MyUart.h"
#include "tests/support/EventPump.h"
#include "tests/terminal/SocatPty.h"

namespace {

struct Chunk {
    QByteArray bytes;
    bool zeroAfter;
};

class MyUartTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.Ready()); }

    bool Open(CMyUart& uart, const CMyUart::Line& line) {
        return uart.Open(
            pty.ComName(), line,
            [this](int terminal, const QByteArray& chunk) {
                EXPECT_EQ(terminal, 1);
                chunks.push_back({chunk, chunk.constData()[chunk.size()] == '\0'});
                received += chunk;
            },
            1);
    }

    TestComDir comDir;
    SocatPty pty{comDir.Path(), 3};
    CMyUart uart;
    std::vector<Chunk> chunks;
    QByteArray received;
};

QByteArray Pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST_F(MyUartTest, LineSettingsReachTheDevice) {
    struct Case {
        CMyUart::Line line;
        std::vector<const char*> flags;
    };
    const Case cases[] = {
        {{115200, 8, 0, 0, 0},
         {"speed 115200 baud", " cs8", "-cstopb", "-parenb", "-crtscts", "-ixon", "-ixoff"}},
        {{9600, 8, 0, 2, 2}, {"speed 9600 baud", " cs8", " cstopb", " crtscts", "-ixon"}},
        {{921600, 8, 0, 0, 1}, {"speed 921600 baud", " ixon", " ixoff", "-crtscts"}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Open(uart, c.line)) << c.line.baudRate;
        const QString stty = pty.Stty();
        for (const char* flag : c.flags)
            EXPECT_TRUE(stty.contains(QLatin1String(flag))) << flag << "\n" << stty.toStdString();
        uart.Close();
    }
}

TEST_F(MyUartTest, LinesThePortCannotTakeFailAndLeaveItClosed) {
    const CMyUart::Line refused[] = {
        {115200, 7, 0, 0, 0},  // the kernel refuses 7 bits on a pseudo-terminal
        {115200, 8, 1, 0, 0},  // and parity
        {115200, 8, 2, 0, 0}, {115200, 8, 0, 0, 3},  // no such flow control
        {115200, 8, 0, 1, 0},                        // one and a half stop bits need 5 data bits
        {115200, 8, 0, 3, 0},
    };
    for (const CMyUart::Line& line : refused) {
        EXPECT_FALSE(Open(uart, line))
            << line.dataBits << line.parity << line.stopBits << line.flowControl;
        EXPECT_FALSE(uart.IsOpen());
        EXPECT_EQ(uart.OpenFailure(), "the port does not take these line settings");
        CMyUart other;
        EXPECT_TRUE(other.Open(pty.ComName(), {115200, 8, 0, 0, 0}, {}, 2))
            << "a failed open must not keep the port";
    }
    EXPECT_FALSE(uart.Open(QStringLiteral("COM0"), {}, {}, 1));
    EXPECT_EQ(uart.OpenFailure(), "not a COM port name");
    EXPECT_FALSE(uart.Open(QStringLiteral("../COM3"), {}, {}, 1));
    EXPECT_FALSE(uart.Open(QStringLiteral("COM9"), {}, {}, 1));
    EXPECT_FALSE(uart.OpenFailure().isEmpty()) << "no such device: the library's reason";
}

TEST_F(MyUartTest, BytesArriveInOrderInChunksOfAtMost4096EachFollowedByZero) {
    ASSERT_TRUE(Open(uart, {115200, 8, 0, 0, 0}));
    const QByteArray sent = Pattern(256 * 1024);
    pty.Write(sent);
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= sent.size(); }));
    EXPECT_EQ(received, sent);
    // How much one chunk holds depends on how the reads fell; none is empty or above 4096.
    for (const Chunk& c : chunks) {
        EXPECT_GE(c.bytes.size(), 1);
        EXPECT_LE(c.bytes.size(), CMyUart::kMaxChunk);
        EXPECT_TRUE(c.zeroAfter);
    }

    const QByteArray back = Pattern(9000);
    EXPECT_EQ(uart.Write(back), back.size());
    EXPECT_EQ(pty.Read(back.size()), back);
}

TEST_F(MyUartTest, TheTransmitQueueTakes11792BytesOfALargerWrite) {
    ASSERT_TRUE(Open(uart, {115200, 8, 0, 0, 0}));
    const QByteArray sent = Pattern(12000);
    EXPECT_EQ(uart.Write(sent), CMyUart::kTxCapacity);
    EXPECT_EQ(pty.Read(CMyUart::kTxCapacity), sent.first(CMyUart::kTxCapacity));
    EXPECT_TRUE(pty.ReadQuiet().isEmpty());
    EXPECT_EQ(uart.Pending(), 0);
}

TEST_F(MyUartTest, NothingWrittenWhileClosedGoesOutAfterOpen) {
    EXPECT_EQ(uart.Write("ab\r"), 0);
    ASSERT_TRUE(Open(uart, {115200, 8, 0, 0, 0}));
    uart.Write("c");
    EXPECT_EQ(pty.Read(1), "c");
    EXPECT_TRUE(pty.ReadQuiet().isEmpty());
}

TEST_F(MyUartTest, ADeviceThatIsFullStaysOpenAndTakesTheRestLater) {
    QStringList lost;
    uart.OnLost([&](const QString& reason) { lost << reason; });
    ASSERT_TRUE(Open(uart, {115200, 8, 0, 0, 0}));
    // Nobody reads the far end: the pair and the device fill up, and the queue waits.
    QByteArray taken;
    const QByteArray block = Pattern(CMyUart::kTxCapacity);
    for (int i = 0; i < 64 && uart.IsOpen(); ++i) {
        taken += block.first(uart.Write(block));
        PumpQuiet(5);
    }
    EXPECT_TRUE(uart.IsOpen());
    EXPECT_TRUE(lost.isEmpty());
    EXPECT_GT(uart.Pending(), 0);
    EXPECT_EQ(pty.Read(taken.size(), 20000), taken);
}

TEST_F(MyUartTest, ADeviceThatGoesAwayClosesThePortWithTheReason) {
    QStringList lost;
    uart.OnLost([&](const QString& reason) { lost << reason; });
    ASSERT_TRUE(Open(uart, {115200, 8, 0, 0, 0}));
    pty.End();
    ASSERT_TRUE(PumpUntil([&] { return !lost.isEmpty(); }));
    EXPECT_FALSE(uart.IsOpen());
    EXPECT_EQ(lost.front(), "the device was disconnected");
    EXPECT_EQ(uart.Write("x"), 0);
    PumpQuiet(50);
    EXPECT_EQ(lost.size(), 1);
}

TEST_F(MyUartTest, APortHeldElsewhereIsNotOpenedAndTheScanOpensNothing) {
    const QList<ComPortChoice> free{{pty.ComName(), false}};
    EXPECT_EQ(ScanComPorts({}), free);
    EXPECT_EQ(ScanComPorts({pty.ComName()}), (QList<ComPortChoice>{{pty.ComName(), true}}));
    ASSERT_TRUE(Open(uart, {115200, 8, 0, 0, 0}));
    // The other terminal.
    CMyUart other;
    EXPECT_FALSE(other.Open(pty.ComName(), {115200, 8, 0, 0, 0}, {}, 2));
    EXPECT_FALSE(other.OpenFailure().isEmpty());
    // The scan leaves an open port alone: it reads the link, never the device.
    EXPECT_EQ(ScanComPorts({}), free);
    EXPECT_TRUE(uart.IsOpen());
    uart.Close();

    // Another program that locks the device.
    QProcess holder;
    holder.start(QStringLiteral("flock"), {QStringLiteral("--no-fork"), pty.LinkPath(),
                                           QStringLiteral("sleep"), QStringLiteral("600")});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(PumpUntil([&] {
        CMyUart probe;
        return !probe.Open(pty.ComName(), {115200, 8, 0, 0, 0}, {}, 2);
    }));
    EXPECT_FALSE(Open(uart, {115200, 8, 0, 0, 0}));
    EXPECT_EQ(uart.OpenFailure(), "another program holds the port");
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(Open(uart, {115200, 8, 0, 0, 0}));

    // A link whose device is gone is no port.
    ASSERT_TRUE(QFile::link(comDir.Path() + QStringLiteral("/gone"),
                            comDir.Path() + QStringLiteral("/COM7")));
    EXPECT_EQ(ScanComPorts({}), free);
}

TEST_F(MyUartTest, PseudoTerminalsAreVirtualPorts) {
    EXPECT_TRUE(IsPseudoTerminalPort(pty.ComName()));
    EXPECT_FALSE(IsPseudoTerminalPort(QStringLiteral("COM9")));
    const QString nullLink = comDir.Path() + QStringLiteral("/COM4");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), nullLink));
    EXPECT_FALSE(IsPseudoTerminalPort(QStringLiteral("COM4")));
}

TEST(ComNames, OnlyCom1ToCom256Map) {
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1}, {"COM256", 256}, {"COM257", 0}, {"COM0", 0},  {"COM01", 0}, {"com1", 0},
        {"COM", 0},  {"COM1/", 0},    {"COM-1", 0},  {"COM+1", 0}, {"COM 1", 0}};
    for (const auto& [name, number] : cases)
        EXPECT_EQ(ComNumber(QString::fromLatin1(name)), number) << name;
}

}  // namespace
