// qel_ntlm.h - integrated logon: one NTLM handshake as a security context with a
// client step and a server step.
//
// The client steps run on the gateway's side and their tokens travel in request 108;
// the server steps serve the in-process local server. Two backends: GSSAPI with the
// NTLM mechanism (libgssapi_krb5 loaded at run time; credentials from the user file
// named by NTLM_USER_FILE, lines "DOMAIN:user:password"). Tests put a deterministic
// fake in its place (qel_ntlm_fake, linked into tests only). Details: docs/ntlm.md.
#pragma once

#include <cstddef>
#include <cstdint>

struct QelNtlmContext;  // one handshake

// A token from the peer longer than this is refused.
inline constexpr size_t QEL_NTLM_MAX_TOKEN = 64 * 1024;

// Whether QelNtlm_Create can work: that the GSSAPI library loads and offers the NTLM
// mechanism. An integrated logon that finds it missing
// answers 13 (not authorised).
bool QelNtlm_Available();

// Makes a context for one handshake. 0, or 1 (the library or the NTLM mechanism is
// missing, out of memory); *context is null on failure.
int QelNtlm_Create(QelNtlmContext** context);

// One step of the handshake. The first client step takes no peer token (null, 0);
// every later step takes the token the peer sent last. *outToken points into the
// context (valid until the next step or QelNtlm_Free); *outLength may be 0 when there
// is nothing to send. *done is 1 when this side is complete, 0 when the peer must
// answer once more. 0, or 1: bad arguments, a peer token above QEL_NTLM_MAX_TOKEN, a
// step after completion or a failure of the mechanism (wrong password, unknown user,
// damaged token). The outputs are cleared first, so a failure leaves none behind.
int QelNtlm_ClientStep(QelNtlmContext* context, const void* peerToken, size_t peerLength,
                       const void** outToken, size_t* outLength, int* done);
int QelNtlm_ServerStep(QelNtlmContext* context, const void* peerToken, size_t peerLength,
                       const void** outToken, size_t* outLength, int* done);

// The user that a completed server side authenticated ("DOMAIN\user"), or null before
// completion. Valid until QelNtlm_Free.
const char* QelNtlm_PeerName(const QelNtlmContext* context);

// Releases the context, its credentials and the mechanism's state; null is ignored.
void QelNtlm_Free(QelNtlmContext* context);
