// Internals of the request dispatcher, shared by its source files only.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

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
    int64_t idleMs = 0;  // bound of the wait for a cancel reply
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
    int rc = CS_OK;  // the request's result when the step ends it
};

// The arguments of one request code, read from the caller's argument list straight into
// the wire body of its first message, with the handling of its replies.
class RequestArgs {
public:
    // The body starts all zero: value-initialising a union need not clear more than its
    // first member, and the readers fill only the fields of their code.
    explicit RequestArgs(int code) : code_(code) { std::memset(&body_, 0, sizeof body_); }
    virtual ~RequestArgs() = default;
    int Code() const { return code_; }
    // Before the first message is built: 0, or the request's failure.
    virtual int Start(CsHandle*) { return CS_OK; }
    // Before each message of the request: prepares it and sets *last when no message of
    // the request follows it. 0, or the failure that ends the request.
    virtual int Prepare(CsHandle*, bool /*first*/, bool* last) {
        *last = true;
        return CS_OK;
    }
    // Fills the body of the message about to be sent (first: the request's first
    // message); a one-message request sends the body its reader filled.
    virtual void Fill(CsRequestBody* body, bool /*first*/) { *body = body_; }
    // The group that types the hit rows of the replies, or none.
    virtual const CsXdrApplGroup* ReplyGroup() const { return nullptr; }
    // The group that types a hit row of the message being sent when the message names
    // none of its own (hit items: the group of the item before), or none.
    virtual const CsXdrApplGroup* RequestGroup() const { return nullptr; }
    // A reply whose result lets its body through (0, or the further result of the code's
    // row); the default takes the server's result and ends the request.
    virtual Step OnReply(ReplyContext&, CsReplyRecord&) { return Step::kEnd; }
    // The request ended with rc (any way); answers the final result.
    virtual int Finish(int rc) { return rc; }

protected:
    CsRequestBody body_;  // what the first message carries

private:
    int code_;
};

using ArgsPtr = std::unique_ptr<RequestArgs>;

// The argument reader of a code: CS_OK with the arguments in *out, CS_FAILED for a code
// this layer does not send, CS_NO_MEMORY. Each row of qel_csrequests.def names its reader
// Read<reader>; ReadNone refuses the code.
using ArgsReader = int (*)(int code, va_list& args, ArgsPtr* out);
#define CS_REQUEST(name, code, bodyOn, request, reply, reader, ...) int Read##reader(int, va_list&, ArgsPtr*);
#include "qel_csrequests.def"
int ReadNone(int code, va_list& args, ArgsPtr* out);

// A reader's body: the arguments class T read from the list.
template <class T>
int Construct(int code, va_list& args, ArgsPtr* out) {
    out->reset(new (std::nothrow) T(code, args));
    return *out != nullptr ? CS_OK : CS_NO_MEMORY;
}

// A protocol level that knows a newer form of a request: flag bits it sets.
struct LevelStep {
    uint32_t flags1 = 0;  // all must be set in flag word 1 ...
    uint32_t flags2 = 0;  // ... and these in flag word 2
    int older = 0;        // else this code goes instead
};

// The dispatcher's columns of a code's row in qel_csrequests.def (request_table.cpp).
struct RequestRow {
    ArgsReader read;
    int32_t bodyOn;            // the result besides 0 after which a reply keeps its body
    int replyWindow;           // acknowledge after this many replies; 0 never
    int sendWindow;            // await the go-ahead after this many messages; 0 never
    int compressedSendWindow;  // the same for a compressed request; kUncompressed: never compressed
    void (*freeEntry)(void* entry);
    LevelStep levels[2];  // checked in order; an empty step never applies
};
inline constexpr int kUncompressed = -1;

// The row of the code; a code without one (also a negative or too large code) gets a
// row that refuses it.
const RequestRow& FindRequest(int code);
// The code sent for a request of this code under these flag words: an older form for
// a server below the level that knows the code.
uint32_t SentCode(int code, uint32_t flags1, uint32_t flags2);

// Reads the arguments of the code; none (and *rc CS_FAILED or CS_NO_MEMORY) when it cannot.
ArgsPtr ReadArguments(int code, va_list args, int* rc);
// Request 91 with no object references, its data from a source with a context of its own.
ArgsPtr MakeLogMessage(uint32_t messageNumber, char letter, uint32_t word, CsSourceFn source, void* context);

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
