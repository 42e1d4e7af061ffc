#pragma once

#include <QString>

#include "platform/UserPrompts.h"

// Message boxes on a terminal: each text goes to stderr, prefixed with the device it concerns.
// The device manager's confirmations are answered Yes (the command line is the confirmation);
// its subnet warnings Yes only when the user forced it.
class CliPrompts final : public UserPrompts {
  public:
    explicit CliPrompts(QString prefix = {}, bool force = false)
        : prefix_(std::move(prefix)), force_(force) {}

    void SetPrefix(const QString& prefix) { prefix_ = prefix; }
    PromptAnswer MessageBox(const MessageBoxRequest& request) override;
    QString OpenFileName(const FileDialogRequest&) override { return {}; }
    QString SaveFileName(const FileDialogRequest&) override { return {}; }
    void Beep(int, int) override {}
    bool ShellOpen(const QString&) override { return false; }

    // The last text shown, for the result line of the device.
    QString LastText() const { return last_; }

  private:
    QString prefix_;
    bool force_;
    QString last_;
};

// One line on stderr.
void PrintError(const QString& text);
