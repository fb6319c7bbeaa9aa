// qel_ntlm_fake.h - the deterministic NTLM fake for tests (library qel_ntlm_fake, never
// linked into a shipped program). Its tokens: docs/ntlm.md.
#pragma once

// Later QelNtlm_Create calls make fake contexts instead of GSSAPI ones (process-wide).
void QelNtlmFake_Install();
// Back to GSSAPI. The identity stays as set.
void QelNtlmFake_Remove();
// The identity every fake step uses from now on (process-wide): user (null or empty: the
// process user's name) and secret (null or empty: "fake-secret").
void QelNtlmFake_SetIdentity(const char* user, const char* secret);
