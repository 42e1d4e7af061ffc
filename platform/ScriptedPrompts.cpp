#include "platform/ScriptedPrompts.h"

PromptAnswer ScriptedPrompts::MessageBox(const MessageBoxRequest& request) {
    PromptAnswer answer = request.defaultAnswer;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    shown.push_back({request.caption, request.text, request.buttons, request.icon,
                     request.defaultAnswer, answer});
    if (std::function<void()> action = std::exchange(whileOpen_, {})) action();
    return answer;
}

QString ScriptedPrompts::NextFile() {
    if (files_.empty()) return {};
    QString path = files_.front();
    files_.pop_front();
    return path;
}

QString ScriptedPrompts::OpenFileName(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    return NextFile();
}

QString ScriptedPrompts::SaveFileName(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    return NextFile();
}

void ScriptedPrompts::Beep(int, int) {
    ++beeps;
}

bool ScriptedPrompts::ShellOpen(const QString& target) {
    opened << target;
    return shellOpens;
}

QStringList ScriptedPrompts::Texts() const {
    QStringList texts;
    for (const auto& item : shown) texts << item.text;
    return texts;
}

void ScriptedPrompts::Clear() {
    shown.clear();
    fileDialogs.clear();
    opened.clear();
    beeps = 0;
}
