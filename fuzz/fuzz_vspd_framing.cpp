// The framing of veltro-vspd's control socket, as any local client can drive it: the
// input is cut into writes (a length byte, then that many bytes), which a client sends
// one by one to a real ControlServer. Frames may arrive split, several in one write,
// empty, or over the limit. Whatever the cut, the server must hand on exactly the
// requests that the byte stream holds, in order, answer each frame once and in order,
// and end the session after the first frame over the limit.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/ByteOrder.h"
#include "vspd/ControlServer.h"
#include "vspd/VspdPaths.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Answers at once or, every other request, from a timer: a session then waits busy.
class Sink : public vspd::RequestSink {
  public:
    explicit Sink(vspd::EventLoop& loop) : loop_(loop) {}
    void Handle(uint64_t, const vspd::Request& request, Respond respond) override {
        requests.push_back(request);
        vspd::Reply reply;
        reply.op = vspd::OpOf(request);
        if (requests.size() % 2 == 0) {
            respond(reply);
        } else {
            loop_.After(0, [respond, reply] { respond(reply); });
        }
    }
    void SessionClosed(uint64_t) override {}
    bool HoldsHandle(uint64_t) const override { return false; }
    std::vector<vspd::Request> requests;

  private:
    vspd::EventLoop& loop_;
};

// What the server must do with the byte stream: the requests it hands on, the ops of
// its replies, and whether it ends the session.
struct Expected {
    std::vector<vspd::Request> requests;
    std::vector<uint32_t> replyOps;
    bool closes = false;
};

Expected Model(const Bytes& stream) {
    Expected e;
    size_t at = 0;
    while (stream.size() - at >= vspd::kFrameHeaderSize) {
        uint32_t length = bytes::GetLE32(&stream[at]);
        if (length > vspd::kMaxRequestBody) {
            bool hasOp = stream.size() - at >= 8;
            e.replyOps.push_back(hasOp ? bytes::GetLE32(&stream[at + 4]) : 0);
            e.closes = true;
            return e;
        }
        if (stream.size() - at - vspd::kFrameHeaderSize < length) break;
        Bytes body(stream.begin() + long(at + 4), stream.begin() + long(at + 4 + length));
        vspd::DecodedRequest decoded = vspd::DecodeRequest(body);
        if (decoded.request) {
            e.requests.push_back(*decoded.request);
            e.replyOps.push_back(uint32_t(vspd::OpOf(*decoded.request)));
        } else {
            e.replyOps.push_back(decoded.op);
        }
        at += vspd::kFrameHeaderSize + length;
    }
    return e;
}

void Pump(vspd::EventLoop& loop) {
    while (loop.RunOnce(0)) {
    }
}

// Reply frames read from the client's end; *ended when the server closed it.
std::vector<uint32_t> ReplyOps(int fd, bool* ended) {
    Bytes in;
    uint8_t buffer[65536];
    for (;;) {
        ssize_t n = recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n <= 0) {
            *ended = n == 0;
            break;
        }
        in.insert(in.end(), buffer, buffer + n);
    }
    std::vector<uint32_t> ops;
    for (size_t at = 0; in.size() - at >= 8;) {
        uint32_t length = bytes::GetLE32(&in[at]);
        if (length < 8 || in.size() - at - 4 < length) std::abort();  // a cut reply
        ops.push_back(bytes::GetLE32(&in[at + 4]));
        at += 4 + length;
    }
    return ops;
}

struct Server {
    Server() : sink(loop), server(loop, sink, 60000) {
        path = "/tmp/fuzz-vspd-framing-" + std::to_string(getpid()) + ".sock";
        std::string error;
        if (!server.Listen(path, &error) || !vspd::UnixAddress(path, &address)) std::abort();
    }
    vspd::EventLoop loop;
    Sink sink;
    vspd::ControlServer server;
    std::string path;
    sockaddr_un address{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Server* s = new Server;
    s->sink.requests.clear();
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&s->address), sizeof(s->address)) != 0) {
        std::abort();
    }
    Pump(s->loop);
    Bytes stream;
    for (size_t at = 0; at < size;) {
        size_t length = std::min<size_t>(data[at], size - at - 1);
        const uint8_t* piece = data + at + 1;
        at += 1 + length;
        if (send(fd, piece, length, MSG_NOSIGNAL | MSG_DONTWAIT) != ssize_t(length)) break;
        stream.insert(stream.end(), piece, piece + length);
        Pump(s->loop);
    }
    Pump(s->loop);
    Expected expected = Model(stream);
    bool ended = false;
    std::vector<uint32_t> ops = ReplyOps(fd, &ended);
    if (s->sink.requests != expected.requests || ops != expected.replyOps ||
        ended != expected.closes) {
        std::abort();
    }
    close(fd);
    Pump(s->loop);
    return 0;
}
