#include "terminal/TerminalRules.h"

#include <algorithm>

namespace term {

int BaudRateAt(int index) {
    return index >= 0 && index < static_cast<int>(kBaudRates.size())
               ? kBaudRates[static_cast<size_t>(index)]
               : 0;
}

TxValues ApplyTxLimits(qint64 interval, qint64 length, int baudRate) {
    TxValues v;
    v.interval =
        static_cast<unsigned>(std::clamp<qint64>(interval, kMinTxInterval, kMaxTxInterval));
    v.length = static_cast<unsigned>(std::clamp<qint64>(length, kMinTxLength, kMaxTxLength));
    const qint64 fits = static_cast<qint64>(baudRate) * v.interval / (kBitsPerByte * kMsPerSecond);
    if (v.length > fits) v.length = static_cast<unsigned>(std::max<qint64>(fits, kMinTxLength));
    return v;
}

namespace {

QByteArray Line(char c, unsigned length) {
    QByteArray line(static_cast<qsizetype>(length), c);
    line.append("\r\n");
    return line;
}

}  // namespace

QByteArray AutoTestPattern::Start(unsigned length) {
    next_ = '1';
    return Line('0', length);
}

QByteArray AutoTestPattern::Next(unsigned length) {
    if (next_ == '9' + 1) next_ = 'A';
    if (next_ == 'Z' + 1) next_ = 'a';
    if (next_ == 'z' + 1) next_ = '0';
    return Line(next_++, length);
}

bool EchoBuffer::Append(QByteArrayView chunk) {
    bytes_.append(chunk);
    return bytes_.contains(kCarriageReturn) || bytes_.contains(kLineFeed);
}

QByteArray EchoBuffer::Take() {
    return std::exchange(bytes_, {});
}

QByteArrayView DisplayPart(const QByteArray& chunk) {
    const qsizetype zero = chunk.indexOf('\0');
    return QByteArrayView(chunk).first(zero < 0 ? chunk.size() : zero);
}

QByteArray ConsoleInput::Display(QByteArrayView text) {
    if (text.isEmpty()) return {};
    const char b = text.front();
    const char p = std::exchange(previous_, b);
    switch (b) {
        case kBackspace:
            if (typed_ > 0) --typed_;
            return {};
        case kLineFeed:
            return {};
        case kCarriageReturn:
            return p == kCarriageReturn || p == kLineFeed ? QByteArray("\r\n") : QByteArray();
        case ' ':
            if (typed_ > 0 && p == kBackspace) return {};
            break;
        default:
            break;
    }
    return text.toByteArray();
}

QByteArray ConsoleInput::Typed(QByteArrayView bytes, bool console) {
    // An escape sequence (an arrow key) moves on the line without adding to it.
    const bool sequence = bytes.startsWith(kEscape);
    QByteArray sent;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == kCarriageReturn || c == kLineFeed) {
            typed_ = 0;
        } else if (c == kBackspace) {
            if (console && typed_ == 0) continue;
        } else if (u >= 0x20 && !sequence && (u & kUtf8FollowMask) != kUtf8Follow) {
            ++typed_;
        }
        sent += c;
    }
    return sent;
}

bool LogNeedsEmptying(LogKind kind, int lines, int chars) {
    const int maxLines = kind == LogKind::kStatus ? kStatusLogMaxLines : kDataLogMaxLines;
    return lines > maxLines || chars > kLogMaxChars;
}

QByteArray LineEndingBytes(LineEnding ending) {
    switch (ending) {
        case LineEnding::kLf:
            return QByteArray(1, kLineFeed);
        case LineEnding::kCrLf:
            return QByteArray("\r\n");
        case LineEnding::kCr:
            break;
    }
    return QByteArray(1, kCarriageReturn);
}

LineEnding LineEndingAt(int index) {
    return index >= 0 && index < kLineEndingTexts.size() ? static_cast<LineEnding>(index)
                                                         : LineEnding::kCr;
}

namespace {

constexpr char kDelete = 0x7F;
constexpr unsigned char kC1First = 0x80;
constexpr unsigned char kC1Last = 0x9F;
constexpr char kCaretOffset = 0x40;  // ^A is 0x01 + 0x40

void AppendShown(QString& text, char c) {
    const auto u = static_cast<unsigned char>(c);
    if (c == kCarriageReturn || c == kLineFeed) {
        text.append(u'\n');
    } else if (c == '\t' || c == kBackspace) {
        text.append(QChar::fromLatin1(c));
    } else if (u < 0x20) {
        text.append(u'^').append(QChar::fromLatin1(static_cast<char>(c + kCaretOffset)));
    } else if (c == kDelete) {
        text.append(QStringLiteral("^?"));
    } else if (u >= kC1First && u <= kC1Last) {
        text.append(QStringLiteral("<%1>").arg(u, 2, 16, QChar(u'0')).toUpper());
    } else {
        text.append(QChar::fromLatin1(c));
    }
}

}  // namespace

QString LogText(QByteArrayView bytes, bool* afterCr) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const bool skip = c == kLineFeed && *afterCr;
        *afterCr = c == kCarriageReturn;
        if (!skip) AppendShown(text, c);
    }
    return text;
}

}  // namespace term
