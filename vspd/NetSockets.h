#pragma once

#include <netinet/in.h>

#include <cstdint>

// Socket set-up for the network side of a virtual port. Every descriptor is non-blocking;
// addresses and ports are in host order. On failure the functions return -1 with *err set.
namespace vspd {

// Starts a TCP connection. *err is 0 when it completed at once, EINPROGRESS while pending.
int StartTcpConnect(uint32_t ip, uint16_t port, int* err);
// Listens on one address of this machine, or on all of them (INADDR_ANY).
int OpenTcpListener(uint32_t localIp, uint16_t port, int* err);
// A UDP socket bound to localIp:localPort (any free port when 0 or taken), connected to
// the remote when remotePort is nonzero.
int OpenUdp(uint32_t localIp, uint16_t localPort, uint32_t remoteIp, uint16_t remotePort, int* err);
// Low delay, and keep-alive probes and a bound on unacknowledged data so that a peer
// that vanished is noticed within a minute.
void TuneStream(int fd);
// The pending error of a connecting socket.
int SocketError(int fd);
uint16_t LocalPort(int fd);

// The Windows code that a connection or listen failure is reported with.
uint32_t WinErrorOfErrno(int err);

}  // namespace vspd
