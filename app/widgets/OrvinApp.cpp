#include "app/widgets/OrvinApp.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPixmap>

#include "platform/UserPrompts.h"

CMainFrame* COrvinApp::InitInstance() {
    const QDir dir(services_.dataDir);
    if (QFile driver(dir.filePath(kDriverPackage)); !driver.open(QIODevice::ReadOnly)) {
        services_.prompts.Inform(kMissingDriverText, QString::fromLatin1(kProgramCaption),
                                 PromptIcon::Error);
        return nullptr;
    }

    frame_ = std::make_unique<CMainFrame>(services_);
    frame_->Create();

    const AppSettings& settings = frame_->Settings();
    if (QPixmap icon; icon.load(dir.filePath(settings.logoFileName + ".ico")))
        frame_->setWindowIcon(QIcon(icon.scaled(kIconSize, kIconSize)));
    frame_->setWindowTitle(ReadTitle(dir.filePath(settings.titleFileName + ".dat")));

    frame_->InitialUpdate();
    frame_->ShowFirst();
    return frame_.get();
}

QString COrvinApp::ReadTitle(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return CMainFrame::kDefaultTitle;
    QByteArray text = file.read(kTitleBytes);
    // Read into a zeroed buffer: the title ends at the first zero byte.
    if (const auto zero = text.indexOf('\0'); zero >= 0) text.truncate(zero);
    return QString::fromLocal8Bit(text);
}
