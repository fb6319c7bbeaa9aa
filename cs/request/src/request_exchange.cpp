// One request on a remote handle: the message, its replies, acknowledgements and the
// cancel exchange. Every failure in the middle of a message leaves the byte stream out
// of step, so it drops the connection; the logon survives in the session block.
#include "dispatcher_detail.h"

#include <cstring>
#include <mutex>

#include "arc_platform.h"

namespace csreq::detail {
namespace {

// A reply carries its body after result 0 and after the further result of its row.
bool BodyFollows(const RequestRow& row, int result) { return result == CS_OK || result == row.bodyOn; }

// A failed logon (other than a completed one whose password expired), probe or token
// exchange leaves the connection in a state the next request cannot use.
bool DropsOnFailure(int code, int rc) {
    if (rc == CS_OK) return false;
    if (code == CS_REQ_LOGON) return rc != CS_PASSWORD_EXPIRED;
    return code == CS_REQ_LEVEL || code == CS_REQ_SECURITY_TOKEN;
}

class Exchange {
public:
    Exchange(CsHandle* handle, CsConnection* connection, RequestArgs& args, const RequestFlags& flags)
        : handle_(handle),
          connection_(connection),
          stream_(connection->stream),
          args_(args),
          row_(FindRequest(args.Code())),
          flags_(flags) {}

    int Run();
    bool broken = false;           // the connection must go
    bool serverAskedDrop = false;  // a reply's status asked for it

private:
    bool Interrupted() const { return handle_->def.flags1 & CS_F1_INTERRUPT; }
    int Failure() {
        broken = true;
        if (Interrupted()) return CS_CANCELLED;
        const QelXdr* xdr = CsStreamXdr(stream_);
        if (xdr->overLimit) return CS_FAILED;  // a reply larger than its bound: a protocol failure
        return xdr->error != 0 ? CS_TRANSPORT : CS_NOT_AVAILABLE;
    }
    bool Send(uint32_t code, bool withBody, bool first);
    int SendRequest();
    int AwaitGoAhead();
    int Read(CsReplyRecord* reply);
    int CancelExchange();

