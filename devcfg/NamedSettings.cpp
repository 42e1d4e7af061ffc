#include "devcfg/NamedSettings.h"

#include <array>
#include <vector>

#include "devcfg/DeviceConfigRecord.h"
#include "devcfg/DeviceSettingFile.h"
#include "devcfg/ValueLists.h"

namespace namedsettings {

namespace {

using V = DeviceSetupValues;

enum class Kind {
    kNumber,  // an unsigned number within its setting file line's range
    kList,    // a value of `list`, kept as its position
    kChoice,  // one of `choices`, kept as its position
    kText,    // at most `width` characters, no spaces
};

struct NamedSetting {
    const char* key;
    Kind kind;
    void (*apply)(V&, const Checked&);
    Checked (*read)(const V&);  // the setting as `apply` takes it
    int line = 0;               // of the device setting file, for a number's range
    const ValueList* list = nullptr;
    std::vector<const char*> choices{};
    int width = 0;
};

// clang-format off
const std::array<NamedSetting, 12> kSettings{{
    {"operating_mode", Kind::kChoice,
     [](V& v, const Checked& s) { v.operationMode = static_cast<int>(s.number); },
     [](const V& v) { return Checked{0, static_cast<uint32_t>(v.operationMode), {}}; }, 0, nullptr,
     {"socket", "vcom", "rfc2217", "modbus_gateway"}},
    {"role", Kind::kChoice, [](V& v, const Checked& s) { v.clientMode = s.number == 1; },
     [](const V& v) { return Checked{0, v.clientMode ? 1u : 0u, {}}; }, 0,
     nullptr, {"server", "client"}},
    {"protocol", Kind::kChoice,
     [](V& v, const Checked& s) {
         v.udp = s.number == 1;
         v.tcp = s.number == 0;
     },
     [](const V& v) { return Checked{0, v.udp ? 1u : 0u, {}}; },
     0, nullptr, {"tcp", "udp"}},
    {"data_listening_port", Kind::kNumber,
     [](V& v, const Checked& s) { v.listenPort = s.number; },
     [](const V& v) { return Checked{0, v.listenPort, {}}; }, 8},
    {"destination_port", Kind::kNumber,
     [](V& v, const Checked& s) { v.destinationPort = s.number; },
     [](const V& v) { return Checked{0, v.destinationPort, {}}; }, 9},
    {"destination_host", Kind::kText,
     [](V& v, const Checked& s) { v.destinationHost = s.text; },
     [](const V& v) { return Checked{0, 0, v.destinationHost}; }, 0, nullptr, {},
     devrec::destinationHost.width},
    {"transmission_timer", Kind::kNumber,
     [](V& v, const Checked& s) { v.transmitTimer = s.number; },
     [](const V& v) { return Checked{0, v.transmitTimer, {}}; }, 15},
    {"baud_rate", Kind::kList,
     [](V& v, const Checked& s) { v.baudRate = static_cast<int>(s.number); },
     [](const V& v) { return Checked{0, static_cast<uint32_t>(v.baudRate), {}}; }, 0,
     &lists::baudRate},
    {"data_bits", Kind::kList,
     [](V& v, const Checked& s) { v.dataBits = static_cast<int>(s.number); },
     [](const V& v) { return Checked{0, static_cast<uint32_t>(v.dataBits), {}}; }, 0,
     &lists::dataBits},
    {"parity", Kind::kChoice,
     [](V& v, const Checked& s) { v.parity = static_cast<int>(s.number); },
     [](const V& v) { return Checked{0, static_cast<uint32_t>(v.parity), {}}; }, 0, nullptr,
     {"none", "odd", "even"}},
    {"stop_bits", Kind::kList,
     [](V& v, const Checked& s) { v.stopBits = static_cast<int>(s.number); },
     [](const V& v) { return Checked{0, static_cast<uint32_t>(v.stopBits), {}}; }, 0,
     &lists::stopBits},
    {"flow_control", Kind::kChoice,
     [](V& v, const Checked& s) { v.flowControl = static_cast<int>(s.number); },
     [](const V& v) { return Checked{0, static_cast<uint32_t>(v.flowControl), {}}; }, 0, nullptr,
     {"off", "on"}},
}};
// clang-format on

QString ListText(const ValueList& list) {
    QStringList values;
    for (int i = 0; i < list.Size(); ++i) values << QString::number(list.ValueAt(i).value_or(0));
    return values.join(QStringLiteral(", "));
}

QString CheckNumber(const NamedSetting& setting, const Input& input, Checked& out) {
    const NumberLimits range = settingfile::NumberRange(setting.line).value_or(NumberLimits{});
    if (!input.number || *input.number < range.minimum || *input.number > range.maximum)
        return QStringLiteral("%1 is a number from %2 to %3")
            .arg(input.key)
            .arg(range.minimum)
            .arg(range.maximum);
    out.number = static_cast<uint32_t>(*input.number);
    return {};
}

QString CheckChoice(const NamedSetting& setting, const Input& input, Checked& out) {
    for (size_t i = 0; i < setting.choices.size(); ++i)
        if (input.text == QLatin1String(setting.choices[i])) {
            out.number = static_cast<uint32_t>(i);
            return {};
        }
    QStringList names;
    for (const char* choice : setting.choices)
        names << QStringLiteral("\"%1\"").arg(QLatin1String(choice));
    return QStringLiteral("%1 is one of %2").arg(input.key, names.join(QStringLiteral(", ")));
}

QString CheckValue(const NamedSetting& setting, const Input& input, Checked& out) {
    switch (setting.kind) {
        case Kind::kNumber:
            return CheckNumber(setting, input, out);
        case Kind::kList: {
            const auto position =
                input.number ? setting.list->PositionOf(*input.number) : std::nullopt;
            if (!position)
                return QStringLiteral("%1 is one of %2").arg(input.key, ListText(*setting.list));
            out.number = static_cast<uint32_t>(*position);
            return {};
        }
        case Kind::kChoice:
            return CheckChoice(setting, input, out);
        case Kind::kText:
            if (!input.text || input.text->size() > setting.width || input.text->contains(' '))
                return QStringLiteral("%1 is a text of at most %2 characters without spaces")
                    .arg(input.key)
                    .arg(setting.width);
            out.text = *input.text;
            return {};
    }
    return {};
}

}  // namespace

QStringList Names() {
    QStringList names;
    for (const NamedSetting& setting : kSettings) names << QLatin1String(setting.key);
    return names;
}

QString Check(const Input& input, Checked& out) {
    for (size_t i = 0; i < kSettings.size(); ++i) {
        if (input.key != QLatin1String(kSettings[i].key)) continue;
        out = {static_cast<int>(i), 0, {}};
        return CheckValue(kSettings[i], input, out);
    }
    return QStringLiteral("unknown setting \"%1\"").arg(input.key);
}

void Apply(DeviceSetupValues& values, const Checked& setting) {
    kSettings.at(static_cast<size_t>(setting.index)).apply(values, setting);
}

int Count() {
    return static_cast<int>(kSettings.size());
}

Checked Read(const DeviceSetupValues& values, int index) {
    Checked value = kSettings.at(static_cast<size_t>(index)).read(values);
    value.index = index;
    return value;
}

QString Shown(const Checked& value) {
    const NamedSetting& setting = kSettings.at(static_cast<size_t>(value.index));
    const auto none = QStringLiteral("(none)");
    switch (setting.kind) {
        case Kind::kNumber:
            return QString::number(value.number);
        case Kind::kList: {
            const auto shown = setting.list->ValueAt(static_cast<int>(value.number));
            return shown ? QString::number(*shown) : none;
        }
        case Kind::kChoice:
            return value.number < setting.choices.size()
                       ? QString::fromLatin1(setting.choices[value.number])
                       : none;
        case Kind::kText:
            return value.text;
    }
    return none;
}

}  // namespace namedsettings
