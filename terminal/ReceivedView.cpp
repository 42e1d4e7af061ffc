#include "terminal/ReceivedView.h"

#include <algorithm>

#include "terminal/TerminalRules.h"

namespace term {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kHexDigitsWidth = 3;   // "4F "
constexpr int kTimeStampWidth = 15;  // "[hh:mm:ss.zzz] "
constexpr char kLineEnd[] = "\r\n";

int HexLineWidth(int perLine) {
    return perLine * kHexDigitsWidth + 1 + perLine;
}

bool IsPrintable(char c) {
    return c >= 0x20 && c <= 0x7E;
}

}  // namespace

QByteArray TimeStamp(QTime time) {
    return time.toString(QStringLiteral("[hh:mm:ss.zzz] ")).toLatin1();
}

int HexBytesPerLineFor(int columns, bool time) {
    const int stamp = time ? kTimeStampWidth : 0;
    for (int perLine : {kHexBytesPerLine, kHexNarrowBytesPerLine})
        if (stamp + HexLineWidth(perLine) <= columns) return perLine;
    return kHexNarrowestBytesPerLine;
}

QByteArray HexLines(QByteArrayView bytes, int indent, int perLine) {
    QByteArray out;
    for (qsizetype start = 0; start < bytes.size(); start += perLine) {
        const QByteArrayView line =
            bytes.sliced(start).first(std::min<qsizetype>(perLine, bytes.size() - start));
        if (start > 0) out.append(indent, ' ');
        for (char c : line) {
            const auto b = static_cast<unsigned char>(c);
            out += kHexDigits[b >> 4];
            out += kHexDigits[b & 0x0F];
            out += ' ';
        }
        out.append((perLine - line.size()) * kHexDigitsWidth + 1, ' ');
        for (char c : line) out += IsPrintable(c) ? c : '.';
        out += kLineEnd;
    }
    return out;
}

ReceivedText ReceivedView::Format(QByteArrayView chunk, QByteArrayView shown,
                                  ReceivedViewOptions options, QTime now) {
    if (options.hex) {
        afterCr_ = false;
        if (chunk.isEmpty()) return {};
        const QByteArray stamp = options.time ? TimeStamp(now) : QByteArray();
        return {stamp + HexLines(chunk, static_cast<int>(stamp.size()), options.hexPerLine), true};
    }
    // With time stamps, the LF of a CR LF pair split across two chunks ends the line that the
    // CR already ended, rather than a stamped line of its own.
    if (options.time && afterCr_ && shown.startsWith(kLineFeed)) shown = shown.sliced(1);
    if (shown.isEmpty()) {
        afterCr_ = false;
        return {};
    }
    afterCr_ = shown.back() == kCarriageReturn;
    if (!options.time) return {shown.toByteArray(), false};
    return {TimeStamp(now) + shown.toByteArray(), true};
}

}  // namespace term
