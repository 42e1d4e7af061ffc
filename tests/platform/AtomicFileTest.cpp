#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/AtomicFile.h"
#include "tests/support/FileSizeLimit.h"

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST(AtomicFile, WritesANewFileAndReplacesAnOldOneWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("VELTRO.dat");
    ASSERT_TRUE(WriteFileAtomically(path, "a much longer old content\r\n"));
    ASSERT_TRUE(WriteFileAtomically(path, "new\r\n"));
    EXPECT_EQ(Read(path), "new\r\n");  // nothing of the longer old file is left behind
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"VELTRO.dat"});
}

TEST(AtomicFile, AFullDiskKeepsTheOldFileAndReportsWhy) {
    QTemporaryDir dir;
    const QString path = dir.filePath("VELTRO.dat");
    ASSERT_TRUE(WriteFileAtomically(path, "old\r\n"));
    QString error;
    {
        const FileSizeLimit limit(64);
        EXPECT_FALSE(WriteFileAtomically(path, QByteArray(4096, 'x'), &error));
    }
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(Read(path), "old\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"VELTRO.dat"});  // no leftovers
}

TEST(AtomicFile, AMissingFolderFailsWithAReason) {
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(WriteFileAtomically(dir.filePath("gone/VELTRO.dat"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
}
