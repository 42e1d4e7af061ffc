#include "tests/terminal/SocatPty.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include "tests/support/EventPump.h"

TestComDir::TestComDir() : previous_(qgetenv("VELTRO_COM_DIR")) {
    qputenv("VELTRO_COM_DIR", dir_.path().toLocal8Bit());
}

TestComDir::~TestComDir() {
    if (previous_.isEmpty())
        qunsetenv("VELTRO_COM_DIR");
    else
        qputenv("VELTRO_COM_DIR", previous_);
}

SocatPty::SocatPty(const QString& comDir, int comNumber)
    : comName_(QStringLiteral("COM%1").arg(comNumber)),
      link_(comDir + QLatin1Char('/') + comName_),
      peerLink_(comDir + QStringLiteral("/peer%1").arg(comNumber)) {
    // What socat says about a failure shows in the test's output.
    socat_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    socat_.start(QStringLiteral("socat"),
                 {QStringLiteral("PTY,link=%1,raw,echo=0").arg(link_),
                  QStringLiteral("PTY,link=%1,raw,echo=0").arg(peerLink_)});
    if (!socat_.waitForStarted()) return;
    if (!PumpUntil([&] { return QFileInfo::exists(link_) && QFileInfo::exists(peerLink_); }))
        return;
    peer_ = ::open(QFile::encodeName(peerLink_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

SocatPty::~SocatPty() {
    End();
}

void SocatPty::End() {
    if (peer_ >= 0) ::close(peer_);
    peer_ = -1;
    socat_.kill();
    socat_.waitForFinished();
}

void SocatPty::Write(QByteArrayView bytes) {
    qsizetype done = 0;
    PumpUntil([&] {
        Drain();
        const ssize_t n =
            ::write(peer_, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) done += n;
        return done == bytes.size();
    });
}

void SocatPty::Drain() {
    char buffer[65536];
    for (ssize_t n; (n = ::read(peer_, buffer, sizeof buffer)) > 0;) inbox_.append(buffer, n);
}

QByteArray SocatPty::Take(qsizetype count) {
    const QByteArray out = inbox_.first(std::min(count, inbox_.size()));
    inbox_.remove(0, out.size());
    return out;
}

QByteArray SocatPty::Read(qsizetype count, int guardMs) {
    PumpUntil(
        [&] {
            Drain();
            return inbox_.size() >= count;
        },
        guardMs);
    return Take(count);
}

QByteArray SocatPty::ReadQuiet(int quietMs) {
    QElapsedTimer idle;
    idle.start();
    qsizetype seen = inbox_.size();
    while (idle.elapsed() < quietMs) {
        PumpQuiet(10);
        Drain();
        if (inbox_.size() != seen) idle.restart();
        seen = inbox_.size();
    }
    return Take(inbox_.size());
}

QString SocatPty::Stty() const {
    QProcess stty;
    stty.start(QStringLiteral("stty"), {QStringLiteral("-a"), QStringLiteral("-F"), link_});
    stty.waitForFinished();
    return QString::fromLocal8Bit(stty.readAllStandardOutput());
}
