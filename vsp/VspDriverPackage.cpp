#include "vsp/VspDriverPackage.h"

#include <QStringList>

namespace vspinf {
namespace {

// A line's fields: field 0 left of "=", then the comma-separated values; quotes dropped.
QStringList Fields(const QString& line) {
    QStringList fields;
    const qsizetype equals = line.indexOf('=');
    fields << (equals < 0 ? QString() : line.left(equals).trimmed());
    for (const QString& value : line.mid(equals + 1).split(',')) {
        QString field = value.trimmed();
        if (field.size() >= 2 && field.startsWith('"') && field.endsWith('"'))
            field = field.mid(1, field.size() - 2);
        fields << field;
    }
    return fields;
}

// The first line of a section, comments and blank lines skipped.
std::optional<QString> FirstLine(const QStringList& lines, const QString& section,
                                 uint32_t* error) {
    const QString header = '[' + section + ']';
    qsizetype at = -1;
    for (qsizetype i = 0; i < lines.size() && at < 0; ++i) {
        if (lines[i].trimmed().compare(header, Qt::CaseInsensitive) == 0) at = i;
    }
    if (at < 0) {
        *error = kSectionNotFound;
        return std::nullopt;
    }
    for (qsizetype i = at + 1; i < lines.size(); ++i) {
        QString line = lines[i];
        if (const qsizetype comment = line.indexOf(';'); comment >= 0) line.truncate(comment);
        line = line.trimmed();
        if (line.startsWith('[')) break;
        if (!line.isEmpty()) return line;
    }
    *error = kLineNotFound;
    return std::nullopt;
}

}  // namespace

std::optional<QString> FirstHardwareId(QByteArrayView infText, uint32_t* error) {
    const QStringList lines =
        QString::fromLatin1(infText.data(), infText.size()).split(QLatin1Char('\n'));
    const auto manufacturer = FirstLine(lines, QStringLiteral("Manufacturer"), error);
    if (!manufacturer) return std::nullopt;
    const QStringList vendor = Fields(*manufacturer);
    if (vendor.size() < 2 || vendor[1].isEmpty()) {
        *error = kLineNotFound;
        return std::nullopt;
    }
    const QString models = vendor.size() > 2 ? vendor[1] + '.' + vendor[2] : vendor[1];
    const auto model = FirstLine(lines, models, error);
    if (!model) return std::nullopt;
    const QStringList fields = Fields(*model);
    return fields.size() > 2 ? fields[2] : QString();
}

}  // namespace vspinf
