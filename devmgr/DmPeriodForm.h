#pragma once

#include <QString>
#include <optional>

#include "devmgr/DmFrame.h"

// The fields of the timer setting dialog and how they are read back, as the dialog framework
// does it: field by field, each checked against its range, stopping at the first bad one.
namespace dmperiod {

enum class Field { kSearch, kRestore, kReboot };

struct Range {
    int min;
    int max;
};
inline constexpr Range kSearchRange{5, 1000};
inline constexpr Range kRestoreRange{10, 1000};
inline constexpr Range kRebootRange{10, 1000};

struct Texts {
    QString search;
    QString restore;
    QString reboot;
};

struct Failure {
    Field field;
    QString message;  // "Enter an integer." or the range message with the field's bounds
};

// An integer as the framework reads one: optional white space, an optional sign, decimal
// digits, optional white space, and nothing else; the value must fit an int.
std::optional<int> ParseInteger(const QString& text);

// Reads reboot, restore and search in this order into `working`. A value out of range has
// replaced its working period when the failure is returned; the fields after it are not read.
std::optional<Failure> ReadFields(const Texts& texts, DmPeriods& working);

// The dialog closes (by OK or Cancel) only while search and restore are in range.
bool AllowsClose(const DmPeriods& working);

}  // namespace dmperiod
