#include "app/SettingsFile.h"

#include <QFile>
#include <QFileInfo>

#include "platform/AtomicFile.h"

SettingsFile::SettingsFile(UserPrompts& prompts, QString path)
    : prompts_(prompts), path_(std::move(path)) {}

QString SettingsFile::FileName() const {
    return QFileInfo(path_).fileName();
}

void SettingsFile::Load(AppSettings& settings) {
    settings = AppSettings{};
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        Create(settings);
        return;
    }
    fullPath_ = QFileInfo(file).absoluteFilePath();
    if (file.size() > kSettingsFileMaxBytes) {
        prompts_.Inform(FileName() + QStringLiteral(" file size is too large!\r\n"));
    }
    const auto decoded = DecodeSettingsFile(file.read(kSettingsFileMaxBytes));
    if (!decoded) {
        prompts_.Inform(QStringLiteral(
            "The format of application setting file has been updated with default settings!"));
        return;
    }
    settings = *decoded;
}

// Only a file that is not there is created: one that exists but cannot be read is left
// as it is rather than overwritten with defaults.
void SettingsFile::Create(const AppSettings& defaults) {
    const QFileInfo info(path_);
    if (!info.exists() && WriteFileAtomically(path_, EncodeSettingsFile(defaults))) {
        fullPath_ = info.absoluteFilePath();
        return;
    }
    prompts_.FileFailure(QStringLiteral("Failed to create application setting file") + FileName() +
                         QStringLiteral("! \r\n"));
}

bool SettingsFile::Save(const AppSettings& settings, const std::function<void()>& beforeWrite) {
    const auto failed = [this](const QString& reason) {
        prompts_.FileFailure(QStringLiteral("Failed to save application settings! (") + reason +
                             QStringLiteral(")\r\n"));
        return false;
    };
    if (fullPath_.isEmpty() || !QFileInfo(fullPath_).isFile()) {
        return failed(FileName() + QStringLiteral(" not found"));
    }
    if (beforeWrite) beforeWrite();
    // A new file replaces the old one only once it is whole: a crash or a full disk keeps the
    // old settings rather than leaving a cut file that the next start would discard.
    QString reason;
    if (WriteFileAtomically(fullPath_, EncodeSettingsFile(settings), &reason)) return true;
    return failed(reason);
}
