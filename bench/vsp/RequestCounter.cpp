#include "RequestCounter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

bool Address(const std::string& path, sockaddr_un* address) {
    *address = {};
    if (path.size() >= sizeof(address->sun_path)) return false;
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// One session: the client side, the service side, and the client's bytes not yet framed.
struct Session {
    int client = -1;
    int service = -1;
    std::vector<uint8_t> pending;
};

}  // namespace

RequestCounter::RequestCounter(std::string listenPath, std::string servicePath)
    : listenPath_(std::move(listenPath)), servicePath_(std::move(servicePath)) {}

RequestCounter::~RequestCounter() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (listenFd_ >= 0) close(listenFd_);
    if (stopFd_ >= 0) close(stopFd_);
    unlink(listenPath_.c_str());
}

bool RequestCounter::Start() {
    sockaddr_un address;
    if (!Address(listenPath_, &address)) return false;
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    unlink(listenPath_.c_str());
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 64) != 0)
        return false;
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void RequestCounter::Run() {
    std::vector<Session> sessions;
    uint8_t buffer[65536];
    for (;;) {
        std::vector<pollfd> fds{{stopFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (const Session& s : sessions) {
            fds.push_back({s.client, POLLIN, 0});
            fds.push_back({s.service, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) return;
        for (size_t i = 0; i < sessions.size(); ++i) {
            Session& s = sessions[i];
            for (int side = 0; side < 2; ++side) {
                if (!fds[2 + 2 * i + side].revents) continue;
                const int from = side == 0 ? s.client : s.service;
                const int to = side == 0 ? s.service : s.client;
                const ssize_t n = read(from, buffer, sizeof buffer);
                if (n <= 0) {
                    close(s.client);
                    close(s.service);
                    s.client = s.service = -1;
                    break;
                }
                if (side == 0) {
                    // Frames: a 32-bit little-endian length, then the body.
                    s.pending.insert(s.pending.end(), buffer, buffer + n);
                    while (s.pending.size() >= 4) {
                        uint32_t length = 0;
                        std::memcpy(&length, s.pending.data(), 4);
                        if (s.pending.size() < 4 + size_t(length)) break;
                        s.pending.erase(s.pending.begin(), s.pending.begin() + 4 + length);
                        ++requests_;
                    }
                }
                for (ssize_t done = 0; done < n;) {
                    const ssize_t w = write(to, buffer + done, size_t(n - done));
                    if (w <= 0) break;
                    done += w;
                }
            }
        }
        std::erase_if(sessions, [](const Session& s) { return s.client < 0; });
        if (fds[1].revents) {
            Session s;
            s.client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            s.service = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address;
            Address(servicePath_, &address);
            if (connect(s.service, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                sessions.push_back(s);
            } else {
                close(s.client);
                close(s.service);
            }
        }
    }
}
