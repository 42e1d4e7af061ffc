#include "app/AppSettings.h"

#include <vector>

#include "protocol/DecimalText.h"

namespace {

constexpr int kValueWidth = 20;

const char* const kComments[kSettingsLineCount] = {
    "Setting File Format Version",
    "VELTRO Logo File Name",
    "VELTRO Title File Name",
    "(DM) Search Timer (100ms)",
    "(DM) Reset Timer (100ms)",
    "(DM) Reboot Timer (sec/unit)",
    "(DM) Search After Application Start 0:disable 1:enable",
    "(DM) Upgrade Timer 0:disable 1:enable",
    "(VSP) Maximum Network TX Packet Size Setting 0:disable 1:enable",
    "(VSP) VSP Connection Status Check Function 0:disable 1:enable",
    "(MON) Monitor Timer (sec)",
    "(TERM1) Baud Rate 0 - 8: 1200|2400|4800|9600|19200|38400|57600|115200|921600",
    "(TERM1) Data Bits 0 - 3: 8|7|6|5",
    "(TERM1) Parity Check 0 - 2: Odd|Even|None",
    "(TERM1) Stop Bits 0 - 2: 1|1.5|2",
    "(TERM1) Flow Control 0 - 2: None|Xon-Xoff|Hardware",
    "(TERM1) Echo Test 0:disable 1:enable",
    "(TERM1) Test Interval (ms)",
    "(TERM1) Test Data Length",
    "(TERM2) Baud Rate 0 - 8: 1200|2400|4800|9600|19200|38400|57600|115200|921600",
    "(TERM2) Data Bits 0 - 3: 8|7|6|5",
    "(TERM2) Parity Check 0 - 2: Odd|Even|None",
    "(TERM2) Stop Bits 0 - 2: 1|1.5|2",
    "(TERM2) Flow Control 0 - 2: None|Xon-Xoff|Hardware",
    "(TERM2) Echo Test 0:disable 1:enable",
    "(TERM2) Test Interval (ms)",
    "(TERM2) Test Data Length",
    "Current selection of local host IP address",
    "(TERM1) Hex View 0:disable 1:enable",
    "(TERM1) Time Stamp 0:disable 1:enable",
    "(TERM2) Hex View 0:disable 1:enable",
    "(TERM2) Time Stamp 0:disable 1:enable",
    "(TERM1) Enter Sends 0 - 2: CR|LF|CR LF",
    "(TERM1) Local Echo 0:disable 1:enable",
    "(TERM2) Enter Sends 0 - 2: CR|LF|CR LF",
    "(TERM2) Local Echo 0:disable 1:enable",
};

// Lines 2 to 36 in file order; line 1 is the version.
enum class Kind { Text, Number, Flag };
struct FieldRef {
    Kind kind;
    QString* text = nullptr;
    int* number = nullptr;
};

std::vector<FieldRef> Fields(AppSettings& s) {
    std::vector<FieldRef> fields = {
        {Kind::Text, &s.logoFileName},          {Kind::Text, &s.titleFileName},
        {Kind::Number, {}, &s.dmSearchPeriod},  {Kind::Number, {}, &s.dmRestorePeriod},
        {Kind::Number, {}, &s.dmRebootPeriod},  {Kind::Flag, {}, &s.searchAtStart},
        {Kind::Number, {}, &s.upgradeTimer},    {Kind::Number, {}, &s.maxPacketSizeSetting},
        {Kind::Number, {}, &s.connectionCheck}, {Kind::Number, {}, &s.monitorInterval},
    };
    for (TerminalSettings& t : s.terminal) {
        fields.insert(fields.end(), {{Kind::Number, {}, &t.baudRateIndex},
                                     {Kind::Number, {}, &t.dataBitsIndex},
                                     {Kind::Number, {}, &t.parityIndex},
                                     {Kind::Number, {}, &t.stopBitsIndex},
                                     {Kind::Number, {}, &t.flowControlIndex},
                                     {Kind::Flag, {}, &t.echoTest},
                                     {Kind::Number, {}, &t.testInterval},
                                     {Kind::Number, {}, &t.testDataLength}});
    }
    fields.push_back({Kind::Text, &s.hostAddress});
    for (TerminalSettings& t : s.terminal)
        fields.insert(fields.end(), {{Kind::Flag, {}, &t.hexView}, {Kind::Flag, {}, &t.timeStamp}});
    for (TerminalSettings& t : s.terminal)
        fields.insert(fields.end(),
                      {{Kind::Number, {}, &t.lineEnding}, {Kind::Flag, {}, &t.localEcho}});
    return fields;
}

QByteArray ValueText(const FieldRef& field) {
    switch (field.kind) {
        case Kind::Text:
            return field.text->toLatin1();
        case Kind::Number:
            return QByteArray::number(*field.number);
        case Kind::Flag:
            return *field.number != 0 ? "1" : "0";
    }
    return {};
}

void AppendLine(QByteArray& out, int lineNumber, const QByteArray& value) {
    out += value.leftJustified(kValueWidth, ' ');
    out += "// (" + QByteArray::number(lineNumber).rightJustified(2, '0') + ") ";
    out += kComments[lineNumber - 1];
    out += "\r\n";
}

bool IsValueChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '\\' || c == ':' || c == '_';
}

// Walks the text line by line. A value ends at the first space; a line without a space
// ends at its line feed, so it never takes in the next line.
class LineReader {
  public:
    explicit LineReader(QByteArrayView text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }

    QByteArray NextValue() {
        QByteArray value;
        for (; pos_ < text_.size() && text_[pos_] != ' ' && text_[pos_] != '\n'; ++pos_) {
            if (IsValueChar(text_[pos_])) value += text_[pos_];
        }
        while (pos_ < text_.size() && text_[pos_++] != '\n') {
        }
        return value;
    }

  private:
    QByteArrayView text_;
    qsizetype pos_ = 0;
};

}  // namespace

QByteArray EncodeSettingsFile(const AppSettings& settings) {
    AppSettings copy = settings;
    QByteArray out;
    AppendLine(out, 1, kSettingsVersion);
    int lineNumber = 2;
    for (const FieldRef& field : Fields(copy)) AppendLine(out, lineNumber++, ValueText(field));
    return out;
}

std::optional<AppSettings> DecodeSettingsFile(QByteArrayView text) {
    LineReader reader(text);
    if (reader.NextValue() != kSettingsVersion) return std::nullopt;
    AppSettings settings;
    for (const FieldRef& field : Fields(settings)) {
        if (reader.AtEnd()) break;
        const QByteArray value = reader.NextValue();
        if (field.kind == Kind::Text) {
            *field.text = QString::fromLatin1(value);
        } else {
            *field.number = LeadingInt32(value);
        }
    }
    return settings;
}
