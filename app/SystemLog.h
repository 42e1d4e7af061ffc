#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "platform/UserPrompts.h"

// One line of the system log, as its three list columns show it.
struct LogRow {
    QString number;
    QString time;  // ends with " \r\n"
    QString message;

    bool operator==(const LogRow&) const = default;
};

inline constexpr char kLogFileHeader[] = "VELTRO Log File";
inline constexpr char kLogFileSeparator = '$';
// A "$" inside a saved text would split it into two fields and shift every row after it, so
// it is saved as the full-width dollar sign, which reads back as one character of the text.
inline constexpr char16_t kLogFileSeparatorStandIn = u'\uFF04';
inline constexpr qsizetype kLogFileMaxBytes = 20000;
inline constexpr qsizetype kLogFileMinBytes = 12;
inline constexpr char kLogFileFilter[] = "VELTRO Log files(*.log)";
inline constexpr char kStartedText[] = "Application starts successfully.";
inline constexpr char kSelectedInterfaceText[] = "Selected network interface: ";

// "%d-%d-%d--%d-%d-%d \r\n" of the local date and time.
QString FormatLogTime(const QDateTime& time);

// The header, "$", then every row's three columns each followed by "$"; a "$" inside a column
// is written as kLogFileSeparatorStandIn.
QByteArray EncodeLogFile(const std::vector<LogRow>& rows);
// nullopt when the header is wrong. Every complete field counts; a row is started by its
// number field, so a row cut short keeps the fields before the cut.
std::optional<std::vector<LogRow>> DecodeLogFile(QByteArrayView bytes);

// The numbered, time-stamped lines every part of the program writes to, with the log file
// commands. Views follow it through its signals.
class SystemLog : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<QDateTime()>;
    explicit SystemLog(UserPrompts& prompts, Clock clock = &QDateTime::currentDateTime,
                       QObject* parent = nullptr);

    void AddLog(const QString& message);
    // The two lines of every start: the program runs, and on which interface.
    void AddStartUpLines(const QString& hostAddress);

    // The folder the file dialogs start in: the one that holds the program's own files.
    void SetFileFolder(const QString& folder) { fileFolder_ = folder; }
    // Ask for a file name and write or read the log; false on cancel or failure.
    bool SaveLog();
    bool OpenLog();

    const std::vector<LogRow>& Rows() const { return rows_; }
    // Lines numbered so far; the next line gets this + 1.
    qint64 LineCount() const { return lineCount_; }

  signals:
    void RowAdded(int row);
    void RowsReset();

  private:
    void FileFailed(const QString& path);

    UserPrompts& prompts_;
    Clock clock_;
    QString fileFolder_;
    std::vector<LogRow> rows_;
    qint64 lineCount_ = 0;
};
