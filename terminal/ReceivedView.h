#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QTime>

// How a terminal's log shows received chunks beside the plain text: hex and ASCII columns,
// a time stamp before each chunk.
namespace term {

inline constexpr int kHexBytesPerLine = 16;
// Where 16 do not fit across the log, 8, else 4.
inline constexpr int kHexNarrowBytesPerLine = 8;
inline constexpr int kHexNarrowestBytesPerLine = 4;

// "[hh:mm:ss.zzz] " before a chunk's first line.
QByteArray TimeStamp(QTime time);

// Lines of up to perLine bytes: each byte as two hex digits and a space, padded to the full
// width, a space, then the bytes as characters ('.' for those outside 0x20-0x7E), CR LF. Every
// line after the first starts with `indent` spaces.
QByteArray HexLines(QByteArrayView bytes, int indent = 0, int perLine = kHexBytesPerLine);
// The most bytes a hex line may carry so that the line, time stamp included, fits `columns`.
int HexBytesPerLineFor(int columns, bool time);

struct ReceivedViewOptions {
    bool hex = false;
    bool time = false;
    int hexPerLine = kHexBytesPerLine;
};

// A received chunk as the log shows it. With Hex or Time it goes on a line of its own: the log
// starts one first unless it stands at the start of a line.
struct ReceivedText {
    QByteArray text;
    bool ownLine = false;
};

// Formats received chunks; it remembers only whether the last chunk shown ended with a CR.
class ReceivedView {
  public:
    // `shown` is what the plain view shows of the chunk (after the zero byte and console rules);
    // the hex view shows every byte of `chunk`.
    ReceivedText Format(QByteArrayView chunk, QByteArrayView shown, ReceivedViewOptions options,
                        QTime now);

  private:
    bool afterCr_ = false;  // the last data byte shown was a CR, whose LF may follow
};

}  // namespace term
