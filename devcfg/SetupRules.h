#pragma once

#include <QString>
#include <cstdint>

#include "protocol/Ipv4Address.h"
#include "ui/NumberLimits.h"

// Rules of the setup sheet that need no widgets: the number edits' clamps, the sheet's
// scrolling and the text limits' message.

// Ranges of the Network page's number edits, applied when an edit is finished.
namespace limits {
inline constexpr NumberLimits kPort{1024, 65535};  // listening and destination port
inline constexpr NumberLimits kTransmitTimer{10, 65535};
inline constexpr NumberLimits kServicePort{0, 65535};  // SMTP security and MODBUS server port
inline constexpr NumberLimits kResponseTimeout{10, 65000};
inline constexpr NumberLimits kFrameDelay{10, 500};  // inter-frame and inter-character
}  // namespace limits

// An address edit's text as the sheet and the setting file convert it: the C library's
// conversion, a text it rejects giving 255.255.255.255 (host order).
inline uint32_t SheetAddress(const QString& text) {
    return Ipv4Address::ParseStandard(text).value_or(Ipv4Address::LimitedBroadcast()).HostOrder();
}

// The message for a text longer than its control allows, naming the control by its label. A
// control the user cannot edit got its text from a setting file: the message says to load
// another.
QString OverLongMessage(const QString& label, int limit, bool editable = true);

// The sheet's vertical scrolling, in units of kScrollUnitPixels.
namespace sheetscroll {

inline constexpr int kScrollUnitPixels = 5;
inline constexpr int kPixelsPerRangeUnit = 10;

enum class Request { LineUp, LineDown, PageUp, PageDown, ThumbTrack, Top, Bottom, Other };

// The range maximum (also the page size) for a client area of the given height.
int RangeMaximum(int clientHeight);
// How far a request moves the position, already clamped to 0..maximum.
int Delta(Request request, int position, int maximum, int thumbPosition = 0);

}  // namespace sheetscroll
