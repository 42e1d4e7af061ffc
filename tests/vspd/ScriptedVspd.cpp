#include "tests/vspd/ScriptedVspd.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "protocol/ByteOrder.h"
#include "vspd/VspdPaths.h"

ScriptedVspd::ScriptedVspd(std::string socketPath, Answer answer)
    : path_(std::move(socketPath)), answer_(std::move(answer)) {
    sockaddr_un addr;
    vspd::UnixAddress(path_, &addr);
    unlink(path_.c_str());
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    listen(listen_, 8);
    if (pipe(stop_) != 0) return;
    thread_ = std::thread([this] { Run(); });
}

ScriptedVspd::~ScriptedVspd() {
    if (write(stop_[1], "x", 1) != 1) return;
    thread_.join();
    close(stop_[0]);
    close(stop_[1]);
    close(listen_);
    unlink(path_.c_str());
}

std::vector<vspd::Request> ScriptedVspd::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void ScriptedVspd::Run() {
    std::vector<pollfd> fds = {{stop_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) break;
        if (fds[1].revents) {
            int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) fds.push_back({fd, POLLIN, 0});
        }
        for (size_t i = 2; i < fds.size();) {
            if (fds[i].revents && !Serve(fds[i].fd)) {
                close(fds[i].fd);
                fds.erase(fds.begin() + long(i));
            } else {
                ++i;
            }
        }
    }
    for (size_t i = 2; i < fds.size(); ++i) close(fds[i].fd);
}

// Answers one request; false when the session ended.
bool ScriptedVspd::Serve(int fd) {
    uint8_t header[vspd::kFrameHeaderSize];
    if (recv(fd, header, sizeof(header), MSG_WAITALL) != ssize_t(sizeof(header))) return false;
    std::vector<uint8_t> body(bytes::GetLE32(header));
    if (!body.empty() && recv(fd, body.data(), body.size(), MSG_WAITALL) != ssize_t(body.size())) {
        return false;
    }
    vspd::DecodedRequest decoded = vspd::DecodeRequest(body);
    if (!decoded.request) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(*decoded.request);
    }
    std::vector<uint8_t> frame = vspd::Frame(vspd::EncodeReply(answer_(*decoded.request)));
    return send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == ssize_t(frame.size());
}
