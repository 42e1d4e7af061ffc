#pragma once

#include <QString>

// Message boxes, file dialogs, the beep and the shell opener, as the program asks for them.
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

struct MessageBoxRequest {
    QString caption;
    QString text;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
    PromptAnswer defaultAnswer = PromptAnswer::Ok;
};

struct FileDialogRequest {
    QString title;
    QString suggestedName;  // initial file name or path
    QString filter;         // Qt filter text, e.g. "Log Files (*.log);;All Files (*)"
    QString defaultSuffix;  // appended when the user types a name without one
};

// The caption of every plain message box: the program's name.
inline constexpr char kProgramCaption[] = "VELTRO";

class UserPrompts {
  public:
    static constexpr int kFileFailureBeepHz = 5000;
    static constexpr int kFileFailureBeepMs = 100;

    virtual ~UserPrompts() = default;
    virtual PromptAnswer MessageBox(const MessageBoxRequest& request) = 0;
    // An empty result means the user cancelled.
    virtual QString OpenFileName(const FileDialogRequest& request) = 0;
    virtual QString SaveFileName(const FileDialogRequest& request) = 0;
    virtual void Beep(int frequencyHz, int durationMs) = 0;
    // Opens a file or URL with the desktop's handler.
    virtual bool ShellOpen(const QString& target) = 0;

    // The common shapes, for brevity at call sites.
    void Inform(const QString& text, const QString& caption = QString::fromLatin1(kProgramCaption),
                PromptIcon icon = PromptIcon::Warning) {
        MessageBox({caption, text, PromptButtons::Ok, icon, PromptAnswer::Ok});
    }
    // A file that could not be read or written: the failure beep, then the warning box.
    void FileFailure(const QString& text,
                     const QString& caption = QString::fromLatin1(kProgramCaption)) {
        Beep(kFileFailureBeepHz, kFileFailureBeepMs);
        Inform(text, caption);
    }
    // A Yes/No question with No preselected, captioned "Warning" unless given.
    bool AskYesNo(const QString& text, const QString& caption = QStringLiteral("Warning")) {
        return MessageBox({caption, text, PromptButtons::YesNo, PromptIcon::Warning,
                           PromptAnswer::No}) == PromptAnswer::Yes;
    }
};
