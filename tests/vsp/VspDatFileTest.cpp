#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/ScriptedPrompts.h"
#include "vsp/VspDatFile.h"

namespace {

// The client port of the file format's example: COM5 to 192.168.0.3:4001 over TCP.
VspPortRecord ExamplePort() {
    VspPortRecord r;
    r.portId = "3";
    r.portName = "COM5";
    r.remoteIp = 3232235523u;
    r.remotePort = 4001;
    r.protocol = 0;
    r.connectAtStart = 0;
    r.status = "Connected";
    r.clientMode = 1;
    r.enableVcom = 0;
    r.maxPacketSize = 1400;
    r.treeName = "COM5";
    r.remoteIpText = "192.168.0.3";
    r.remotePortText = "4001";
    return r;
}

const QByteArray kExampleFile =
    "1 \r\n3 COM5 3232235523l 4001 0 0 Connected 1 0 1400 COM5 192.168.0.3 4001 \r\n";

class VspPortTableFile : public ::testing::Test {
  protected:
    QString Path() const { return dir.filePath("vsp.dat"); }
    void Write(const QByteArray& bytes) {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray Read() {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    CVspDatFile table;
};

}  // namespace

TEST_F(VspPortTableFile, ExampleIsWrittenByteForByteAndReadsBackUnsigned) {
    ASSERT_TRUE(CVspDatFile::Save({ExamplePort()}, prompts, Path()));
    EXPECT_EQ(Read(), kExampleFile);

    CVspDatFile loaded;
    loaded.Load(Path());
    EXPECT_TRUE(loaded.TableLoaded());
    EXPECT_EQ(loaded.PortCount(), 1u);
    EXPECT_EQ(loaded.Record(0).remoteIp, 3232235523u);
    EXPECT_EQ(loaded.Record(0), ExamplePort());
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(VspPortTableFile, RoundTripKeepsHighAddressesEmptyTextsAndWideNumbers) {
    VspPortRecord server = ExamplePort();
    server.portId = "0";
    server.remoteIp = 0xFFFFFFFFu;
    server.protocol = 1;
    server.clientMode = 0;
    server.status = "Server";
    server.remoteIpText = "";
    server.remotePortText = "#";
    server.maxPacketSize = 0xFFFFFFFFu;
    server.remotePort = 65535;
    VspPortRecord idle;  // all texts empty, all numbers 0
    idle.remoteIp = 0x80000000u;
    ASSERT_TRUE(CVspDatFile::Save({server, idle, ExamplePort()}, prompts, Path()));

    const QByteArray bytes = Read();
    EXPECT_TRUE(bytes.contains(" Server 0 0 -1 COM5  # \r\n")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("\r\n  2147483648l 0 0 0  0 0 0    \r\n")) << bytes.constData();

    CVspDatFile loaded;
    loaded.Load(Path());
    ASSERT_EQ(loaded.PortCount(), 3u);
    EXPECT_EQ(loaded.Record(0), server);
    EXPECT_EQ(loaded.Record(1), idle);
    EXPECT_EQ(loaded.Record(2), ExamplePort());
}

TEST_F(VspPortTableFile, SaveWritesTheGivenRecordsUpToATable) {
    ASSERT_TRUE(CVspDatFile::Save({ExamplePort(), ExamplePort()}, prompts, Path()));
    EXPECT_EQ(Read().count("\r\n"), 3);
    EXPECT_TRUE(Read().startsWith("2 \r\n"));

    ASSERT_TRUE(CVspDatFile::Save({}, prompts, Path()));
    EXPECT_EQ(Read(), "0 \r\n");

    const std::vector<VspPortRecord> many(1000, ExamplePort());
    ASSERT_TRUE(CVspDatFile::Save(many, prompts, Path()));  // never past the table
    EXPECT_TRUE(Read().startsWith("256 \r\n"));
    CVspDatFile loaded;
    loaded.Load(Path());
    EXPECT_EQ(loaded.PortCount(), 256u);
}

TEST_F(VspPortTableFile, SpacesInTextsDoNotShiftTheFields) {
    VspPortRecord odd = ExamplePort();
    odd.status = "Con nected\r\n";
    ASSERT_TRUE(CVspDatFile::Save({odd}, prompts, Path()));
    EXPECT_EQ(Read(), kExampleFile);
}

TEST_F(VspPortTableFile, SaveFailureIsReportedAndLeavesNoFile) {
    const QString path = dir.filePath("missing/vsp.dat");
    EXPECT_FALSE(CVspDatFile::Save({ExamplePort()}, prompts, path));
    EXPECT_EQ(prompts.Texts(), QStringList{"Failed to save Virtual Serial Port setting data!"});
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(VspPortTableFile, LoadKeepsOnlyCompleteRecordsWithinBufferAndTable) {
    const QByteArray record =
        "3 COM5 3232235523l 4001 0 0 Connected 1 0 1400 COM5 192.168.0.3 4001 \r\n";
    QByteArray many = "300 \r\n";
    for (int i = 0; i < 300; ++i) many += record;
    // Long records so that the buffer, not the table, is the limit.
    const QByteArray longRecord = QByteArray(record).replace("192.168.0.3", QByteArray(200, 'x'));
    QByteArray big = "200 \r\n";
    while (big.size() < 30000) big += longRecord;
    const qsizetype completeInBuffer = (kVspFileMaxBytes - 6) / longRecord.size();
    ASSERT_LT(completeInBuffer, 200);

    struct Case {
        const char* name;
        QByteArray bytes;
        uint32_t portCount;
    };
    const Case cases[] = {
        {"empty file", "", 0},
        {"count 0", "0 \r\n" + record, 0},
        {"count not a number", "abc \r\n" + record, 0},
        {"negative count", "-3 \r\n" + record + record + record, 0},
        {"no space at all", "1", 0},
        {"count without records", "5 ", 0},
        {"fewer records than the count", "3 \r\n" + record + record.left(30), 1},
        {"record without its line end", "1 \r\n" + record.chopped(2), 1},
        {"record missing its last field", "1 \r\n" + record.chopped(3), 0},
        {"more records than the count", "1 \r\n" + record + record, 1},
        {"count past the table", many, 256},
        {"file past the buffer", big, static_cast<uint32_t>(completeInBuffer)},
    };
    for (const Case& c : cases) {
        Write(c.bytes);
        table.Load(Path());
        EXPECT_EQ(table.PortCount(), c.portCount) << c.name;
        EXPECT_EQ(table.TableLoaded(), c.portCount > 0) << c.name;
        if (c.portCount > 0) {
            EXPECT_EQ(table.Record(0).remoteIp, 3232235523u) << c.name;
            EXPECT_EQ(table.Record(c.portCount - 1).remotePortText, "4001") << c.name;
        }
        if (c.portCount < kVspMaxPorts) {
            EXPECT_EQ(table.Record(c.portCount), VspPortRecord{}) << c.name;
        }
    }
}

TEST_F(VspPortTableFile, MissingFileLeavesTheTableEmpty) {
    Write(kExampleFile);
    table.Load(Path());
    ASSERT_TRUE(table.TableLoaded());
    QFile::remove(Path());
    table.Load(Path());
    EXPECT_FALSE(table.TableLoaded());
    EXPECT_EQ(table.PortCount(), 0u);
}

TEST(VspPortFileCodec, NumericFieldsAreTruncatedToTheirWidth) {
    const auto contents = DecodeVspFile("1 \r\n7 COM9 -1 70000 257 -2 Idle 1 1 -1 COM9 # # \r\n");
    ASSERT_EQ(contents.records.size(), 1u);
    const VspPortRecord& r = contents.records[0];
    EXPECT_EQ(r.remoteIp, 4294967295u);
    EXPECT_EQ(r.remotePort, 70000 % 65536);
    EXPECT_EQ(r.protocol, 1);
    EXPECT_EQ(r.connectAtStart, -2);
    EXPECT_EQ(r.maxPacketSize, 4294967295u);
    EXPECT_EQ(r.remotePortText, "#");
}
