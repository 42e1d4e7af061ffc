#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "upgrade/widgets/DlgDmTftpClient.h"
#include "platform/ScriptedPrompts.h"

namespace {

class TftpDialogTest : public testing::Test {
  protected:
    QString Write(const QString& name, const QByteArray& content) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    // Shows the dialog afresh, as the view's modal run would, and presses Upgrade Firmware.
    bool Upgrade() {
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        dialog.UpgradeButton()->click();
        return !dialog.isVisible() && dialog.result() == QDialog::Accepted;
    }

    void Choose(const QString& path) {
        prompts.AnswerFile(path);
        dialog.BrowseButton()->click();
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    CDlgDmTftpClient dialog{prompts};
};

TEST_F(TftpDialogTest, ShowsItsControlsAndAsksForAFileFirst) {
    EXPECT_EQ(dialog.windowTitle(), "Firmware upgrade");
    EXPECT_EQ(dialog.BrowseButton()->text(), "File Browser");
    EXPECT_EQ(dialog.UpgradeButton()->text(), "Upgrade Firmware");
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
    EXPECT_FALSE(dialog.NameEdit()->isEnabled());
    EXPECT_TRUE(dialog.NameEdit()->text().isEmpty());

    EXPECT_FALSE(Upgrade());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(prompts.Texts(), QStringList{"Please select a firmware file !!"});
    EXPECT_EQ(prompts.shown[0].caption, "VELTRO");

    dialog.CancelButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(TftpDialogTest, FileBrowserShowsTheNameAndKeepsTheFullPath) {
    const QString path = Write("fw-2.1.bin", "QMDR1234");
    Choose(path);
    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(prompts.fileDialogs[0].filter, "Firmware File(*.bin)");
    EXPECT_EQ(prompts.fileDialogs[0].suggestedName, "Firmware File");
    EXPECT_EQ(dialog.NameEdit()->text(), "fw-2.1.bin");
    EXPECT_EQ(dialog.ImagePath(), path);

    // Cancelling the file dialog keeps the file chosen before.
    Choose("");
    EXPECT_EQ(dialog.ImagePath(), path);
    EXPECT_EQ(dialog.NameEdit()->text(), "fw-2.1.bin");
}

TEST_F(TftpDialogTest, OnlyImagesThatBeginWithTheMagicAreAccepted) {
    const std::pair<QByteArray, bool> cases[] = {
        {"QMDR", true},      {QByteArray("QMDR\0\1", 6), true},
        {"QMD", false},      {"", false},
        {"qmdr1234", false}, {"XQMDR", false},
    };
    for (const auto& [content, accepted] : cases) {
        SCOPED_TRACE(content.toStdString());
        prompts.Clear();
        Choose(Write("image.bin", content));
        EXPECT_EQ(Upgrade(), accepted);
        EXPECT_EQ(prompts.Texts(),
                  accepted ? QStringList{} : QStringList{"It's not a correct firmware file !!"});
    }
}

TEST_F(TftpDialogTest, UnreadableImageIsReportedAndLeftToTheUpgradeToStop) {
    const QString path = Write("gone.bin", "QMDR");
    Choose(path);
    QFile::remove(path);
    EXPECT_TRUE(Upgrade());
    EXPECT_EQ(prompts.Texts(), QStringList{"Can't open target file !!"});
}

TEST_F(TftpDialogTest, TheLastFileIsOfferedAgain) {
    const QString path = Write("last.bin", "QMDR....");
    Choose(path);
    ASSERT_TRUE(Upgrade());
    // The next upgrade goes straight through with the same file.
    EXPECT_EQ(dialog.NameEdit()->text(), "last.bin");
    EXPECT_TRUE(Upgrade());
    EXPECT_EQ(dialog.ImagePath(), path);
    EXPECT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace
