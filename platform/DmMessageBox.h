#pragma once

#include <QString>

#include "platform/UserPrompts.h"

// The device manager's plain message box: the program's name as caption, an OK button and the
// exclamation icon.
inline void ShowDmMessage(UserPrompts& prompts, const QString& text) {
    prompts.Inform(text, QString::fromLatin1(kProgramCaption), PromptIcon::Warning);
}
