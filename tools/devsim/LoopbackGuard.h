#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <cstdint>

class QUdpSocket;

// The simulator answers whoever asked, so a forged or misrouted sender could make it talk to
// the outside world. Every datagram it sends passes through here: only 127.0.0.0/8 is allowed.
namespace devsim {

// Host-order addresses: within 127.0.0.0/8, and fit for a device (neither .0 nor .255, which
// look like network and broadcast addresses to people and to some code).
bool InLoopbackNet(uint32_t address);
bool IsAssignableLoopback(uint32_t address);

bool IsLoopbackDestination(const QHostAddress& address);

// Sends when the destination is loopback; false (nothing sent) otherwise or on a send error.
bool SendToLoopback(QUdpSocket& socket, const QByteArray& data, const QHostAddress& to,
                    uint16_t port);

}  // namespace devsim
