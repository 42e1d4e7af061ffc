// Measures one serial-over-network bridge (veltro-vspd or socat) from the outside: the
// COM link on one side, a TCP or UDP peer of its own on the other. run-compare.sh starts
// the bridge through --then once the peer listens, and compares the figures.
//   vspd_bench tcp-up   --link L --port P --size N --then CMD   link -> TCP sink
//   vspd_bench tcp-down --link L --port P --size N --then CMD   TCP source -> link
//   vspd_bench echo     --link L --port P --count N --then CMD  1-byte round trips
//   vspd_bench udp-up   --link L --port P --size N --then CMD   link -> UDP sink
//   vspd_bench udp-down --link L --port P --count N --rate R --dgram S --then CMD
//                                                              paced datagrams -> link
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/SocketAddress.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAcceptLimitMs = 10000;
constexpr int kQuietMs = 500;
constexpr size_t kChunk = 65536;
constexpr int kWarmup = 50;
constexpr int kUdpBuffer = 4 * 1024 * 1024;

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "vspd_bench: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

sockaddr_in Loopback(uint16_t port) {
    return net::Ipv4SocketAddress(INADDR_LOOPBACK, port);
}

int Listen(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a = Loopback(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(fd, 4) != 0)
        Die("listen");
    return fd;
}

int Accept(int listenFd) {
    pollfd p{listenFd, POLLIN, 0};
    if (poll(&p, 1, kAcceptLimitMs) <= 0) Die("no connection from the bridge");
    int fd = accept(listenFd, nullptr, nullptr);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return fd;
}

int Udp(uint16_t port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kUdpBuffer, sizeof(kUdpBuffer));
    sockaddr_in a = Loopback(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) Die("udp bind");
    return fd;
}

int OpenLink(const std::string& link) {
    for (int i = 0; i < 500; ++i) {
        int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) {
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
            return fd;
        }
        usleep(10000);
    }
    Die(link.c_str());
}

void RunThen(const std::string& command) {
    if (!command.empty() && std::system(command.c_str()) != 0) Die("--then command failed");
}

void WriteAll(int fd, size_t size) {
    std::vector<uint8_t> buffer(kChunk, 0x5A);
    for (size_t done = 0; done < size;) {
        ssize_t n = write(fd, buffer.data(), std::min(kChunk, size - done));
        if (n <= 0) Die("write");
        done += size_t(n);
    }
}

void ReadAll(int fd, size_t size) {
    std::vector<uint8_t> buffer(kChunk);
    for (size_t done = 0; done < size;) {
        ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0) Die("read");
        done += size_t(n);
    }
}

// Reads until nothing came for kQuietMs; the byte count and when the last byte came.
std::pair<size_t, Clock::time_point> ReadUntilQuiet(int fd) {
    std::vector<uint8_t> buffer(kChunk);
    size_t total = 0;
    Clock::time_point last = Clock::now();
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, kQuietMs) > 0) {
        ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        total += size_t(n);
        last = Clock::now();
    }
    return {total, last};
}

int Stream(bool up, const std::string& link, uint16_t port, size_t size, const std::string& then) {
    int listener = Listen(port);
    RunThen(then);
    int sock = Accept(listener);
    int tty = OpenLink(link);
    auto start = Clock::now();
    std::thread writer([&] { WriteAll(up ? tty : sock, size); });
    ReadAll(up ? sock : tty, size);
    auto took = Clock::now() - start;
    writer.join();
    std::printf("seconds=%.4f MBps=%.1f\n", Seconds(took), size / Seconds(took) / 1e6);
    return 0;
}

int Echo(const std::string& link, uint16_t port, int count, const std::string& then) {
    int listener = Listen(port);
    RunThen(then);
    int sock = Accept(listener);
    std::thread echo([sock] {
        char c[256];
        for (;;) {
            ssize_t n = read(sock, c, sizeof(c));
            if (n <= 0 || write(sock, c, size_t(n)) != n) return;
        }
    });
    int tty = OpenLink(link);
    std::vector<double> micros;
    for (int i = 0; i < kWarmup + count; ++i) {
        char c = char(i), back = 0;
        auto start = Clock::now();
        if (write(tty, &c, 1) != 1 || read(tty, &back, 1) != 1 || back != c) Die("echo");
        if (i >= kWarmup) micros.push_back(Seconds(Clock::now() - start) * 1e6);
    }
    std::sort(micros.begin(), micros.end());
    std::printf("median_us=%.1f p90_us=%.1f\n", micros[micros.size() / 2],
                micros[micros.size() * 9 / 10]);
    shutdown(sock, SHUT_RDWR);
    echo.join();
    return 0;
}

int UdpUp(const std::string& link, uint16_t port, size_t size, const std::string& then) {
    int sink = Udp(port);
    RunThen(then);
    int tty = OpenLink(link);
    auto start = Clock::now();
    std::thread writer([&] { WriteAll(tty, size); });
    auto [received, last] = ReadUntilQuiet(sink);
    writer.join();
    double took = Seconds(last - start);
    std::printf("seconds=%.4f MBps=%.1f loss_pct=%.3f\n", took, received / took / 1e6,
                100.0 * (1.0 - double(received) / double(size)));
    return 0;
}

int UdpDown(const std::string& link, uint16_t port, int count, int rate, size_t dgram,
            const std::string& then) {
    RunThen(then);
    int tty = OpenLink(link);
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in dest = Loopback(port);
    std::atomic<size_t> received{0};
    std::thread reader([&] { received = ReadUntilQuiet(tty).first; });
    std::vector<uint8_t> payload(dgram, 0xA5);
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::nanoseconds(int64_t(1e9) * i / rate));
        sendto(sock, payload.data(), dgram, 0, reinterpret_cast<sockaddr*>(&dest), sizeof(dest));
    }
    reader.join();
    size_t sent = size_t(count) * dgram;
    std::printf("sent=%zu received=%zu loss_pct=%.3f\n", sent, size_t(received),
                100.0 * (1.0 - double(received) / double(sent)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: see the comment at the top of vspd_bench.cpp\n", stderr);
        return 2;
    }
    std::string mode = argv[1];
    std::map<std::string, std::string> opt;
    for (int i = 2; i + 1 < argc; i += 2) opt[argv[i]] = argv[i + 1];
    auto num = [&](const char* key, long fallback) {
        return opt.count(key) ? std::atol(opt[key].c_str()) : fallback;
    };
    std::string link = opt["--link"], then = opt["--then"];
    uint16_t port = uint16_t(num("--port", 0));
    size_t size = size_t(num("--size", 64L << 20));
    if (mode == "tcp-up" || mode == "tcp-down")
        return Stream(mode == "tcp-up", link, port, size, then);
    if (mode == "echo") return Echo(link, port, int(num("--count", 1000)), then);
    if (mode == "udp-up") return UdpUp(link, port, size, then);
    if (mode == "udp-down") {
        return UdpDown(link, port, int(num("--count", 20000)), int(num("--rate", 20000)),
                       size_t(num("--dgram", 1024)), then);
    }
    std::fputs("vspd_bench: unknown mode\n", stderr);
    return 2;
}
