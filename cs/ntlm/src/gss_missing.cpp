// Built when the GSSAPI headers were missing: the real backend is never there.
#include "ntlm_backend.h"

namespace qel::ntlm::detail {

std::unique_ptr<Backend> MakeGssBackend() { return nullptr; }
bool GssAvailable() { return false; }

}  // namespace qel::ntlm::detail
