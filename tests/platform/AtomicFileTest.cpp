#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// What is not a regular file is written into, never renamed over; a FIFO without a reader is
// refused at once instead of blocking.
TEST(AtomicFile, APipeOrFifoIsWrittenDirectlyAndKeptAndALinkKeepsItsTarget) {
    QTemporaryDir dir;
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const QString pipePath = QStringLiteral("/proc/self/fd/%1").arg(ends[1]);
    EXPECT_TRUE(WriteFileAtomically(pipePath, "through the pipe\n"));
    char got[64] = {};
    EXPECT_EQ(::read(ends[0], got, sizeof got), 17);
    EXPECT_STREQ(got, "through the pipe\n");
    ::close(ends[0]);
    ::close(ends[1]);

    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString error;
    EXPECT_FALSE(WriteFileAtomically(fifo, "nobody reads\n", &error));
    EXPECT_EQ(error, "no program reads it");
    struct stat info {};
    EXPECT_TRUE(::stat(QFile::encodeName(fifo).constData(), &info) == 0 && S_ISFIFO(info.st_mode));

    EXPECT_FALSE(WriteFileAtomically(dir.path(), "x", &error));
    EXPECT_FALSE(error.isEmpty());

    const QString target = dir.filePath("target.txt");
    const QString link = dir.filePath("link.txt");
    ASSERT_TRUE(WriteFileAtomically(target, "old\n"));
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(WriteFileAtomically(link, "new\n"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(Read(target), "new\n");
}
