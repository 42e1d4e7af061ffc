#include "devmgr/DmPeriodForm.h"

#include <array>
#include <limits>

namespace dmperiod {

namespace {

bool InRange(int value, Range range) {
    return value >= range.min && value <= range.max;
}

}  // namespace

std::optional<int> ParseInteger(const QString& text) {
    const QString trimmed = text.trimmed();
    int pos = 0;
    bool negative = false;
    if (pos < trimmed.size() && (trimmed[pos] == '+' || trimmed[pos] == '-'))
        negative = trimmed[pos++] == '-';
    if (pos >= trimmed.size()) return std::nullopt;
    int64_t value = 0;
    for (; pos < trimmed.size(); ++pos) {
        const QChar c = trimmed[pos];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > int64_t{std::numeric_limits<int>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<Failure> ReadFields(const Texts& texts, DmPeriods& working) {
    struct Step {
        Field field;
        const QString& text;
        int& value;
        Range range;
    };
    const std::array<Step, 3> order{{
        {Field::kReboot, texts.reboot, working.reboot, kRebootRange},
        {Field::kRestore, texts.restore, working.restore, kRestoreRange},
        {Field::kSearch, texts.search, working.search, kSearchRange},
    }};
    for (const Step& step : order) {
        const std::optional<int> value = ParseInteger(step.text);
        if (!value) return Failure{step.field, QStringLiteral("Enter an integer.")};
        step.value = *value;
        if (!InRange(*value, step.range))
            return Failure{step.field, QStringLiteral("Enter an integer between %1 and %2.")
                                           .arg(step.range.min)
                                           .arg(step.range.max)};
    }
    return std::nullopt;
}

bool AllowsClose(const DmPeriods& working) {
    return InRange(working.search, kSearchRange) && InRange(working.restore, kRestoreRange);
}

}  // namespace dmperiod
