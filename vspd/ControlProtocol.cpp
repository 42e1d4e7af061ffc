#include "vspd/ControlProtocol.h"

#include "protocol/ByteOrder.h"
#include "vspd/Overloaded.h"
#include "vspd/WinErrors.h"
#include "vspd/Wire.h"

namespace vspd {
namespace {

constexpr uint32_t kMaxPorts = 20000;

void EncodeBody(WireWriter&, const ListRequest&) {}
void EncodeBody(WireWriter&, const CloseRequest&) {}
void EncodeBody(WireWriter&, const ComUsageRequest&) {}
void EncodeBody(WireWriter& w, const OpenRequest& r) {
    w.U32(r.flags);
    w.Text(r.path);
}
void EncodeBody(WireWriter& w, const IoctlRequest& r) {
    w.U32(r.code);
    w.U32(r.outputSize);
    w.U32(static_cast<uint32_t>(r.input.size()));
    w.Bytes(r.input);
}
void EncodeBody(WireWriter& w, const InstallRequest& r) {
    w.U32(r.comNumber);
    w.U32(r.instance);
    w.Text(r.hardwareId);
}
void EncodeBody(WireWriter& w, const RemoveRequest& r) {
    w.Text(r.pattern);
}
void EncodeBody(WireWriter& w, const RenumberRequest& r) {
    w.Text(r.pattern);
    w.U32(r.comNumber);
}
void EncodeBody(WireWriter& w, const MapRequest& r) {
    w.Text(r.device);
    w.U32(r.comNumber);
}

std::optional<Request> DecodeBody(Op op, WireReader& r) {
    switch (op) {
        case Op::List:
            return ListRequest{};
        case Op::Close:
            return CloseRequest{};
        case Op::ComUsage:
            return ComUsageRequest{};
        case Op::Open: {
            OpenRequest q;
            q.flags = r.U32();
            q.path = r.Text(kMaxPathLength);
            return q;
        }
        case Op::Ioctl: {
            IoctlRequest q;
            q.code = r.U32();
            q.outputSize = r.U32();
            uint32_t length = r.U32();
            if (length > kMaxRequestBody) return std::nullopt;
            q.input = r.Bytes(length);
            return q;
        }
        case Op::Install: {
            InstallRequest q;
            q.comNumber = r.U32();
            q.instance = r.U32();
            q.hardwareId = r.Text(kMaxTextLength);
            return q;
        }
        case Op::Remove:
            return RemoveRequest{r.Text(kMaxTextLength)};
        case Op::Renumber: {
            RenumberRequest q;
            q.pattern = r.Text(kMaxTextLength);
            q.comNumber = r.U32();
            return q;
        }
        case Op::Map: {
            MapRequest q;
            q.device = r.Text(kMaxPathLength);
            q.comNumber = r.U32();
            return q;
        }
    }
    return std::nullopt;
}

bool KnownOp(uint32_t op) {
    return op >= uint32_t(Op::List) && op <= uint32_t(Op::Map);
}

void EncodeEntry(WireWriter& w, const PortEntry& e) {
    w.Text(e.devicePath);
    w.Text(e.instanceId);
    w.Text(e.hardwareId);
    w.Text(e.portName);
    w.Text(e.friendlyName);
    w.Text(e.ttyPath);
    w.U8(e.isVirtual);
    w.U8(static_cast<uint8_t>(e.state));
    w.U8(e.ttyOpen);
    w.U8(e.handleOpen);
    w.Bytes(e.info.Encode());
    w.U32(e.hostIp);
    w.U32(e.peerIp);
    w.U16(e.peerPort);
    w.U64(e.bytesToNet);
    w.U64(e.bytesFromNet);
    w.U64(e.droppedToNet);
    w.U64(e.droppedFromNet);
    w.U64(e.strangerDatagrams);
}

PortEntry DecodeEntry(WireReader& r) {
    PortEntry e;
    e.devicePath = r.Text(kMaxTextLength);
    e.instanceId = r.Text(kMaxTextLength);
    e.hardwareId = r.Text(kMaxTextLength);
    e.portName = r.Text(kMaxTextLength);
    e.friendlyName = r.Text(kMaxTextLength);
    e.ttyPath = r.Text(kMaxTextLength);
    e.isVirtual = r.U8();
    uint8_t state = r.U8();
    e.state = state <= uint8_t(PortState::Listening) ? PortState(state) : PortState::Idle;
    e.ttyOpen = r.U8();
    e.handleOpen = r.U8();
    auto info = RemoteInfoReply::Decode(r.Bytes(kRemoteInfoReplySize));
    if (info) e.info = *info;
    e.hostIp = r.U32();
    e.peerIp = r.U32();
    e.peerPort = r.U16();
    e.bytesToNet = r.U64();
    e.bytesFromNet = r.U64();
    e.droppedToNet = r.U64();
    e.droppedFromNet = r.U64();
    e.strangerDatagrams = r.U64();
    return e;
}

}  // namespace

Op OpOf(const Request& request) {
    return std::visit(Overloaded{
                          [](const ListRequest&) { return Op::List; },
                          [](const OpenRequest&) { return Op::Open; },
                          [](const CloseRequest&) { return Op::Close; },
                          [](const IoctlRequest&) { return Op::Ioctl; },
                          [](const ComUsageRequest&) { return Op::ComUsage; },
                          [](const InstallRequest&) { return Op::Install; },
                          [](const RemoveRequest&) { return Op::Remove; },
                          [](const RenumberRequest&) { return Op::Renumber; },
                          [](const MapRequest&) { return Op::Map; },
                      },
                      request);
}

std::vector<uint8_t> EncodeRequest(const Request& request) {
    WireWriter w;
    w.U32(static_cast<uint32_t>(OpOf(request)));
    std::visit([&w](const auto& r) { EncodeBody(w, r); }, request);
    return w.Take();
}

DecodedRequest DecodeRequest(std::span<const uint8_t> body) {
    DecodedRequest result;
    WireReader r(body);
    result.op = r.U32();
    if (!r.Ok()) {
        result.error = winerr::kInvalidParameter;
        return result;
    }
    if (!KnownOp(result.op)) {
        result.error = winerr::kInvalidFunction;
        return result;
    }
    auto request = DecodeBody(Op(result.op), r);
    if (!request || !r.AtEnd()) {
        result.error = winerr::kInvalidParameter;
        return result;
    }
    result.request = std::move(request);
    return result;
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
    WireWriter w;
    w.U32(static_cast<uint32_t>(reply.op));
    w.U32(reply.status);
    if (reply.status != 0) return w.Take();
    switch (reply.op) {
        case Op::List:
            w.U32(static_cast<uint32_t>(reply.ports.size()));
            for (const PortEntry& e : reply.ports) EncodeEntry(w, e);
            break;
        case Op::Ioctl:
        case Op::ComUsage:
            w.U32(static_cast<uint32_t>(reply.data.size()));
            w.Bytes(reply.data);
            break;
        case Op::Install:
            w.Text(reply.text);
            break;
        default:
            break;
    }
    return w.Take();
}

std::optional<Reply> DecodeReply(std::span<const uint8_t> body) {
    WireReader r(body);
    Reply reply;
    uint32_t op = r.U32();
    reply.status = r.U32();
    if (!r.Ok() || !KnownOp(op)) return std::nullopt;
    reply.op = Op(op);
    if (reply.status == 0) {
        switch (reply.op) {
            case Op::List: {
                uint32_t count = r.U32();
                if (count > kMaxPorts) return std::nullopt;
                for (uint32_t i = 0; i < count && r.Ok(); ++i)
                    reply.ports.push_back(DecodeEntry(r));
                break;
            }
            case Op::Ioctl:
            case Op::ComUsage: {
                uint32_t length = r.U32();
                if (length > kMaxReplyBody) return std::nullopt;
                reply.data = r.Bytes(length);
                if (reply.op == Op::ComUsage && length != kComUsageSize) return std::nullopt;
                break;
            }
            case Op::Install:
                reply.text = r.Text(kMaxTextLength);
                break;
            default:
                break;
        }
    }
    if (!r.AtEnd()) return std::nullopt;
    return reply;
}

std::vector<uint8_t> Frame(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> frame(kFrameHeaderSize + body.size());
    bytes::PutLE32(frame.data(), static_cast<uint32_t>(body.size()));
    std::copy(body.begin(), body.end(), frame.begin() + kFrameHeaderSize);
    return frame;
}

}  // namespace vspd
