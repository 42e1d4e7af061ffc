#include "tools/devsim/SerialDataPort.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include "protocol/Ipv4Address.h"
#include "tools/devsim/LoopbackGuard.h"

namespace devsim {

namespace {
constexpr int kMaxDatagram = 65536;
}

SerialDataPort::SerialDataPort(uint32_t address, std::function<void(uint32_t, uint32_t)> counted,
                               std::function<void(const QString&)> log)
    : address_(address), counted_(std::move(counted)), log_(std::move(log)) {
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &SerialDataPort::Connect);
}

SerialDataPort::~SerialDataPort() {
    Close();
}

bool SerialDataPort::Open(const SerialConfig& config) {
    Close();
    config_ = config;
    carried_ = 0;
    const QHostAddress host(address_);
    if (config_.udp) {
        udp_ = std::make_unique<QUdpSocket>();
        if (!udp_->bind(host, config_.client ? 0 : config_.listenPort)) {
            Log(QStringLiteral("serial UDP port %1 is taken").arg(config_.listenPort));
            udp_.reset();
            return false;
        }
        connect(udp_.get(), &QUdpSocket::readyRead, this, &SerialDataPort::OnDatagrams);
        return true;
    }
    if (config_.client) {
        Connect();
        return true;
    }
    server_ = std::make_unique<QTcpServer>();
    if (!server_->listen(host, config_.listenPort)) {
        Log(QStringLiteral("serial TCP port %1 is taken").arg(config_.listenPort));
        server_.reset();
        return false;
    }
    connect(server_.get(), &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) Adopt(socket);
    });
    return true;
}

void SerialDataPort::Close() {
    retry_->stop();
    if (peer_) {
        peer_->disconnect(this);
        peer_->abort();
        peer_->deleteLater();
        peer_ = nullptr;
    }
    server_.reset();
    udp_.reset();
}

bool SerialDataPort::PeerConnected() const {
    return peer_ && peer_->state() == QAbstractSocket::ConnectedState;
}

uint16_t SerialDataPort::LocalPort() const {
    if (server_) return server_->serverPort();
    if (udp_) return udp_->localPort();
    return peer_ ? peer_->localPort() : 0;
}

void SerialDataPort::Connect() {
    const QHostAddress to(config_.destinationHost);
    if (!IsLoopbackDestination(to)) {
        Log(QStringLiteral("serial client: %1 is not loopback, not connecting")
                .arg(config_.destinationHost));
        return;
    }
    auto* socket = new QTcpSocket(this);
    socket->bind(QHostAddress(address_));
    Adopt(socket);
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket == peer_ && config_.client) retry_->start(kRetryMs);
    });
    socket->connectToHost(to, config_.destinationPort);
}

void SerialDataPort::Adopt(QTcpSocket* socket) {
    if (peer_) {
        peer_->disconnect(this);
        peer_->abort();
        peer_->deleteLater();
    }
    peer_ = socket;
    carried_ = 0;
    connect(socket, &QTcpSocket::readyRead, this, &SerialDataPort::OnTcpData);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (socket != peer_) return;
        peer_ = nullptr;
        socket->deleteLater();
        if (config_.client) retry_->start(kRetryMs);
    });
}

void SerialDataPort::OnTcpData() {
    if (!peer_) return;
    const QByteArray answer = Answer(peer_->readAll());
    if (!answer.isEmpty()) peer_->write(answer);
    if (config_.answer == SerialAnswer::CloseAfter && carried_ >= config_.closeAfter) {
        Log(QStringLiteral("serial side drops its peer after %1 bytes").arg(carried_));
        peer_->disconnectFromHost();
    }
}

void SerialDataPort::OnDatagrams() {
    while (udp_ && udp_->hasPendingDatagrams()) {
        const QNetworkDatagram d = udp_->receiveDatagram(kMaxDatagram);
        const QByteArray answer = Answer(d.data());
        if (!answer.isEmpty())
            SendToLoopback(*udp_, answer, d.senderAddress(), uint16_t(d.senderPort()));
    }
}

QByteArray SerialDataPort::Answer(const QByteArray& data) {
    QByteArray answer;
    if (config_.answer == SerialAnswer::Echo) {
        answer = data;
    } else if (config_.answer == SerialAnswer::CloseAfter && carried_ < config_.closeAfter) {
        answer = data.left(qsizetype(config_.closeAfter - carried_));
    }
    carried_ += uint32_t(data.size());
    if (counted_) counted_(uint32_t(data.size()), uint32_t(answer.size()));
    return answer;
}

void SerialDataPort::Log(const QString& text) const {
    if (log_) log_(QStringLiteral("%1 %2").arg(Ipv4Address(address_).ToString(), text));
}

}  // namespace devsim
