#include "terminal/HeldPortsQuery.h"

#include <span>

#include "protocol/ByteOrder.h"
#include "vspd/ControlClient.h"
#include "vspd/ControlProtocol.h"

HeldPortsQuery::HeldPortsQuery(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {
    deadline_.setSingleShot(true);
    deadline_.setInterval(vspd::kReplyLimitMs);
    connect(&deadline_, &QTimer::timeout, this, [this] { Finish({}); });
    connect(&socket_, &QLocalSocket::connected, this, &HeldPortsQuery::OnConnected);
    connect(&socket_, &QLocalSocket::readyRead, this, &HeldPortsQuery::OnReadable);
    connect(&socket_, &QLocalSocket::errorOccurred, this, [this] { Finish({}); });
}

void HeldPortsQuery::Ask() {
    if (asking_) return;
    asking_ = true;
    reply_.clear();
    deadline_.start();
    socket_.connectToServer(socketPath_);
}

void HeldPortsQuery::OnConnected() {
    const std::vector<uint8_t> frame = vspd::Frame(vspd::EncodeRequest(vspd::ListRequest{}));
    socket_.write(reinterpret_cast<const char*>(frame.data()), static_cast<qint64>(frame.size()));
}

void HeldPortsQuery::OnReadable() {
    reply_ += socket_.readAll();
    if (reply_.size() < static_cast<qsizetype>(vspd::kFrameHeaderSize)) return;
    const auto* bytes = reinterpret_cast<const uint8_t*>(reply_.constData());
    const uint32_t length = bytes::GetLE32(bytes);
    if (length > vspd::kMaxReplyBody) return Finish({});
    if (reply_.size() < static_cast<qsizetype>(vspd::kFrameHeaderSize + length)) return;
    const std::optional<vspd::Reply> reply =
        vspd::DecodeReply(std::span(bytes + vspd::kFrameHeaderSize, length));
    QSet<QString> held;
    if (reply && reply->op == vspd::Op::List)
        for (const vspd::PortEntry& port : reply->ports)
            if (port.ttyOpen != 0) held.insert(QString::fromStdString(port.portName));
    Finish(held);
}

void HeldPortsQuery::Finish(const QSet<QString>& held) {
    if (!asking_) return;
    asking_ = false;
    deadline_.stop();
    socket_.abort();
    // A refused connection fails inside connectToServer: the answer still comes after Ask.
    QMetaObject::invokeMethod(
        this, [this, held] { emit answered(held); }, Qt::QueuedConnection);
}
