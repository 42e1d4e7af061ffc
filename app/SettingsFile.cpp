#include "app/SettingsFile.h"

#include <QFile>
#include <QFileInfo>

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
    QFile file(path_);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        fullPath_ = QFileInfo(file).absoluteFilePath();
        if (file.write(EncodeSettingsFile(defaults)) >= 0 && file.flush()) return;
    }
    prompts_.FileFailure(QStringLiteral("Failed to create application setting file") + FileName() +
                         QStringLiteral("! \r\n"));
}

bool SettingsFile::Save(const AppSettings& settings, const std::function<void()>& beforeWrite) {
    QFile file(fullPath_);
    const auto failed = [this] {
        prompts_.FileFailure(QStringLiteral("Failed to save application settings! (") + FileName() +
                             QStringLiteral(" not found)\r\n"));
        return false;
    };
    if (fullPath_.isEmpty() || !file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        return failed();
    }
    if (beforeWrite) beforeWrite();
    const QByteArray text = EncodeSettingsFile(settings);
    // Cut off whatever an older, longer file left behind the new lines.
    if (file.write(text) == text.size() && file.resize(text.size()) && file.flush()) return true;
    return failed();
}
