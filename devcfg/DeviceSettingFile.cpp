#include "devcfg/DeviceSettingFile.h"

#include "devcfg/SettingFileLines.h"
#include "devcfg/SetupRules.h"
#include "platform/RegularFile.h"
#include "protocol/DecimalText.h"
#include "protocol/Ipv4Address.h"

namespace settingfile {

using namespace detail;

namespace {

QByteArray Unsigned(int64_t value) {
    return QByteArray::number(static_cast<uint32_t>(value));
}

// A text holding a line break would shift every line after it.
QByteArray OneLine(const QString& text) {
    QByteArray bytes = text.toLatin1();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n' || bytes[i] == '\0') {
            bytes.truncate(i);
            break;
        }
    }
    return bytes;
}

// Whether a line reads the text back as it is: one word of Latin-1 characters.
bool HoldsWhole(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() > 0xFF || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0')
            return false;
    return true;
}

QByteArray ValueText(const V& v, const Line& l) {
    switch (l.kind) {
        case Kind::Version:
            return kVersion;
        case Kind::Text:
            return OneLine(v.*l.text);
        case Kind::Number:
            return QByteArray::number(v.*l.number);
        case Kind::Address:
            return Ipv4Address(v.*l.number).ToString().toLatin1();
        case Kind::List:
        case Kind::Dhcp:
            return Unsigned(v.*l.list);
        case Kind::ListSigned:
            return QByteArray::number(v.*l.list);
        case Kind::ListPlusOne:
            return QByteArray::number(v.*l.list < 0 ? 0 : v.*l.list + 1);
        case Kind::Check:
            return v.*l.check ? "1" : "0";
        case Kind::Wep64:
            return OneLine(v.wep64Keys[l.size]);
        case Kind::Wep128:
            return OneLine(v.wep128Keys[l.size]);
    }
    return {};
}

QByteArray FormatLine(int number, const QByteArray& value) {
    QByteArray line = value.leftJustified(kValueWidth, ' ');
    line += "\t\t// (";
    line += QByteArray::number(number).rightJustified(2, '0');
    line += ')';
    line += LineAt(number).description;
    line += "\r\n";
    return line;
}

int Position(int64_t value, int size) {
    return value >= 0 && value < size ? static_cast<int>(value) : kNoSelection;
}

bool IsValueEnd(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

}  // namespace

QString Description(int line) {
    if (line < 1 || line > kLineCount) return {};
    return QString::fromLatin1(LineAt(line).description);
}

Written Write(const DeviceSetupValues& values) {
    Written out;
    for (int number = 1; number <= kLineCount; ++number) {
        if (number == 2 && values.deviceName.contains(' ')) return out;
        const QString* text = TextOf(values, LineAt(number));
        if (text && !HoldsWhole(*text)) out.cut << number;
        out.text += FormatLine(number, ValueText(values, LineAt(number)));
    }
    out.complete = true;
    return out;
}

QStringList FullValues(const DeviceSetupValues& values) {
    QStringList out;
    for (int number = 1; number <= kLineCount; ++number) {
        const QString* text = TextOf(values, LineAt(number));
        out << (text ? *text : QString::fromLatin1(ValueText(values, LineAt(number))));
    }
    return out;
}

QList<QByteArray> LineValues(QByteArrayView file) {
    QList<QByteArray> values;
    for (const QByteArrayView line : SplitLines(file)) {
        qsizetype length = 0;
        while (length < line.size() && !IsValueEnd(line[length])) ++length;
        values << line.first(length).toByteArray();
    }
    return values;
}

void ApplyLine(DeviceSetupValues& v, int line, const QByteArray& value) {
    if (line < 2 || line > kLineCount) return;
    const Line& l = LineAt(line);
    const int64_t number = LeadingInt32(value);
    switch (l.kind) {
        case Kind::Version:
            break;
        case Kind::Text:
            v.*l.text = QString::fromLatin1(value);
            break;
        case Kind::Number:
            v.*l.number = static_cast<uint32_t>(number);
            break;
        case Kind::Address:
            v.*l.number = SheetAddress(QString::fromLatin1(value));
            break;
        case Kind::List:
        case Kind::ListSigned:
            v.*l.list = Position(number, l.size);
            break;
        case Kind::Dhcp:
            v.dhcp = Position(number, l.size);
            v.dhcpClientFlag = number != 0;
            break;
        case Kind::ListPlusOne:
            v.*l.list = Position(number - 1, l.size);
            break;
        case Kind::Check:
            v.*l.check = number != 0;
            break;
        case Kind::Wep64:
            v.wep64Keys[l.size] = QString::fromLatin1(value);
            break;
        case Kind::Wep128:
            v.wep128Keys[l.size] = QString::fromLatin1(value);
            break;
    }
}

bool ActsAtOnce(int line) {
    return line >= 2 && line <= kLineCount && LineAt(line).shows == Shows::AtOnce;
}

LoadReport Load(QByteArrayView file, DeviceSetupValues& values,
                const std::function<void(int line)>& applied) {
    const QList<QByteArray> lines = LineValues(file);
    const int count = static_cast<int>(lines.size());
    if (lines.isEmpty() || lines[0] != kVersion) return {LoadResult::VersionWrong, count};
    if (count < kLineCount) return {LoadResult::Short, count};
    for (int number = 2; number <= kLineCount; ++number) {
        ApplyLine(values, number, lines[number - 1]);
        if (applied) applied(number);
    }
    return {LoadResult::Loaded, count};
}

QString ShortFileMessage(int lineCount) {
    return QStringLiteral("The device setting file ends at line %1 of %2. Nothing was loaded.")
        .arg(lineCount)
        .arg(kLineCount);
}

std::optional<QByteArray> ReadFile(const QString& path, QString* why) {
    RegularFile file = ReadRegularFile(path, kMaxFileBytes);
    switch (file.status) {
        case RegularFile::Status::Read:
            return file.bytes;
        case RegularFile::Status::CannotOpen:
            *why = QStringLiteral("%1 %2").arg(kOpenFailed, path);
            break;
        case RegularFile::Status::NotRegular:
            *why = QStringLiteral("%1 is not a regular file").arg(path);
            break;
        case RegularFile::Status::TooLarge:
            *why = QStringLiteral("%1 is larger than any device setting file (%2 bytes)")
                       .arg(path)
                       .arg(kMaxFileBytes);
            break;
    }
    return std::nullopt;
}

}  // namespace settingfile
