#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/UserPrompts.h"

// Production prompts: Qt message boxes and file dialogs, the desktop's URL handler.
class QtUserPrompts final : public UserPrompts {
  public:
    void SetParent(QWidget* parent) { parent_ = parent; }
    PromptAnswer MessageBox(const MessageBoxRequest& request) override;
    QString OpenFileName(const FileDialogRequest& request) override;
    QString SaveFileName(const FileDialogRequest& request) override;
    void Beep(int frequencyHz, int durationMs) override;
    bool ShellOpen(const QString& target) override;

  private:
    QPointer<QWidget> parent_;
};
