// What a program that opens a COM link right after another closed it reads: a peer on TCP
// sends numbered records without pause while sessions open the link, read a while and
// close it, one after the other with a gap between close and next open. Per gap it counts
// the sessions whose first bytes were sent before the previous session's close (stale),
// and those that missed a record sent after their open returned (lost).
//   reopen_bench --link L --port P --then CMD [--sessions N] [--gaps 0,1,10]
//                [--session-ms M] [--record-us U]
// run-reopen.sh starts the service and runs it.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/SocketAddress.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAcceptLimitMs = 10000;
constexpr size_t kMaxRecords = 4 * 1024 * 1024;

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "reopen_bench: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

int ListenAndRun(uint16_t port, const std::string& then) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a = net::Ipv4SocketAddress(INADDR_LOOPBACK, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(fd, 4) != 0)
        Die("listen");
    if (!then.empty() && std::system(then.c_str()) != 0) Die("--then command failed");
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kAcceptLimitMs) <= 0) Die("no connection from the port");
    int peer = accept(fd, nullptr, nullptr);
    setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    close(fd);
    return peer;
}

// The peer: record n is the line "n\n", sent at sent[n].
struct Peer {
    std::vector<Clock::time_point> sent = std::vector<Clock::time_point>(kMaxRecords);
    std::atomic<size_t> count{0};
    std::atomic<bool> stop{false};

    void Run(int sock, std::chrono::microseconds every) {
        auto next = Clock::now();
        for (size_t n = 0; n < kMaxRecords && !stop; ++n) {
            std::this_thread::sleep_until(next);
            next += every;
            std::string line = std::to_string(n) + "\n";
            sent[n] = Clock::now();
            count = n + 1;
            if (send(sock, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size())) {
                Die("send");
            }
        }
    }
    // The first record sent at or after t.
    size_t FirstSentFrom(Clock::time_point t) const {
        size_t n = count;
        while (n > 0 && sent[n - 1] >= t) --n;
        return n;
    }
};

struct Session {
    bool stale = false;
    bool lost = false;
};

// Reads the link for the session's time. The first line may be cut: the record before the
// first whole one is where its first bytes came from.
Session RunSession(const Peer& peer, const std::string& link, Clock::time_point previousClose,
                   std::chrono::milliseconds length, Clock::time_point* closed) {
    int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) Die(link.c_str());
    auto opened = Clock::now();
    size_t firstAfterOpen = peer.FirstSentFrom(opened);
    std::string text;
    char buffer[65536];
    for (auto end = opened + length; Clock::now() < end;) {
        pollfd p{fd, POLLIN, 0};
        int wait = int(std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count());
        if (poll(&p, 1, std::max(wait, 0)) <= 0) continue;
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n > 0) text.append(buffer, size_t(n));
    }
    *closed = Clock::now();
    close(fd);

    // Whole lines after the first newline; the first piece, cut or whole, is the end of the
    // record before the first whole line.
    Session s;
    std::vector<size_t> records;
    size_t start = text.find('\n');
    for (size_t end;
         start != std::string::npos && (end = text.find('\n', start + 1)) != std::string::npos;
         start = end) {
        records.push_back(std::strtoull(text.c_str() + start + 1, nullptr, 10));
    }
    if (records.empty() || records[0] == 0) return s;
    records.insert(records.begin(), records[0] - 1);
    s.stale = peer.sent[records[0]] < previousClose;
    // Every record sent after the open, up to the last one read, came, in order (what came
    // before it may have been cut by the service's drop of old bytes).
    s.lost = records.back() >= firstAfterOpen && records[0] > firstAfterOpen;
    for (size_t i = 1; i < records.size(); ++i) {
        s.lost |= records[i] > firstAfterOpen && records[i] != records[i - 1] + 1;
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> opt;
    for (int i = 1; i + 1 < argc; i += 2) opt[argv[i]] = argv[i + 1];
    auto num = [&](const char* key, long fallback) {
        return opt.count(key) ? std::atol(opt[key].c_str()) : fallback;
    };
    std::string link = opt["--link"];
    if (link.empty()) {
        std::fputs("usage: see the comment at the top of reopen_bench.cpp\n", stderr);
        return 2;
    }
    int sessions = int(num("--sessions", 100));
    auto length = std::chrono::milliseconds(num("--session-ms", 5));
    auto every = std::chrono::microseconds(num("--record-us", 100));
    std::vector<int> gaps;
    std::stringstream list(opt.count("--gaps") ? opt["--gaps"] : "0,1,10");
    for (std::string g; std::getline(list, g, ',');) gaps.push_back(std::atoi(g.c_str()));

    int sock = ListenAndRun(uint16_t(num("--port", 0)), opt["--then"]);
    Peer peer;
    std::thread sender([&] { peer.Run(sock, every); });
    Clock::time_point closed = Clock::now();
    for (int gap : gaps) {
        int stale = 0, lost = 0;
        for (int i = 0; i < sessions; ++i) {
            if (gap > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gap));
            Session s = RunSession(peer, link, closed, length, &closed);
            stale += s.stale;
            lost += s.lost;
        }
        std::printf("gap_ms=%d sessions=%d stale=%d lost=%d\n", gap, sessions, stale, lost);
        std::fflush(stdout);
    }
    peer.stop = true;
    sender.join();
    close(sock);
    return 0;
}
