// libgssapi_krb5, loaded at run time by absolute path, and the entries the handshake uses.
#pragma once

#include <gssapi/gssapi.h>

namespace qel::ntlm::detail {

struct GssLibrary {
    decltype(&gss_acquire_cred) acquireCred = nullptr;
    decltype(&gss_release_cred) releaseCred = nullptr;
    decltype(&gss_import_name) importName = nullptr;
    decltype(&gss_release_name) releaseName = nullptr;
    decltype(&gss_display_name) displayName = nullptr;
    decltype(&gss_init_sec_context) initSecContext = nullptr;
    decltype(&gss_accept_sec_context) acceptSecContext = nullptr;
    decltype(&gss_delete_sec_context) deleteSecContext = nullptr;
    decltype(&gss_release_buffer) releaseBuffer = nullptr;
    decltype(&gss_indicate_mechs) indicateMechs = nullptr;
    decltype(&gss_release_oid_set) releaseOidSet = nullptr;
};

// The library found by name in the system's library directories, with every entry resolved and the NTLM
// mechanism offered; null otherwise. A library once loaded stays loaded: the Kerberos libraries do not take
// unloading well.
const GssLibrary* LoadGssLibrary();

// The NTLM mechanism (1.3.6.1.4.1.311.2.2.10) and the host-based service name type.
gss_OID NtlmMechanism();
gss_OID HostBasedServiceName();

}  // namespace qel::ntlm::detail
