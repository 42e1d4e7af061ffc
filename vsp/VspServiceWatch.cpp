#include "vsp/VspServiceWatch.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "vspd/VspdPaths.h"

VspServiceWatch::VspServiceWatch(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

VspServiceWatch::~VspServiceWatch() {
    Close();
}

bool VspServiceWatch::Open() {
    if (IsOpen()) return true;
    sockaddr_un address;
    if (!vspd::UnixAddress(socketPath_.toStdString(), &address)) return false;
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    // A full backlog (a stopped service) answers EAGAIN at once: the next list tries again.
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 &&
        errno != EINPROGRESS) {
        Close();
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &VspServiceWatch::OnReadable);
    return true;
}

void VspServiceWatch::OnReadable() {
    char sink[64];
    const ssize_t n = recv(fd_, sink, sizeof(sink), MSG_DONTWAIT);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) return;
    Close();
    emit ended();
}

void VspServiceWatch::Close() {
    notifier_.reset();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}
