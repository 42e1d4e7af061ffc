#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "devcfg/DeviceSetupValues.h"

// The settings that have a name of their own (a fleet inventory names them), each tied to its
// line of the device setting file: a number takes that line's range, which is the setup
// sheet's, so that the sheet, a setting file and a named setting refuse the same values.
namespace namedsettings {

struct Input {
    QString key;
    std::optional<int64_t> number;
    std::optional<QString> text;
};

// A checked value: a number, or the position of a choice or list entry, or a text.
struct Checked {
    int index = 0;  // into the named settings
    uint32_t number = 0;
    QString text;
};

// The names, in the order of the table.
QStringList Names();
// The reason the value is refused, or empty with `out` set.
QString Check(const Input& input, Checked& out);
void Apply(DeviceSetupValues& values, const Checked& setting);
int Count();
// Setting `index` of `values`, as Check would give it.
Checked Read(const DeviceSetupValues& values, int index);
// A value as the inventory writes it: a number, a list's value, a choice's name, a text.
QString Shown(const Checked& value);

}  // namespace namedsettings
