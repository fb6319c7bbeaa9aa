// The integrated logon's token exchange: request 108 with a client context against a
// remote server; locally, the server side of the handshake through the caller's
// callbacks.
#include <cstring>
#include <memory>

#include "logon_detail.h"
#include "qel_ntlm.h"

using namespace cslogon;

namespace {

// A handshake that has not finished after this many rounds is broken off.
constexpr int kMaxRounds = 16;

struct NtlmContextCloser {
    void operator()(QelNtlmContext* context) const { QelNtlm_Free(context); }
};

// One client step of request 108; the context is the handle's callback context while
// the request runs.
int ClientStep(CsHandle* handle, const unsigned char* token, uint32_t length, const unsigned char** next,
               uint32_t* nextLength, int* done) {
    auto* context = static_cast<QelNtlmContext*>(handle->callbackContext);
    const void* out = nullptr;
    size_t outLength = 0;
    if (QelNtlm_ClientStep(context, token, length, &out, &outLength, done) != 0) return CS_FAILED;
    if (outLength > QEL_NTLM_MAX_TOKEN) return CS_FAILED;
    *next = static_cast<const unsigned char*>(out);
    *nextLength = static_cast<uint32_t>(outLength);
    return CS_OK;
}

int RemoteExchange(CsHandle* handle, QelNtlmContext* context, const char* userId, char* outUserId) {
    int rc = CsNegotiateLevel(handle, 1, 0);
    if (rc == CS_LEVEL_NOT_SUPPORTED) return CS_NOT_AUTHORISED;
    if (rc != CS_OK) return rc;
    void* saved = handle->callbackContext;
    handle->callbackContext = context;
    rc = CsServerRequest(handle, CS_REQ_SECURITY_TOKEN, userId, outUserId, ClientStep);
    handle->callbackContext = saved;
    return rc;
}

int LocalExchange(CsHandle* handle, QelNtlmContext* context, CsTokenSourceFn serverStep,
                  CsTokenSinkFn finish) {
    if (serverStep == nullptr || finish == nullptr) return CS_FAILED;
    void* callbackContext = handle->callbackContext;
    if (finish(callbackContext, nullptr, 0) != 0) return CS_FAILED;
    for (int round = 0; round < kMaxRounds; ++round) {
        const unsigned char* token = nullptr;
        uint32_t length = 0;
        if (serverStep(callbackContext, &token, &length) != 0) return CS_FAILED;
        const void* answer = nullptr;
        size_t answerLength = 0;
        int done = 0;
        if (QelNtlm_ServerStep(context, token, length, &answer, &answerLength, &done) != 0) return CS_FAILED;
        if (finish(callbackContext, static_cast<const unsigned char*>(answer),
                   static_cast<uint32_t>(answerLength)) != 0)
            return CS_FAILED;
        if (done) return CS_OK;
    }
    return CS_FAILED;
}

}  // namespace

int CsIntegratedLogonExchange(CsHandle* handle, const char* userId, char* outUserId,
                              CsTokenSourceFn serverStep, CsTokenSinkFn finish) {
    if (handle == nullptr) return CS_FAILED;
    if (!Fits(userId, CS_USER_ID_SIZE)) return CS_NOT_AUTHORISED;
    if (outUserId != nullptr) CsSetText(outUserId, CS_USER_ID_SIZE, userId);
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    // Without the NTLM mechanism nobody can be vouched for: the logon is refused.
    if (!QelNtlm_Available()) return CsSessionLeave(handle, CS_NOT_AUTHORISED);
    QelNtlmContext* raw = nullptr;
    if (QelNtlm_Create(&raw) != 0) return CsSessionLeave(handle, CS_FAILED);
    std::unique_ptr<QelNtlmContext, NtlmContextCloser> context(raw);
    rc = IsLocal(handle) ? LocalExchange(handle, context.get(), serverStep, finish)
                         : RemoteExchange(handle, context.get(), userId ? userId : "", outUserId);
    return CsSessionLeave(handle, rc);
}
