#include "terminal/ComPorts.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFileInfo>

#include "vspd/VspdPaths.h"

namespace {

// Unix98 pseudo-terminal slaves use eight majors from 136.
constexpr unsigned kPtySlaveFirstMajor = 136;
constexpr unsigned kPtySlaveMajorCount = 8;

}  // namespace

QString ComDirectory() {
    return QString::fromStdString(vspd::DefaultComDir());
}

int ComNumber(const QString& name) {
    if (!name.startsWith(QLatin1String("COM"))) return 0;
    const QStringView digits = QStringView(name).mid(3);
    if (digits.isEmpty() || digits.front() == u'0') return 0;
    bool ok = false;
    const int number = digits.toInt(&ok);
    for (QChar c : digits)
        if (!c.isDigit()) return 0;
    return ok && number >= kFirstComNumber && number <= kLastComNumber ? number : 0;
}

QString ComDevicePath(const QString& name) {
    if (ComNumber(name) == 0) return {};
    return QDir(ComDirectory()).filePath(name);
}

bool IsPseudoTerminalPort(const QString& name) {
    const QString path = ComDevicePath(name);
    struct stat st {};
    if (path.isEmpty() || stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    const unsigned major = ::major(st.st_rdev);
    return S_ISCHR(st.st_mode) && major >= kPtySlaveFirstMajor &&
           major < kPtySlaveFirstMajor + kPtySlaveMajorCount;
}

QList<ComPortChoice> ScanComPorts(const QSet<QString>& held) {
    QList<ComPortChoice> found;
    const QDir dir(ComDirectory());
    for (int n = kFirstComNumber; n <= kLastComNumber; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        // Follows the link without opening the device: a dangling link is no port.
        if (QFileInfo::exists(dir.filePath(name))) found.append({name, held.contains(name)});
    }
    return found;
}
