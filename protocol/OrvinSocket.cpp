#include "protocol/OrvinSocket.h"

COrvinSocket::COrvinSocket(OrvinSocketOwner* owner, int kind) : owner_(owner), kind_(kind) {
    connect(this, &QUdpSocket::readyRead, this, &COrvinSocket::Forward);
}

void COrvinSocket::Forward() {
    if (!owner_) return;
    switch (kind_) {
        case kVsp:
            owner_->OnVspSocketData(*this);
            break;
        case kMonitor:
            owner_->OnMonitorSocketData(*this);
            break;
        default:
            break;
    }
}
