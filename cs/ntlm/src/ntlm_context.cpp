// The security context of qel_ntlm.h: argument checks and the order of steps, shared by
// both backends.
#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "ntlm_backend.h"
#include "qel_ntlm.h"

using qel::ntlm::detail::Backend;

struct QelNtlmContext {
    std::unique_ptr<Backend> backend;
    std::vector<unsigned char> token;  // what the last step hands out
    bool started = false;
    bool server = false;
    bool complete = false;
    bool failed = false;  // a failed handshake cannot be resumed
    std::string peerName;
};

namespace {

std::atomic<qel::ntlm::detail::BackendFactory> testBackend{nullptr};

int Step(QelNtlmContext* context, bool server, const void* peerToken, size_t peerLength,
         const void** outToken, size_t* outLength, int* done) {
    if (outToken) *outToken = nullptr;
    if (outLength) *outLength = 0;
    if (done) *done = 0;
    if (!context || !outToken || !outLength || !done || (peerLength > 0 && !peerToken)) return 1;
    if (context->failed || context->complete) return 1;
    if (context->started && context->server != server) return 1;
    // A client begins without a token; every other step answers one.
    bool wantsToken = server || context->started;
    if (wantsToken != (peerLength > 0) || peerLength > QEL_NTLM_MAX_TOKEN) {
        context->failed = true;
        return 1;
    }
    context->started = true;
    context->server = server;
    context->token.clear();
    bool finished = false;
    try {
        std::span<const unsigned char> peer(static_cast<const unsigned char*>(peerToken), peerLength);
        if (context->backend->Step(server, peer, &context->token, &finished) != 0) {
            context->failed = true;
            context->token.clear();
            return 1;
        }
        if (finished && server) context->peerName = context->backend->PeerName();
    } catch (const std::bad_alloc&) {
        context->failed = true;
        context->token.clear();
        return 1;
    }
    context->complete = finished;
    *outToken = context->token.empty() ? nullptr : context->token.data();
    *outLength = context->token.size();
    *done = finished ? 1 : 0;
    return 0;
}

}  // namespace

namespace qel::ntlm::detail {

void SetTestBackend(BackendFactory factory) { testBackend = factory; }

}  // namespace qel::ntlm::detail

bool QelNtlm_Available() { return testBackend.load() != nullptr || qel::ntlm::detail::GssAvailable(); }

int QelNtlm_Create(QelNtlmContext** context) {
    if (!context) return 1;
    *context = nullptr;
    try {
        auto made = std::make_unique<QelNtlmContext>();
        auto factory = testBackend.load();
        made->backend = factory ? factory() : qel::ntlm::detail::MakeGssBackend();
        if (!made->backend) return 1;
        *context = made.release();
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int QelNtlm_ClientStep(QelNtlmContext* context, const void* peerToken, size_t peerLength,
                       const void** outToken, size_t* outLength, int* done) {
    return Step(context, false, peerToken, peerLength, outToken, outLength, done);
}

int QelNtlm_ServerStep(QelNtlmContext* context, const void* peerToken, size_t peerLength,
                       const void** outToken, size_t* outLength, int* done) {
    return Step(context, true, peerToken, peerLength, outToken, outLength, done);
}

const char* QelNtlm_PeerName(const QelNtlmContext* context) {
    if (!context || !context->complete || !context->server) return nullptr;
    return context->peerName.c_str();
}

void QelNtlm_Free(QelNtlmContext* context) { delete context; }
