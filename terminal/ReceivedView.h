#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QTime>

// How a terminal's log shows received chunks beside the plain text: hex and ASCII columns,
// a time stamp before each chunk.
namespace term {

inline constexpr int kHexBytesPerLine = 16;

// "[hh:mm:ss.zzz] " before a chunk's first line.
QByteArray TimeStamp(QTime time);

// Lines of up to 16 bytes: each byte as two hex digits and a space, padded to the full width,
// a space, then the bytes as characters ('.' for those outside 0x20-0x7E), CR LF. Every line
// after the first starts with `indent` spaces.
QByteArray HexLines(QByteArrayView bytes, int indent = 0);

struct ReceivedViewOptions {
    bool hex = false;
    bool time = false;
};

// Keeps track of where the log's data stands, so that a stamped or hex chunk starts on a
// line of its own.
class ReceivedView {
  public:
    // The log text for one chunk. `shown` is what the plain view shows of it (after the zero
    // byte and console rules); the hex view shows every byte of `chunk`.
    QByteArray Format(QByteArrayView chunk, QByteArrayView shown, ReceivedViewOptions options,
                      QTime now);
    // Status text ends its line; an emptied log starts with one.
    void LineEnded();

  private:
    // CR LF when the log's data stops mid-line.
    QByteArray LineBreak() const;

    bool atLineStart_ = true;
    bool afterCr_ = false;  // the last data byte shown was a CR, whose LF may follow
};

}  // namespace term
