#include "cli/CliPrompts.h"

#include <cstdio>

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

PromptAnswer CliPrompts::MessageBox(const MessageBoxRequest& request) {
    const bool question =
        request.buttons == PromptButtons::YesNo || request.buttons == PromptButtons::YesNoCancel;
    // Confirmations carry the flow's caption; the subnet warnings are captioned "Warning".
    const bool warning = request.caption == QLatin1String("Warning");
    if (question && !warning) return PromptAnswer::Yes;
    last_ = request.text.simplified();
    PrintError(prefix_.isEmpty() ? last_ : prefix_ + QStringLiteral(": ") + last_);
    if (!question) return PromptAnswer::Ok;
    return force_ ? PromptAnswer::Yes : PromptAnswer::No;
}
