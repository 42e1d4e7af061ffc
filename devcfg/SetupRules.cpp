#include "devcfg/SetupRules.h"

#include <algorithm>

QString OverLongMessage(const QString& label, int limit, bool editable) {
    if (!editable)
        return QStringLiteral(
                   "%1: The text has more than %2 characters and cannot be edited here; Load a "
                   "setting file with a shorter one.")
            .arg(label)
            .arg(limit);
    return QStringLiteral("%1: Please enter no more than %2 characters.").arg(label).arg(limit);
}

namespace sheetscroll {

int RangeMaximum(int clientHeight) {
    return std::max(clientHeight / kPixelsPerRangeUnit, 0);
}

int Delta(Request request, int position, int maximum, int thumbPosition) {
    int delta = 0;
    switch (request) {
        case Request::LineUp:
            delta = -1;
            break;
        case Request::LineDown:
            delta = 1;
            break;
        case Request::PageUp:
            delta = std::min(-maximum, -1);
            break;
        case Request::PageDown:
            delta = std::max(maximum, 1);
            break;
        case Request::ThumbTrack:
            delta = thumbPosition - position;
            break;
        case Request::Top:
            delta = -position;
            break;
        case Request::Bottom:
            delta = maximum - position;
            break;
        case Request::Other:
            break;
    }
    return std::clamp(position + delta, 0, std::max(maximum, 0)) - position;
}

}  // namespace sheetscroll
