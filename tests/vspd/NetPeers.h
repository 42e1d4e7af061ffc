#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Test-owned peers on loopback: sockets, COM links, socat processes, and a pump that
// moves data both ways at once so that neither side's buffers can deadlock a test.
using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t size, uint32_t seed);

// Owns a descriptor.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd();
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1);

  private:
    int fd_;
};

// 127.0.0.1 at port.
sockaddr_in Loopback(uint16_t port);
// Listening TCP socket on 127.0.0.1 at *port, or an ephemeral one when *port is 0.
Fd TcpListen(uint16_t* port, int backlog = 4);
Fd AcceptWithin(int listenFd, int limitMs);
Fd TcpConnect(uint16_t port);
// UDP socket bound to 127.0.0.1 (ephemeral port when *port is 0).
Fd UdpBind(uint16_t* port);
uint16_t FreePort();
// A port of the COM directory, opened as a serial program opens it (non-blocking).
Fd OpenTty(const std::string& link);

bool WaitReadable(int fd, int limitMs);
bool WaitWritable(int fd, int limitMs);
// Reads whatever arrives within the limit, up to max bytes (one datagram for UDP).
Bytes ReadSome(int fd, size_t max, int limitMs);

// One side of a transfer. A datagram side writes chunks of at most chunk bytes, to dest
// when given.
struct PumpSide {
    explicit PumpSide(int descriptor = -1) : fd(descriptor) {}
    int fd;
    Bytes send;
    size_t chunk = 4096;
    bool datagram = false;
    sockaddr_in dest{};
    bool hasDest = false;
    Bytes received;
    std::vector<size_t> datagramSizes;
};
// Writes a.send into a and b.send into b while collecting what each receives, until
// each side has received expectA / expectB bytes or the limit passes. For datagram
// sides the writer waits for each chunk to arrive before sending the next (paced).
bool Pump(PumpSide& a, PumpSide& b, size_t expectA, size_t expectB, int limitMs);

// A child process, ended by its pid.
class Child {
  public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    pid_t pid() const { return pid_; }
    void Stop();

  private:
    pid_t pid_ = -1;
};

// Checks the condition every few milliseconds until it holds or the limit passes; for
// effects in another process that no descriptor of ours reports.
bool PollUntil(const std::function<bool()>& condition, int limitMs);
// Writes data into fd and reads the echo back, chunk by chunk.
Bytes EchoThrough(int fd, const Bytes& data, size_t chunk, int limitMs);
// Waits until something listens on TCP port (127.0.0.1) by connecting to it.
bool WaitTcpListening(uint16_t port, int limitMs);
// CPU time (user + system) of a process in clock ticks.
long CpuTicks(pid_t pid);
