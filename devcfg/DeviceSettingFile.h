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
};

// Lines 1-70, each ending in CR LF.
Written Write(const DeviceSetupValues& values);

// The value of each line, at most 70: the text up to the first space, tab, line break or
// zero byte. Lines end in LF or CR LF; a last line without a line break counts.
QList<QByteArray> LineValues(QByteArrayView file);

// The lines whose value lies outside what its setting can hold: a number wider than its field
// in the record, a list position past its list, a switch other than 0 or 1, an address that is
// none. Each as "line 8 (description): 70000 is outside 0 to 65535". A line whose value is
// the one `current` writes (an exported file's own) is taken as it is. The window's pages
// clamp such values instead; the command line refuses the file.
QStringList OutOfRangeLines(QByteArrayView file, const DeviceSetupValues& current);

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

// The "Error Info" text for a file that ends early.
QString ShortFileMessage(int lineCount);

// A setting file's bytes, read whole if it is a regular file of at most kMaxFileBytes; else
// nullopt with the reason in *why.
std::optional<QByteArray> ReadFile(const QString& path, QString* why);

}  // namespace settingfile
