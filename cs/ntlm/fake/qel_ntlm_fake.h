// qel_ntlm_fake.h - the deterministic NTLM fake for tests (library qel_ntlm_fake, never
// linked into a shipped program). Its tokens: docs/ntlm.md.
#pragma once

// Later QelNtlm_Create calls make fake contexts instead of GSSAPI ones (process-wide).
// The fake's user comes from QEL_NTLM_FAKE_USER, else the process user; its secret from
// QEL_NTLM_FAKE_SECRET, else "fake-secret".
void QelNtlmFake_Install();
// Back to GSSAPI.
void QelNtlmFake_Remove();
