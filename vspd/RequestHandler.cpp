#include "vspd/RequestHandler.h"

#include <algorithm>

#include "vspd/Overloaded.h"
#include "vspd/WinErrors.h"

namespace vspd {
namespace {

// Sets the error of a request that ends at once.
bool Fail(Reply& reply, uint32_t error) {
    reply.status = error;
    return false;
}

}  // namespace

void RequestHandler::Handle(uint64_t session, const Request& request, Respond respond) {
    Reply reply;
    reply.op = OpOf(request);
    bool handedOn = false;
    std::visit(Overloaded{
                   [&](const ListRequest&) { reply.ports = table_.List(); },
                   [&](const OpenRequest& r) { reply.status = Open(session, r); },
                   [&](const CloseRequest&) { reply.status = Close(session); },
                   [&](const IoctlRequest& r) { handedOn = Ioctl(session, r, reply, respond); },
                   [&](const ComUsageRequest&) {
                       auto usage = table_.ComUsage();
                       reply.data.assign(usage.begin(), usage.end());
                   },
                   [&](const InstallRequest& r) { reply.status = table_.Install(r, &reply.text); },
                   [&](const RemoveRequest& r) { reply.status = table_.Remove(r.pattern); },
                   [&](const RenumberRequest& r) {
                       reply.status = table_.Renumber(r.pattern, r.comNumber);
                   },
                   [&](const MapRequest& r) { reply.status = table_.Map(r.device, r.comNumber); },
               },
               request);
    if (!handedOn) respond(std::move(reply));
}

uint32_t RequestHandler::Open(uint64_t session, const OpenRequest& request) {
    if (handles_.count(session)) return winerr::kInvalidParameter;
    auto ref = table_.Find(request.path);
    if (!ref) return winerr::kFileNotFound;
    PortHandle handle{Lower(request.path), (request.flags & kOpenShared) == 0, *ref};
    if (handle.exclusive) {
        VirtualPort* port = ref->isVirtual ? table_.Port(ref->instance) : nullptr;
        if (exclusive_.count(handle.key) || (port && port->SlaveHeldOpen())) {
            return winerr::kAccessDenied;
        }
        exclusive_[handle.key] = session;
    }
    handles_[session] = handle;
    return winerr::kSuccess;
}

uint32_t RequestHandler::Close(uint64_t session) {
    auto it = handles_.find(session);
    if (it == handles_.end()) return winerr::kInvalidHandle;
    if (it->second.exclusive) exclusive_.erase(it->second.key);
    handles_.erase(it);
    return winerr::kSuccess;
}

void RequestHandler::SessionClosed(uint64_t session) {
    const auto attempt = connecting_.find(session);
    if (attempt != connecting_.end()) {
        VirtualPort* port = table_.Port(attempt->second);
        connecting_.erase(attempt);
        if (port) port->Disconnect();
    }
    Close(session);
}

bool RequestHandler::Ioctl(uint64_t session, const IoctlRequest& r, Reply& reply,
                           const Respond& respond) {
    auto it = handles_.find(session);
    if (it == handles_.end()) {
        reply.status = winerr::kInvalidHandle;
        return false;
    }
    const DeviceRef& ref = it->second.ref;
    VirtualPort* port = ref.isVirtual ? table_.Port(ref.instance) : nullptr;
    if (!ref.isVirtual) {
        reply.status = winerr::kInvalidFunction;  // a plain serial port has no such requests
        return false;
    }
    if (!port) {
        reply.status = winerr::kFileNotFound;  // removed while the handle was open
        return false;
    }
    bool noInput = r.input.empty();
    switch (r.code) {
        case kIoctlGetDosName: {
            if (!noInput) return Fail(reply, winerr::kInvalidParameter);
            if (r.outputSize < kDosNameSize) return Fail(reply, winerr::kInsufficientBuffer);
            auto name = EncodeDosName(table_.DosName(ref.instance));
            reply.data.assign(name.begin(), name.end());
            return false;
        }
        case kIoctlSetDosName: {
            auto number = DecodeComNumber(r.input);
            reply.status =
                number ? table_.SetComNumber(ref.instance, *number) : winerr::kInvalidParameter;
            return false;
        }
        case kIoctlSetRemoteInfo: {
            auto config = RemoteInfoRequest::Decode(r.input);
            reply.status =
                config ? table_.Configure(ref.instance, *config) : winerr::kInvalidParameter;
            return false;
        }
        case kIoctlGetRemoteInfo: {
            if (!noInput) return Fail(reply, winerr::kInvalidParameter);
            if (r.outputSize < kRemoteInfoReplySize) {
                return Fail(reply, winerr::kInsufficientBuffer);
            }
            auto info = port->Info().Encode();
            reply.data.assign(info.begin(), info.end());
            return false;
        }
        case kIoctlConnection: {
            if (!noInput) return Fail(reply, winerr::kInvalidParameter);
            connecting_[session] = ref.instance;
            port->Connect([this, session, respond, reply](uint32_t error) mutable {
                connecting_.erase(session);
                reply.status = error;
                respond(std::move(reply));
            });
            return true;
        }
        case kIoctlDisconnection:
            if (!noInput) return Fail(reply, winerr::kInvalidParameter);
            port->Disconnect();
            return false;
        case kIoctlServer:
            reply.status = noInput ? port->Listen() : winerr::kInvalidParameter;
            return false;
        default:
            reply.status = winerr::kInvalidFunction;
            return false;
    }
}

}  // namespace vspd
