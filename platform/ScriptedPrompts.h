#pragma once

#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/UserPrompts.h"

// Test double: answers from a script in order and records everything shown.
class ScriptedPrompts final : public UserPrompts {
  public:
    struct Shown {
        QString caption;
        QString text;
        PromptButtons buttons;
        PromptIcon icon;
        PromptAnswer defaultAnswer;
        PromptAnswer answer;
    };

    // Queues answers for message boxes; an empty queue answers with the box's default.
    void Answer(PromptAnswer answer) { answers_.push_back(answer); }
    // Runs `action` once while the next message box is open, before it is answered: what the
    // event loop may do meanwhile (a search that rebuilds the device list, say).
    void WhileNextBoxIsOpen(std::function<void()> action) { whileOpen_ = std::move(action); }
    // Queues the names that the next file dialogs return ("" = cancel).
    void AnswerFile(const QString& path) { files_.push_back(path); }

    PromptAnswer MessageBox(const MessageBoxRequest& request) override;
    QString OpenFileName(const FileDialogRequest& request) override;
    QString SaveFileName(const FileDialogRequest& request) override;
    void Beep(int frequencyHz, int durationMs) override;
    bool ShellOpen(const QString& target) override;

    std::vector<Shown> shown;
    std::vector<FileDialogRequest> fileDialogs;
    QStringList opened;
    bool shellOpens = true;  // whether the desktop has a program for what is opened
    int beeps = 0;

    QStringList Texts() const;
    void Clear();

  private:
    QString NextFile();
    std::deque<PromptAnswer> answers_;
    std::deque<QString> files_;
    std::function<void()> whileOpen_;
};
