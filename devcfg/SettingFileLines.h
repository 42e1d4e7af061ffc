#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cstdint>

#include "devcfg/DeviceSetupValues.h"
#include "ui/NumberLimits.h"

// Inside the device setting file: what each of its 70 lines holds. DeviceSettingFile writes
// and reads the lines by this table, SettingFileChecks checks their values by it.
namespace settingfile::detail {

using V = DeviceSetupValues;

enum class Kind {
    Version,
    Text,
    Number,
    List,         // position, unsigned
    ListSigned,   // position, signed
    ListPlusOne,  // position + 1, 0 for no selection
    Check,
    Dhcp,
    Wep64,
    Wep128,
    Address,  // host-order number as dotted text
};

// What a text line's whole value must be besides one word.
enum class Form { Word, Address, Netmask };

// When a loaded line shows: at once in its control (list selections, the address edit it
// shows, the WiFi mode rules, WEP keys, the DHCP server's address controls), or only in the page
// field that the controls show after the last line.
enum class Shows { Later, AtOnce };
constexpr Shows later = Shows::Later;
constexpr Shows now = Shows::AtOnce;

struct Line {
    const char* description;
    Kind kind;
    Shows shows = later;
    QString V::*text = nullptr;
    uint32_t V::*number = nullptr;
    int V::*list = nullptr;
    bool V::*check = nullptr;
    int size = 0;  // list entries, or the WEP key number
    // A number's range: the setup sheet's where a page edits it, else what its field holds.
    NumberLimits limits{};
    Form form = Form::Word;
};

// Line 1-70.
const Line& LineAt(int line);
// The text a text or WEP key line writes, or null for another line.
const QString* TextOf(const V& v, const Line& l);
// The first 70 lines, each of at most kMaxLineCharacters, without their LF.
QList<QByteArrayView> SplitLines(QByteArrayView file);

}  // namespace settingfile::detail
