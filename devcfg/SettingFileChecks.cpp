// The command line's reading of a device setting file: each value whole, checked against what
// its setting takes.
#include <optional>

#include "devcfg/DeviceSettingFile.h"
#include "devcfg/SettingFileLines.h"
#include "devcfg/SetupMapping.h"
#include "devcfg/SetupRules.h"
#include "protocol/Ipv4Address.h"

namespace settingfile {

using namespace detail;

namespace {

// A whole number value has at most this many digits; more is out of every range.
constexpr int kMaxDigits = 10;

// A line's whole value as the unsigned decimal number it must be, or nullopt.
std::optional<int64_t> WholeNumber(QByteArrayView value) {
    if (value.isEmpty() || value.size() > kMaxDigits) return std::nullopt;
    int64_t number = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

// The numbers a line may hold, or nullopt for a text or address line.
std::optional<NumberLimits> Range(const Line& l) {
    switch (l.kind) {
        case Kind::Number:
            return l.limits;
        case Kind::List:
        case Kind::ListSigned:
        case Kind::Dhcp:
            return NumberLimits{0, static_cast<uint32_t>(l.size - 1)};
        case Kind::ListPlusOne:
            return NumberLimits{1, static_cast<uint32_t>(l.size)};
        case Kind::Check:
            return NumberLimits{0, 1};
        default:
            return std::nullopt;
    }
}

}  // namespace

QList<QByteArray> WholeValues(QByteArrayView file) {
    QList<QByteArray> values;
    for (QByteArrayView line : SplitLines(file)) {
        if (const qsizetype tab = line.indexOf('\t'); tab >= 0) line = line.first(tab);
        while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\r')) line.chop(1);
        values << line.toByteArray();
    }
    return values;
}

std::optional<NumberLimits> NumberRange(int line) {
    if (line < 1 || line > kLineCount) return std::nullopt;
    return Range(LineAt(line));
}

namespace {

QString WhyTextRefused(int number, const Line& l, QByteArrayView value) {
    const QString text = QString::fromLatin1(value);
    if (l.form == Form::Word) {
        if (!text.contains(' ')) return {};
        return number == 2 ? QString::fromLatin1(setupmsg::kNoSpaces).trimmed()
                           : QStringLiteral("holds a space, which this setting cannot take");
    }
    const std::optional<Ipv4Address> address = Ipv4Address::Parse(text);
    if (!address) return QStringLiteral("is not an IPv4 address");
    if (l.form == Form::Netmask && !address->IsNetmask()) return QStringLiteral("is not a netmask");
    return {};
}

QString WhyRefused(int number, QByteArrayView value) {
    const Line& l = LineAt(number);
    if (l.kind == Kind::Version) return {};
    if (const auto range = NumberRange(number)) {
        const std::optional<int64_t> n = WholeNumber(value);
        if (n && *n >= range->minimum && *n <= range->maximum) return {};
        return QStringLiteral("is not a number from %1 to %2")
            .arg(range->minimum)
            .arg(range->maximum);
    }
    return WhyTextRefused(number, l, value);
}

}  // namespace

QStringList RefusedLines(QByteArrayView file, const DeviceSetupValues* current) {
    const QList<QByteArray> lines = WholeValues(file);
    const QList<QByteArray> now = current ? WholeValues(Write(*current).text) : QList<QByteArray>();
    QStringList refused;
    for (int number = 2; number <= lines.size(); ++number) {
        const QByteArray& value = lines[number - 1];
        if (number <= now.size() && value == now[number - 1]) continue;
        if (const QString why = WhyRefused(number, value); !why.isEmpty())
            refused << QStringLiteral("line %1 (%2): %3 %4")
                           .arg(number)
                           .arg(Description(number), QString::fromLatin1(value), why);
    }
    return refused;
}

CheckedLoad LoadWhole(QByteArrayView file, DeviceSetupValues& values) {
    const QList<QByteArray> lines = WholeValues(file);
    const int count = static_cast<int>(lines.size());
    if (lines.isEmpty() || lines[0] != kVersion) return {{LoadResult::VersionWrong, count}, {}};
    if (count < kLineCount) return {{LoadResult::Short, count}, {}};
    CheckedLoad out{{LoadResult::Loaded, count}, RefusedLines(file, &values)};
    if (!out.refused.isEmpty()) return out;
    const QList<QByteArray> now = WholeValues(Write(values).text);
    for (int number = 2; number <= kLineCount; ++number)
        if (number > now.size() || lines[number - 1] != now[number - 1])
            ApplyLine(values, number, lines[number - 1]);
    return out;
}

}  // namespace settingfile
