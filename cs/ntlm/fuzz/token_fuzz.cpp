// NTLM tokens from the peer, through the deterministic fake backend (linked into this
// target only). Input: byte 0 picks the side, the rest is the peer's tokens separated
// by 0xFF bytes.
//   0: server side: every token from the input.
//   1: client side: the first step makes NEGOTIATE; the input answers it.
//   2: a genuine client's NEGOTIATE to the server, then the input's tokens.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "arc_platform.h"
#include "qel_ntlm.h"
#include "qel_ntlm_fake.h"

namespace {

void UseFake() {
    static const bool installed = [] {
        QelNtlmFake_Install();
        QelNtlmFake_SetIdentity("fuzzuser", "fuzz-secret");
        return true;
    }();
    (void)installed;
}

using StepFn = int (*)(QelNtlmContext*, const void*, size_t, const void**, size_t*, int*);

// One step and what any step promises: a failure leaves no token, and a token stays
// within the limit.
int Step(StepFn step, QelNtlmContext* context, std::string_view peer, std::string* out, int* done) {
    const void* token = &token;  // must be overwritten
    size_t length = 99;
    *done = -1;
    const int rc = step(context, peer.empty() ? nullptr : peer.data(), peer.size(), &token, &length, done);
    if (rc != 0 && rc != 1) std::abort();
    if (rc != 0 && length != 0) std::abort();
    if (rc == 0 && (*done != 0 && *done != 1)) std::abort();
    if (rc == 0 && length > QEL_NTLM_MAX_TOKEN) std::abort();
    if (length != 0 && token == nullptr) std::abort();
    out->assign(length != 0 ? static_cast<const char*>(token) : "", length);
    return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    UseFake();
    const int mode = data[0] % 3;
    std::vector<std::string_view> tokens;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    while (tokens.size() < 4) {
        const size_t split = rest.find('\xFF');
        tokens.push_back(rest.substr(0, split));
        if (split == std::string_view::npos) break;
        rest.remove_prefix(split + 1);
    }

    QelNtlmContext* context = nullptr;
    if (QelNtlm_Create(&context) != 0 || context == nullptr) std::abort();
    const StepFn step = mode == 1 ? &QelNtlm_ClientStep : &QelNtlm_ServerStep;
    std::string out;
    int done = 0;
    bool failed = false;
    if (mode == 1) {
        failed = Step(step, context, {}, &out, &done) != 0;
    } else if (mode == 2) {
        QelNtlmContext* client = nullptr;
        if (QelNtlm_Create(&client) != 0) std::abort();
        std::string negotiate;
        if (Step(&QelNtlm_ClientStep, client, {}, &negotiate, &done) != 0) std::abort();
        QelNtlm_Free(client);
        failed = Step(step, context, negotiate, &out, &done) != 0;
    }
    for (std::string_view token : tokens) {
        if (failed || done == 1) break;
        failed = Step(step, context, token, &out, &done) != 0;
    }
    // Only a completed server side names its peer.
    const char* peer = QelNtlm_PeerName(context);
    const bool serverDone = mode != 1 && !failed && done == 1;
    if (serverDone != (peer != nullptr)) std::abort();
    // A step after completion is refused.
    if (!failed && done == 1 && Step(step, context, "again", &out, &done) == 0) std::abort();
    QelNtlm_Free(context);
    return 0;
}
