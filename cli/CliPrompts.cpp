#include "cli/CliPrompts.h"

#include <cstdio>

namespace {

constexpr char16_t kFirstPrintable = 0x20;
constexpr char16_t kDelete = 0x7F;
constexpr char16_t kAfterC1 = 0xA0;

}  // namespace

QString Printable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < kFirstPrintable || (u >= kDelete && u < kAfterC1))
            out += QStringLiteral("\\x%1").arg(static_cast<unsigned>(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s\n", Printable(text).toLocal8Bit().constData());
}

PromptAnswer CliPrompts::MessageBox(const MessageBoxRequest& request) {
    const QString prefix = next_.isEmpty() ? prefix_ : next_;
    next_.clear();
    const bool question =
        request.buttons == PromptButtons::YesNo || request.buttons == PromptButtons::YesNoCancel;
    // Confirmations carry the flow's caption; the subnet warnings are captioned "Warning".
    const bool warning = request.caption == QLatin1String("Warning");
    if (question && !warning) return PromptAnswer::Yes;
    last_ = request.text.simplified();
    const QString line = prefix.isEmpty() ? last_ : prefix + QStringLiteral(": ") + last_;
    if (!printed_.contains(line) && !muted_.contains(last_)) PrintError(line);
    printed_.insert(line);
    if (!question) return PromptAnswer::Ok;
    return force_ ? PromptAnswer::Yes : PromptAnswer::No;
}
