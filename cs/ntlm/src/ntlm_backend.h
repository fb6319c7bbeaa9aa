// The two ways of running an NTLM handshake behind qel_ntlm.h. Internal to cs/ntlm.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qel::ntlm::detail {

class Backend {
public:
    virtual ~Backend() = default;
    // One step in client or server mode (the caller keeps the mode of the first step).
    // peer is empty only for the first client step. 0, or 1 on any failure.
    virtual int Step(bool server, std::span<const unsigned char> peer, std::vector<unsigned char>* out,
                     bool* done) = 0;
    // The authenticated user once a server side has completed; empty before.
    virtual std::string PeerName() const = 0;
};

// GSSAPI with the NTLM mechanism; null when the library or the mechanism is missing.
std::unique_ptr<Backend> MakeGssBackend();
bool GssAvailable();

// The seam for test doubles: while a factory is set, QelNtlm_Create takes its backend
// from it instead of GSSAPI. Only test code sets it (qel_ntlm_fake); nothing in the
// shipped programs, their environment or a request reaches it.
using BackendFactory = std::unique_ptr<Backend> (*)();
void SetTestBackend(BackendFactory factory);

}  // namespace qel::ntlm::detail
