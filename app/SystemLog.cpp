#include "app/SystemLog.h"

#include <QFile>
#include <algorithm>

#include "platform/AtomicFile.h"
#include "protocol/DecimalText.h"

namespace {

constexpr qsizetype kHeaderLength = sizeof(kLogFileHeader) - 1;
constexpr qsizetype kFirstField = kHeaderLength + 1;  // past the header's "$"
constexpr int kFieldsPerRow = 3;

FileDialogRequest LogFileDialog(const char* title, const QString& folder) {
    return {QString::fromLatin1(title), folder, QString::fromLatin1(kLogFileFilter),
            QStringLiteral("log")};
}

// Numbering goes on after the last loaded number, and never below the rows there are, so
// odd numbers in a file cannot make the next line repeat or go backwards.
qint64 LineCountAfterLoad(const std::vector<LogRow>& rows) {
    if (rows.empty()) return 0;
    const qint64 last = LeadingInt32(rows.back().number.toUtf8());
    return std::max<qint64>(last, static_cast<qint64>(rows.size()));
}

}  // namespace

QString FormatLogTime(const QDateTime& time) {
    // One formatting pass: every logged line, one per firmware block, comes through here.
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf("%d-%d-%d--%d-%d-%d \r\n", d.year(), d.month(), d.day(), t.hour(),
                             t.minute(), t.second());
}

QByteArray EncodeLogFile(const std::vector<LogRow>& rows) {
    QByteArray out = QByteArray(kLogFileHeader) + kLogFileSeparator;
    for (const LogRow& row : rows) {
        for (const QString* field : {&row.number, &row.time, &row.message}) {
            out += QString(*field)
                       .replace(QLatin1Char(kLogFileSeparator), QChar(kLogFileSeparatorStandIn))
                       .toUtf8() +
                   kLogFileSeparator;
        }
    }
    return out;
}

std::optional<std::vector<LogRow>> DecodeLogFile(QByteArrayView bytes) {
    if (bytes.size() < kHeaderLength || bytes.first(kHeaderLength) != kLogFileHeader) {
        return std::nullopt;
    }
    std::vector<LogRow> rows;
    int fieldIndex = 0;
    qsizetype start = kFirstField;
    for (qsizetype i = kFirstField; i < bytes.size(); ++i) {
        if (bytes[i] != kLogFileSeparator) continue;
        const QString field = QString::fromUtf8(bytes.sliced(start, i - start));
        start = i + 1;
        switch (fieldIndex) {
            case 0:
                rows.push_back({field, {}, {}});
                break;
            case 1:
                rows.back().time = field;
                break;
            default:
                rows.back().message = field;
                break;
        }
        fieldIndex = (fieldIndex + 1) % kFieldsPerRow;
    }
    return rows;
}

SystemLog::SystemLog(UserPrompts& prompts, Clock clock, QObject* parent)
    : QObject(parent), prompts_(prompts), clock_(std::move(clock)) {}

void SystemLog::AddLog(const QString& message) {
    rows_.push_back({QString::number(lineCount_ + 1), FormatLogTime(clock_()), message});
    ++lineCount_;
    emit RowAdded(static_cast<int>(rows_.size() - 1));
}

void SystemLog::AddStartUpLines(const QString& hostAddress) {
    AddLog(QString::fromLatin1(kStartedText));
    AddLog(QString::fromLatin1(kSelectedInterfaceText) + hostAddress);
}

void SystemLog::FileFailed(const QString& path) {
    prompts_.FileFailure(QStringLiteral("Failed to open file") + path + QStringLiteral("! \r\n"));
}

bool SystemLog::SaveLog() {
    const QString path = prompts_.SaveFileName(LogFileDialog("Save As", fileFolder_));
    if (path.isEmpty()) return false;
    if (!WriteFileAtomically(path, EncodeLogFile(rows_))) {
        FileFailed(path);
        return false;
    }
    return true;
}

bool SystemLog::OpenLog() {
    const QString path = prompts_.OpenFileName(LogFileDialog("Open", fileFolder_));
    if (path.isEmpty()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        FileFailed(path);
        return false;
    }
    const QString corrupted = path + QStringLiteral(" file is corrupted!\r\n");
    if (file.size() < kLogFileMinBytes) prompts_.Inform(corrupted);
    if (file.size() > kLogFileMaxBytes) {
        prompts_.Inform(path + QStringLiteral(" file file size is too large!\r\n"));
    }
    auto rows = DecodeLogFile(file.read(kLogFileMaxBytes));
    if (!rows) {
        prompts_.Inform(corrupted);
        return false;
    }
    rows_ = std::move(*rows);
    lineCount_ = LineCountAfterLoad(rows_);
    emit RowsReset();
    return true;
}
