#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

#include "devcfg/DeviceSetupValues.h"
#include "ui/NumberLimits.h"

// The device setting file: the editable settings of one device as 70 text lines, each a value
// left-justified in 36 characters and a numbered comment. Readers take a line's value by the
// line's position and ignore the comments.
namespace settingfile {

inline constexpr int kLineCount = 70;
inline constexpr int kValueWidth = 36;
// Only the first 511 characters of a line are looked at; the rest of a longer line is
// skipped, so that the lines after it keep their positions.
inline constexpr int kMaxLineCharacters = 511;
// No setting file is larger: 70 lines of the most characters a line is looked at, and their
// line ends. A larger file is refused before it is read.
inline constexpr int64_t kMaxFileBytes = int64_t{kLineCount} * (kMaxLineCharacters + 2);
inline constexpr const char* kVersion = "VTM5800x_Dev_Config:V1.0.0";

inline constexpr const char* kVersionWrong = "Device File Version Wrong";
inline constexpr const char* kOpenFailed = "Failed to open file";
inline constexpr const char* kSaveName = "VTM5800x_Device_Setting";
inline constexpr const char* kSaveFilter = "VTM580x Device Setting files (*.txt)";
inline constexpr const char* kLoadName = "VT580xx_Device_Setting";
inline constexpr const char* kLoadFilter = "VT580xx Device Setting files (*.txt)";
inline constexpr const char* kSuffix = "txt";

// The comment text of a line (1-70) after its number.
QString Description(int line);

struct Written {
    QByteArray text;
    bool complete = false;  // false: the device name has a space; `text` holds line 1 only
    // The text lines whose value a line cannot hold as it is (a space, tab, line break, zero
    // byte or a character beyond Latin-1): a reader gets less than the device has.
    QList<int> cut;
};

// Lines 1-70, each ending in CR LF.
Written Write(const DeviceSetupValues& values);

// The value of each of the 70 lines as the setting holds it: a text whole, even where a line
// cannot hold it (Written::cut); the others as Write writes them.
QStringList FullValues(const DeviceSetupValues& values);

// The value of each line, at most 70: the text up to the first space, tab, line break or
// zero byte. Lines end in LF or CR LF; a last line without a line break counts.
QList<QByteArray> LineValues(QByteArrayView file);

// The whole value of each line, at most 70: the text before its comment (its first tab),
// without the spaces that pad it.
QList<QByteArray> WholeValues(QByteArrayView file);

// The lines whose whole value is not what its setting takes: a number in the setup sheet's
// range (or what its field holds), a list position of its list, a switch 0 or 1, an address
// of four decimal parts, a netmask of ones then zeros, one word for a text. Each as
// "line 8 (description): abc is not a number from 1024 to 65535". With `current`, a line whose
// value is the one `current` writes (an exported file's own) is taken as it is. The window's
// pages read the leading part and clamp instead; the command line refuses the file.
QStringList RefusedLines(QByteArrayView file, const DeviceSetupValues* current);

// The numbers a number, list or switch line takes; nullopt for a text or address line.
std::optional<NumberLimits> NumberRange(int line);

// Sets one line's setting (lines 2-70) from its value.
void ApplyLine(DeviceSetupValues& values, int line, const QByteArray& value);

// Whether a loaded line shows in its control at once rather than only setting a page field
// that the controls show after the last line (a column of the line table).
bool ActsAtOnce(int line);

enum class LoadResult { Loaded, VersionWrong, Short };
struct LoadReport {
    LoadResult result;
    int lineCount;  // lines the file holds, at most kLineCount

    bool operator==(const LoadReport&) const = default;
};

// Checks the whole file first: a wrong first line or a file that ends before line 70 changes
// nothing. Otherwise applies lines 2-70 in order, calling `applied(line)` after each.
LoadReport Load(QByteArrayView file, DeviceSetupValues& values,
                const std::function<void(int line)>& applied = {});

struct CheckedLoad {
    LoadReport report;
    QStringList refused;  // RefusedLines; when any, nothing was applied
};
// The command line's load: the file whole and checked (RefusedLines against `values`); then
// each line whose whole value differs from what `values` writes is applied, the others keep
// their setting as it is.
CheckedLoad LoadWhole(QByteArrayView file, DeviceSetupValues& values);

// The "Error Info" text for a file that ends early.
QString ShortFileMessage(int lineCount);

// A setting file's bytes, read whole if it is a regular file of at most kMaxFileBytes; else
// nullopt with the reason in *why.
std::optional<QByteArray> ReadFile(const QString& path, QString* why);

}  // namespace settingfile
