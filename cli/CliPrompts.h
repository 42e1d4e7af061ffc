#pragma once

#include <QSet>
#include <QString>

#include "platform/UserPrompts.h"

// Message boxes on a terminal: each text goes to stderr, prefixed with the device it concerns,
// and each line only once per run (the searches of a restart wait repeat their warnings).
// The device manager's confirmations are answered Yes (the command line is the confirmation);
// its subnet warnings Yes only when the user forced it.
class CliPrompts final : public UserPrompts {
  public:
    explicit CliPrompts(QString prefix = {}, bool force = false)
        : prefix_(std::move(prefix)), force_(force) {}

    void SetPrefix(const QString& prefix) { prefix_ = prefix; }
    // The device that the next message box only concerns, in place of the prefix.
    void PrefixNext(const QString& device) { next_ = device; }
    PromptAnswer MessageBox(const MessageBoxRequest& request) override;
    QString OpenFileName(const FileDialogRequest&) override { return {}; }
    QString SaveFileName(const FileDialogRequest&) override { return {}; }
    void Beep(int, int) override {}
    bool ShellOpen(const QString&) override { return false; }

    // A message box text that is not shown from now on: one that a command's own flow makes
    // meaningless (a search while every device restarts finds none).
    void Mute(const QString& text) { muted_.insert(text); }
    // The last text shown, for the result line of the device.
    QString LastText() const { return last_; }

  private:
    QString prefix_;
    QString next_;
    bool force_;
    QString last_;
    QSet<QString> printed_;
    QSet<QString> muted_;
};

// The text with every control character (C0, DEL, C1) shown as \xHH: texts that came from
// the network must not reach a terminal as escape sequences.
QString Printable(const QString& text);

// One line on stderr, made printable.
void PrintError(const QString& text);
