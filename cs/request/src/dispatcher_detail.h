// Internals of the request dispatcher, shared by its source files only.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>

#include "qel_cs.h"
#include "qel_cswire.h"
#include "transport_table.h"

// The connection of a handle: the transport library, its connection and the message
// stream. Made by the first request, freed when the connection is dropped; only the
// request's own thread touches the stream.
struct CsConnection {
    csreq::detail::TransportTable* table = nullptr;
    void* transport = nullptr;  // the transport's connection word
    CsStream* stream = nullptr;
    int64_t idleMs = 0;         // bound of the wait for a cancel reply
};

namespace csreq::detail {

// What the reply handling of a code asks the exchange to do next.
enum class Step {
    kNext,       // read the next reply
    kEnd,        // the request is complete
    kSendAgain,  // send the next message of the request (token exchange)
    kBreakOff,   // stop the server's answer with a cancel exchange, then end
};

struct ReplyContext {
    CsHandle* handle;
    int rc = 0;  // the request's result when the step ends it
};

// The arguments of one request code, read from the caller's argument list, with the
// handling of its replies.
class RequestArgs {
public:
    explicit RequestArgs(int code) : code_(code) {}
    virtual ~RequestArgs() = default;
    int Code() const { return code_; }
    // Before the first message is built: 0, or the request's failure.
    virtual int Start(CsHandle*) { return 0; }
    // Before each message of the request: prepares it and sets *last when no message of
    // the request follows it. 0, or the failure that ends the request.
    virtual int Prepare(CsHandle*, bool /*first*/, bool* last) {
        *last = true;
        return 0;
    }
    // Fills the body of the message about to be sent (first: the request's first message).
    virtual void Fill(CsRequestBody* body, bool first) = 0;
    // The group that types the hit rows of the replies, or none.
    virtual const CsXdrApplGroup* ReplyGroup() const { return nullptr; }
    // The group that types a hit row of the message being sent when the message names
    // none of its own (hit items: the group of the item before), or none.
    virtual const CsXdrApplGroup* RequestGroup() const { return nullptr; }
    // A reply whose result lets its body through (0, and 12 for 3, 13 for 8).
    virtual Step OnReply(ReplyContext& context, CsReplyRecord& reply) = 0;
    // The request ended with rc (any way); answers the final result.
    virtual int Finish(int rc) { return rc; }
    // The reply window of the code (acknowledge after this many replies; 0 never).
    int ReplyWindow() const;
    // The send window of the code (await the go-ahead after this many messages; 0 never).
    int SendWindow(bool compressed) const;

private:
    int code_;
};

// Reads the arguments of the code; none (and *rc = 6) for a code this layer does not send.
std::unique_ptr<RequestArgs> ReadArguments(int code, va_list args, int* rc);
// The same for the codes that stream data to the server (54, 87, 91-97, 104); none when
// the code is not one of them.
std::unique_ptr<RequestArgs> ReadStreamArguments(int code, va_list& args);
// Request 91 with no object references, its data from a source with a context of its own.
std::unique_ptr<RequestArgs> MakeLogMessage(uint32_t messageNumber, char letter, uint32_t word,
                                            CsSourceFn source, void* context);

// The flag words a request travels with; probes send zeros.
struct RequestFlags {
    uint32_t flags1 = 0;
    uint32_t flags2 = 0;
};

// Runs a request with its arguments. flags: none = the handle's words.
int RunRequest(CsHandle* handle, RequestArgs& args, const RequestFlags* flags);

// A protocol-level probe (request 0) sent with zero flag words.
int ProbeLevel(CsHandle* handle, int32_t level);

// Sends a System Log record to a remote server's log (request 91): the message issuer's
// road when no layer replaces it (CsLayerHooks::logMessage).
int SendLogRecord(CsHandle* handle, const CsSystemLogRecord& record);

// The connection of the handle (made when missing): 0, or the failure.
int Connect(CsHandle* handle);
// Disconnects, unloads and frees the connection (under the request mutex).
void Drop(CsHandle* handle);

// The code-page context for handles that bring none.
ArcIconvContext* DefaultCodePages();

}  // namespace csreq::detail
