#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int kAskMs = 1000;  // before the window exists: nothing waits on it yet
const char kServerName[] = "veltro-window";
const char kLockName[] = "veltro-window.lock";

}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent),
      serverPath_(QDir(folder).filePath(QString::fromLatin1(kServerName))),
      lock_(QDir(folder).filePath(QString::fromLatin1(kLockName))) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* other = server_.nextPendingConnection()) {
            connect(other, &QLocalSocket::disconnected, other, &QObject::deleteLater);
            other->disconnectFromServer();
            emit raiseRequested();
        }
    });
}

QString SingleInstance::RuntimeFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

bool SingleInstance::Claim() {
    // A lock left by a copy that died is taken over (QLockFile checks its process).
    if (!lock_.tryLock(0)) return !AskRunningCopy();
    QLocalServer::removeServer(serverPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(serverPath_);
    return true;
}

bool SingleInstance::AskRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(serverPath_);
    return socket.waitForConnected(kAskMs);
}
