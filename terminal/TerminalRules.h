#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

// The terminal's fixed lists, limits and per-byte rules, without widgets or ports.
namespace term {

// The six lists of each terminal, in the order of their stored indexes, with the values the
// port takes. The baud rates 230400 and 460800 came after the first nine, so their indexes
// follow 921600's; the list shows the rates in rising order (kBaudShownOrder).
inline const QStringList kBaudTexts = {"1200",  "2400",   "4800",   "9600",   "19200", "38400",
                                       "57600", "115200", "921600", "230400", "460800"};
inline constexpr std::array<int, 11> kBaudRates = {1200,  2400,   4800,   9600,   19200, 38400,
                                                   57600, 115200, 921600, 230400, 460800};
inline constexpr std::array<int, 11> kBaudShownOrder = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 8};
inline const QStringList kDataBitsTexts = {"8", "7", "6", "5"};
inline constexpr std::array<int, 4> kDataBits = {8, 7, 6, 5};
inline const QStringList kParityTexts = {"Odd", "Even", "None"};
inline constexpr std::array<int, 3> kParities = {1, 2, 0};
inline const QStringList kStopBitsTexts = {"1", "1.5", "2"};
inline constexpr std::array<int, 3> kStopBits = {0, 1, 2};
inline const QStringList kFlowTexts = {"None", "Xon/Xoff", "Hardware"};
inline constexpr std::array<int, 3> kFlowControls = {0, 1, 2};

// The baud rate of a list index; 0 for an index outside the list.
int BaudRateAt(int index);

// TX interval and data length after the limits.
inline constexpr unsigned kMinTxInterval = 10;
inline constexpr unsigned kMaxTxInterval = 100000;
inline constexpr unsigned kMinTxLength = 1;
inline constexpr unsigned kMaxTxLength = 1472;
inline constexpr unsigned kBitsPerByte = 8;
inline constexpr unsigned kMsPerSecond = 1000;

struct TxValues {
    unsigned interval = 1000;  // ms
    unsigned length = 10;      // bytes per line, without CR LF
    bool operator==(const TxValues&) const = default;
};
// Clamps both values into their ranges, then caps the length to the bytes that fit into one
// interval at the baud rate (8 bits a byte, integer arithmetic).
TxValues ApplyTxLimits(qint64 interval, qint64 length, int baudRate);

// Auto Test lines: length copies of one character and CR LF; the characters run 0-9, A-Z,
// a-z and start again.
class AutoTestPattern {
  public:
    // The first line (all '0'); the next line carries '1'.
    QByteArray Start(unsigned length);
    QByteArray Next(unsigned length);

  private:
    char next_ = '0';
};

// Echo collects received bytes until a line end arrives or the echo timer fires.
class EchoBuffer {
  public:
    // Adds a whole chunk, zero bytes included; true when the buffer now holds CR or LF.
    bool Append(QByteArrayView chunk);
    QByteArray Take();
    bool IsEmpty() const { return bytes_.isEmpty(); }

  private:
    QByteArray bytes_;
};

// A chunk's text as the log shows it: up to its first zero byte.
QByteArrayView DisplayPart(const QByteArray& chunk);

inline constexpr char kBackspace = 0x08;
inline constexpr char kLineFeed = 0x0A;
inline constexpr char kCarriageReturn = 0x0D;
inline constexpr char kEscape = 0x1B;
inline constexpr unsigned char kUtf8FollowMask = 0xC0;
inline constexpr unsigned char kUtf8Follow = 0x80;  // a byte that continues a UTF-8 character

// Console mode (a device console at 9600 baud) and typing share the typed count: characters
// typed on the current line that the device may still take back with a backspace.
class ConsoleInput {
  public:
    // What a received chunk (its display part) inserts into the log in console mode.
    QByteArray Display(QByteArrayView text);
    // What typed bytes send to the port. A console takes no backspace beyond what was typed on
    // its line (it would erase its prompt); outside console mode every byte goes.
    QByteArray Typed(QByteArrayView bytes, bool console);
    int TypedCount() const { return typed_; }

  private:
    int typed_ = 0;
    char previous_ = 0;
};

// The log is emptied before an insertion once it has grown beyond these.
inline constexpr int kStatusLogMaxLines = 2000;
inline constexpr int kDataLogMaxLines = 1000;
inline constexpr int kLogMaxChars = 60000;
enum class LogKind { kStatus, kData };
bool LogNeedsEmptying(LogKind kind, int lines, int chars);

// What Enter sends, as the settings file keeps it.
enum class LineEnding { kCr = 0, kLf = 1, kCrLf = 2 };
inline const QStringList kLineEndingTexts = {"CR", "LF", "CR LF"};
QByteArray LineEndingBytes(LineEnding ending);
// A stored value, CR for one outside the list.
LineEnding LineEndingAt(int index);

// Bytes as log text, one character per byte: CR LF, CR and LF each end one line, also when a
// CR LF pair is split across chunks (afterCr carries the state between calls). Tab stays; a
// backspace stays as '\b' for the log to erase the character before it; every other control
// byte shows as a caret escape (ESC as "^[", DEL as "^?"), bytes 0x80 to 0x9F as "<9B>" and the
// rest as Latin-1, so that no byte shows as a missing glyph.
QString LogText(QByteArrayView bytes, bool* afterCr);

}  // namespace term
