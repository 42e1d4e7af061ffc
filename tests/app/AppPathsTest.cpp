#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/AppPaths.h"
#include "tests/support/FileBytes.h"

namespace {

// A prefix with bin/ and share/veltro/, a working directory and a configuration home.
class AppPathsTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        for (const char* dir : {"usr/bin", "usr/share/veltro", "work", "config"})
            QDir(root.path()).mkpath(dir);
    }
    QString Path(const QString& relative) { return QDir(root.path()).filePath(relative); }
    void PutDriverPackage(const QString& dir) {
        WriteFileBytes(QDir(Path(dir)).filePath(kDriverPackageName), "[Manufacturer]\n");
    }
    AppPaths Choose() { return ChooseAppPaths(Path("work"), Path("usr/bin"), Path("config")); }

    QTemporaryDir root;
};

}  // namespace

TEST_F(AppPathsTest, AWorkingDirectoryWithTheDriverPackageHoldsEverything) {
    PutDriverPackage("work");
    PutDriverPackage("usr/share/veltro");
    const AppPaths paths = Choose();
    EXPECT_EQ(paths.dataDir, Path("work"));
    EXPECT_EQ(paths.configDir, Path("work"));
    EXPECT_FALSE(paths.installed);
}

TEST_F(AppPathsTest, OtherwiseTheInstalledDataAndTheUsersConfigurationFolder) {
    PutDriverPackage("usr/share/veltro");
    const AppPaths paths = Choose();
    EXPECT_EQ(paths.dataDir, Path("usr/share/veltro"));
    EXPECT_EQ(paths.configDir, Path("config/veltro"));
    EXPECT_TRUE(QFileInfo(paths.configDir).isDir());
    EXPECT_TRUE(paths.installed);
}

TEST_F(AppPathsTest, WithTheDriverPackageNowhereTheWorkingDirectoryReportsIt) {
    const AppPaths paths = Choose();
    EXPECT_EQ(paths.dataDir, Path("work"));
    EXPECT_EQ(paths.configDir, Path("work"));
    EXPECT_FALSE(paths.installed);
}
