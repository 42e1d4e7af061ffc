// Received bytes in chunks, as the terminal's log shows them: the hex view must give back every
// byte of each chunk, the plain view its text unchanged, after a stamp when time is on; stamped
// and hex chunks go on lines of their own.
#include <cstddef>
#include <cstdint>

#include "terminal/ReceivedView.h"
#include "terminal/TerminalRules.h"

namespace {

constexpr int kStampWidth = 15;  // "[hh:mm:ss.zzz] "
constexpr int kHexColumnWidth = term::kHexBytesPerLine * 3;

QByteArray HexColumnBytes(const QByteArray& text, int indent) {
    QByteArray bytes;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty() || line == "\r") continue;
        const QByteArray hex = line.mid(indent, kHexColumnWidth).simplified().replace(' ', "");
        bytes += QByteArray::fromHex(hex);
    }
    return bytes;
}

// A stamp, then the shown text (less the LF of a CR LF pair that the chunk before began).
bool TimeShown(const QByteArray& text, const QByteArray& shown) {
    const QByteArray stamp = "[23:59:59.999] ";
    return text.endsWith(stamp + shown) ||
           (shown.startsWith('\n') && text.endsWith(stamp + shown.mid(1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const term::ReceivedViewOptions options{(data[0] & 1) != 0, (data[0] & 2) != 0};
    const size_t step = data[1] + 1u;
    const QByteArray stream(reinterpret_cast<const char*>(data) + 2,
                            static_cast<qsizetype>(size - 2));
    term::ReceivedView view;
    const QTime now(23, 59, 59, 999);
    for (qsizetype at = 0; at < stream.size(); at += static_cast<qsizetype>(step)) {
        const QByteArray chunk = stream.mid(at, static_cast<qsizetype>(step));
        const QByteArray shown = term::DisplayPart(chunk).toByteArray();
        const term::ReceivedText received = view.Format(chunk, shown, options, now);
        const QByteArray& text = received.text;
        if (received.ownLine != ((options.hex || options.time) && !text.isEmpty())) {
            __builtin_trap();
        } else if (options.hex) {
            if (HexColumnBytes(text, options.time ? kStampWidth : 0) != chunk) __builtin_trap();
        } else if (!options.time && text != shown) {
            __builtin_trap();
        } else if (options.time && !text.isEmpty() && !TimeShown(text, shown)) {
            __builtin_trap();
        }
    }
    return 0;
}
