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

std::optional<char> ConsoleInput::Typed(char key) {
    const auto u = static_cast<unsigned char>(key);
    if (key == kCarriageReturn) {
        typed_ = 0;
        return key;
    }
    if (u >= 0x21 && u <= 0x7F) {
        ++typed_;
        return key;
    }
    if (key == kBackspace && typed_ > 0) return key;
    return std::nullopt;
}

bool LogNeedsEmptying(LogKind kind, int lines, int chars) {
    const int maxLines = kind == LogKind::kStatus ? kStatusLogMaxLines : kDataLogMaxLines;
    return lines > maxLines || chars > kLogMaxChars;
}

QString LogText(QByteArrayView bytes, bool* afterCr) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const bool skip = c == kLineFeed && *afterCr;
        *afterCr = c == kCarriageReturn;
        if (skip) continue;
        text.append(c == kCarriageReturn ? QChar(u'\n') : QChar::fromLatin1(c));
    }
    return text;
}

}  // namespace term
