#include "vspd/ControlClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "protocol/ByteOrder.h"
#include "vspd/VspdPaths.h"

namespace vspd {
namespace {

using Clock = std::chrono::steady_clock;

// Waits for the descriptor until the deadline; false on time-out or error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// Runs step (one non-blocking send or receive from offset done) until size bytes have
// moved, waiting for the descriptor in between; false on time-out, end or error.
template <class Step>
bool Transfer(int fd, size_t size, short events, int limitMs, Step step) {
    auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    size_t done = 0;
    while (done < size) {
        ssize_t n = step(done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!WaitFor(fd, events, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

int ReplyLimitMs(const Request& request) {
    const auto* ioctl = std::get_if<IoctlRequest>(&request);
    return ioctl && ioctl->code == kIoctlConnection ? kConnectionReplyLimitMs : kReplyLimitMs;
}

}  // namespace

ControlClient::ControlClient(std::string socketPath) : socketPath_(std::move(socketPath)) {}

ControlClient::~ControlClient() {
    Disconnect();
}

bool ControlClient::Connect() {
    Disconnect();
    notRunning_ = false;
    sockaddr_un addr;
    if (!UnixAddress(socketPath_, &addr)) return false;
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        notRunning_ = errno == ENOENT || errno == ECONNREFUSED;
        Disconnect();
        return false;
    }
    return true;
}

void ControlClient::Disconnect() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool ControlClient::SendAll(const std::vector<uint8_t>& data, int limitMs) {
    return Transfer(fd_, data.size(), POLLOUT, limitMs, [&](size_t done) {
        return send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    });
}

bool ControlClient::ReceiveAll(uint8_t* data, size_t size, int limitMs) {
    return Transfer(fd_, size, POLLIN, limitMs,
                    [&](size_t done) { return recv(fd_, data + done, size - done, MSG_DONTWAIT); });
}

std::optional<Reply> ControlClient::Call(const Request& request) {
    if (fd_ < 0 && !Connect()) return std::nullopt;
    uint8_t header[kFrameHeaderSize];
    std::vector<uint8_t> body;
    bool ok = SendAll(Frame(EncodeRequest(request)), kReplyLimitMs) &&
              ReceiveAll(header, sizeof(header), ReplyLimitMs(request));
    if (ok) {
        uint32_t length = bytes::GetLE32(header);
        ok = length <= kMaxReplyBody;
        if (ok) {
            body.resize(length);
            ok = ReceiveAll(body.data(), body.size(), kReplyLimitMs);
        }
    }
    std::optional<Reply> reply;
    if (ok) reply = DecodeReply(body);
    if (!reply || reply->op != OpOf(request)) {
        Disconnect();
        return std::nullopt;
    }
    return reply;
}

}  // namespace vspd