    CsHandle* handle_;
    CsConnection* connection_;
    CsStream* stream_;
    RequestArgs& args_;
    const RequestRow& row_;
    RequestFlags flags_;
    uint32_t sent_ = 0;
    uint32_t sendWindow_ = 0;
};

bool Exchange::Send(uint32_t code, bool withBody, bool first) {
    CsStreamStartMessage(stream_, CsStreamMessageNumber(stream_) + 1);
    CsXdrLogonRecord logon{};
    CsXdrHandlePart part{};
    part.flags1 = flags_.flags1;
    part.serverFlags = handle_->clientFlags;
    part.protocol = handle_->def.kind;
    part.localCcsid = handle_->localCcsid != 0 ? handle_->localCcsid : ArcOS_GetCodePage();
    static_assert(sizeof part.identity.userId == sizeof handle_->identity.userId);
    static_assert(sizeof part.identity.userName == sizeof handle_->identity.userName);
    std::memcpy(part.identity.userId, handle_->identity.userId, sizeof part.identity.userId);
    std::memcpy(part.identity.userName, handle_->identity.userName, sizeof part.identity.userName);
    part.identity.processId = handle_->identity.processId;
    if (handle_->logon != nullptr) {
        logon.userNumber = handle_->logon->userNumber;
        logon.groupList = const_cast<char*>(handle_->logon->groupList.c_str());
        logon.userType = handle_->logon->userType;
        logon.lastActivity = handle_->logon->lastActivity;
        logon.timeOut = handle_->logon->timeOut;
        part.logon = &logon;
    }
    part.flags2 = flags_.flags2;

    CsRequestRecord request{};
    request.handle = &part;
    request.code = code;
    request.sendWindow = withBody ? sendWindow_ : 0;
    request.replyWindow = withBody ? static_cast<uint32_t>(row_.replyWindow) : 0;
    request.reserved = -1;
    std::memcpy(request.sessionBlock, handle_->serverSessionBlock, sizeof request.sessionBlock);
    if (withBody) args_.Fill(&request.body, first);
    QelXdr* xdr = CsStreamXdr(stream_);
    xdr->group = withBody ? args_.RequestGroup() : nullptr;
    const bool sent = CsXdrRequest(xdr, &request) && CsStreamFlush(stream_, 1);
    xdr->group = nullptr;
    return sent;
}

// Every message of the request; a streaming one waits for the server's go-ahead after
// every send-window-th message that is not its last. A request broken off after its
// first message leaves the server waiting for the rest: the connection goes.
int Exchange::SendRequest() {
    uint32_t count = 0;
    for (bool first = true;; first = false) {
        bool last = true;
        int rc = args_.Prepare(handle_, first, &last);
        if (rc != CS_OK) {
            if (!first) broken = true;
            return rc;
        }
        if (!Send(sent_, true, first)) return Failure();
        if (last) return CS_OK;
        if (sendWindow_ > 0 && ++count % sendWindow_ == 0) {
            rc = AwaitGoAhead();
            if (rc != CS_OK) return rc;
        }
    }
}

// The go-ahead is result 0 with reply code 1; anything else refuses the rest of the
// data (6), and the server's state is unknown: the connection goes.
int Exchange::AwaitGoAhead() {
    CsReplyRecord reply;
    int rc = Read(&reply);
    if (rc != CS_OK) return rc;
    CsSetText(handle_->serverMessage, sizeof handle_->serverMessage, reply.message);
    const bool goAhead = reply.code == CS_REQ_ACK && reply.result == CS_OK;
    CsFreeReplyRecord(&reply);
    if (!goAhead) {
        broken = true;
        return CS_FAILED;
    }
    if (CsPollCancel(handle_)) return CancelExchange();
    return CS_OK;
}

// 0 with a decoded reply (the caller frees it), or the failure.
int Exchange::Read(CsReplyRecord* reply) {
    std::memset(reply, 0, sizeof *reply);
    if (!CsStreamReadMessageStart(stream_)) return Failure();
    reply->group = args_.ReplyGroup();
    if (!CsXdrResponse(CsStreamXdr(stream_), reply)) {
        CsFreeReplyRecord(reply);
        return Failure();
    }
    if (reply->status & CS_REPLY_DROP_CONNECTION) serverAskedDrop = true;
    return CS_OK;
}

// Breaks off the server's answer: cancel request (code 2), then replies are read until
// the server confirms. The wait is bounded by the idle time-out; past it the
// connection goes. The result is 1, or the failure of the exchange.
int Exchange::CancelExchange() {
    CsStreamResetPosition(stream_);
    // From this thread the transport drops a cancel left pending, so our own cancel
    // request and its answer get through.
    TransportCancel(connection_->table, connection_->transport);
    if (!Send(CS_REQ_CANCEL, false, false)) return Failure();
    const int64_t deadline = ArcOS_MonotonicMs() + connection_->idleMs;
    for (;;) {
        CsReplyRecord reply;
        int rc = Read(&reply);
        if (rc != CS_OK) return rc;
        const uint32_t code = reply.code;
        CsFreeReplyRecord(&reply);
        if (code == CS_REQ_CANCEL) return CS_CANCELLED;
        if (ArcOS_MonotonicMs() > deadline) {
            broken = true;
            return CS_CANCELLED;
        }
    }
}

int Exchange::Run() {
    int rc = CS_OK;
    {
        std::lock_guard lock(handle_->def.request.mutex);
        TransportFlags(connection_->table, connection_->transport, flags_.flags1, flags_.flags2,
                       handle_->yield);
    }
    const bool compress = (flags_.flags1 & CS_F1_LEVEL_2208) && !(flags_.flags1 & CS_F1_NO_COMPRESS) &&
                          row_.compressedSendWindow != kUncompressed;
    CsStreamSetCompression(stream_, compress);
    sent_ = SentCode(args_.Code(), flags_.flags1, flags_.flags2);
    sendWindow_ = static_cast<uint32_t>(compress ? row_.compressedSendWindow : row_.sendWindow);
    rc = SendRequest();
    if (rc != CS_OK) return rc;

    const int window = row_.replyWindow;
    int sinceAck = 0;
    for (;;) {
        CsReplyRecord reply;
        rc = Read(&reply);
        if (rc != CS_OK) return rc;
        CsSetText(handle_->serverMessage, sizeof handle_->serverMessage, reply.message);
        if (reply.code != sent_) {  // an answer to another request is never taken
            CsFreeReplyRecord(&reply);
            broken = true;
            return CS_FAILED;
        }
        ReplyContext context{handle_, reply.result};
        Step step = BodyFollows(row_, reply.result) ? args_.OnReply(context, reply) : Step::kEnd;
        CsFreeReplyRecord(&reply);
        switch (step) {
            case Step::kEnd: return context.rc;
            case Step::kBreakOff: CancelExchange(); return context.rc;
            case Step::kSendAgain:
                if (!Send(sent_, true, false)) return Failure();
                sinceAck = 0;
                continue;
            case Step::kNext: break;
        }
        if (CsPollCancel(handle_)) return CancelExchange();
        if (window > 0 && ++sinceAck == window) {
            sinceAck = 0;
            if (!Send(CS_REQ_ACK, false, false)) return Failure();
        }
    }
}

int RunConnected(CsHandle* handle, RequestArgs& args, const RequestFlags& flags) {
    handle->serverMessage[0] = '\0';
    // Arguments that cannot be sent are refused before anything reaches the server.
    int started = args.Start(handle);
    if (started != CS_OK) return args.Finish(started);
    if (!CsIsConnected(handle)) {
        int rc = Connect(handle);
        if (rc != CS_OK) return args.Finish(rc);
    }
    Exchange exchange(handle, handle->def.request.connection, args, flags);
    int rc = args.Finish(exchange.Run());
    bool drop = (flags.flags1 & CS_F1_DISCONNECT) || exchange.broken || exchange.serverAskedDrop ||
                DropsOnFailure(args.Code(), rc);
    if (drop) Drop(handle);
    return rc;
}

}  // namespace

int RunRequest(CsHandle* handle, RequestArgs& args, const RequestFlags* flags) {
    if (handle == nullptr || handle->def.kind == CS_KIND_LOCAL) return CS_FAILED;
    if (handle->def.request.running.exchange(1) != 0) return CS_BUSY;
    RequestFlags words = flags ? *flags : RequestFlags{handle->def.flags1, handle->def.flags2};
    int rc = RunConnected(handle, args, words);
    handle->def.request.running = 0;
    return rc;
}

int ProbeLevel(CsHandle* handle, int32_t level) {
    class Probe : public RequestArgs {
    public:
        explicit Probe(int32_t level) : RequestArgs(CS_REQ_LEVEL) { body_.level.level = level; }
    } probe(level);
    const RequestFlags zero{};  // probes travel without level-dependent fields
    return RunRequest(handle, probe, &zero);
}

}  // namespace csreq::detail

int CsServerRequest(CsHandle* handle, int code, ...) {
    if (handle == nullptr) return CS_FAILED;
    va_list args;
    va_start(args, code);
    int rc = CS_OK;
    auto request = csreq::detail::ReadArguments(code, args, &rc);
    va_end(args);
    if (request == nullptr) return rc;
    return csreq::detail::RunRequest(handle, *request, nullptr);
}
