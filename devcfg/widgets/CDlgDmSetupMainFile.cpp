// The sheet's "Save" and "Load" buttons: the device setting file.

#include <QFile>

#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SetupMapping.h"
#include "devcfg/widgets/CDlgDmSetupMain.h"
#include "devcfg/widgets/SetupPage.h"
#include "platform/AtomicFile.h"
#include "platform/UserPrompts.h"

void CDlgDmSetupMain::ShowFileFailure(const QString& text, const QString& path) {
    prompts_.FileFailure(text + path);
}

bool CDlgDmSetupMain::SaveSettingFile() {
    const QString path = prompts_.SaveFileName(
        {{}, settingfile::kSaveName, settingfile::kSaveFilter, settingfile::kSuffix});
    if (path.isEmpty()) return false;
    ShowOverLong(ReadAllPages());
    const settingfile::Written written = settingfile::Write(values_);
    if (!WriteFileAtomically(path, written.text)) {
        ShowFileFailure(settingfile::kOpenFailed, path);
        return false;
    }
    if (!written.complete) {
        prompts_.Inform(setupmsg::kNoSpaces, setupmsg::kErrorCaption, PromptIcon::Error);
        return false;
    }
    return true;
}

bool CDlgDmSetupMain::LoadSettingFile() {
    const QString path = prompts_.OpenFileName(
        {{}, settingfile::kLoadName, settingfile::kLoadFilter, settingfile::kSuffix});
    if (path.isEmpty()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowFileFailure(settingfile::kOpenFailed, path);
        return false;
    }
    const QByteArray text = file.readAll();
    file.close();
    const auto report = settingfile::Load(text, values_, [this](int line) {
        if (settingfile::ActsAtOnce(line)) ApplyLoadedLine(line);
    });
    switch (report.result) {
        case settingfile::LoadResult::VersionWrong:
            prompts_.Inform(settingfile::kVersionWrong, setupmsg::kErrorCaption, PromptIcon::Error);
            return false;
        case settingfile::LoadResult::Short:
            prompts_.Inform(settingfile::ShortFileMessage(report.lineCount),
                            setupmsg::kErrorCaption, PromptIcon::Error);
            return false;
        case settingfile::LoadResult::Loaded:
            break;
    }
    RefreshAllPages();
    return true;
}

void CDlgDmSetupMain::ApplyLoadedLine(int line) {
    for (SetupPage* page : Pages()) page->ShowLoadedLine(line);
}
