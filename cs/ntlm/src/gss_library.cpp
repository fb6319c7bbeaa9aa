#include "gss_library.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "arc_platform.h"

#ifndef QEL_LIBRARY_ARCH
#define QEL_LIBRARY_ARCH ""
#endif

namespace qel::ntlm::detail {
namespace {

gss_OID_desc ntlmOid = {10, const_cast<char*>("\x2b\x06\x01\x04\x01\x82\x37\x02\x02\x0a")};
gss_OID_desc hostBasedOid = {10, const_cast<char*>("\x2a\x86\x48\x86\xf7\x12\x01\x02\x01\x04")};

// The library's names in the system's library directories only: nothing from the
// environment (neither a path of its own nor LD_LIBRARY_PATH) chooses what is loaded.
std::vector<std::string> Candidates() {
    std::vector<std::string> dirs;
    if (std::strlen(QEL_LIBRARY_ARCH) > 0) {
        dirs.push_back(std::string("/usr/lib/") + QEL_LIBRARY_ARCH);
        dirs.push_back(std::string("/lib/") + QEL_LIBRARY_ARCH);
    }
    for (const char* d : {"/usr/lib64", "/lib64", "/usr/lib", "/lib", "/usr/local/lib"}) dirs.push_back(d);
    std::vector<std::string> paths;
    for (const auto& d : dirs) {
        for (const char* name : {"libgssapi_krb5.so.2", "libgssapi_krb5.so"}) paths.push_back(d + "/" + name);
    }
    return paths;
}

template <typename Fn>
bool Resolve(ArcOSLibrary* box, const char* name, Fn* slot) {
    *slot = reinterpret_cast<Fn>(ArcOS_GetProcAddress(box, name));
    return *slot != nullptr;
}

bool ResolveAll(ArcOSLibrary* box, GssLibrary* lib) {
    return Resolve(box, "gss_acquire_cred", &lib->acquireCred) &&
           Resolve(box, "gss_release_cred", &lib->releaseCred) &&
           Resolve(box, "gss_import_name", &lib->importName) &&
           Resolve(box, "gss_release_name", &lib->releaseName) &&
           Resolve(box, "gss_display_name", &lib->displayName) &&
           Resolve(box, "gss_init_sec_context", &lib->initSecContext) &&
           Resolve(box, "gss_accept_sec_context", &lib->acceptSecContext) &&
           Resolve(box, "gss_delete_sec_context", &lib->deleteSecContext) &&
           Resolve(box, "gss_release_buffer", &lib->releaseBuffer) &&
           Resolve(box, "gss_indicate_mechs", &lib->indicateMechs) &&
           Resolve(box, "gss_release_oid_set", &lib->releaseOidSet);
}

bool OffersNtlm(const GssLibrary& lib) {
    OM_uint32 minor = 0;
    gss_OID_set mechs = GSS_C_NO_OID_SET;
    if (GSS_ERROR(lib.indicateMechs(&minor, &mechs)) || mechs == GSS_C_NO_OID_SET) return false;
    bool found = false;
    for (size_t i = 0; i < mechs->count && !found; ++i) {
        const gss_OID_desc& m = mechs->elements[i];
        found = m.length == ntlmOid.length && std::memcmp(m.elements, ntlmOid.elements, m.length) == 0;
    }
    lib.releaseOidSet(&minor, &mechs);
    return found;
}

struct Loaded {
    ArcOSLibrary* box = nullptr;       // never freed, see the header
    std::optional<GssLibrary> usable;  // nullopt: loaded, but not what we need
};

std::mutex cacheMutex;
// Never destroyed: the libraries it holds outlive every static destructor.
auto& cache = *new std::map<std::string, Loaded>;

}  // namespace

gss_OID NtlmMechanism() { return &ntlmOid; }
gss_OID HostBasedServiceName() { return &hostBasedOid; }

const GssLibrary* LoadGssLibrary() {
    std::lock_guard lock(cacheMutex);
    for (const std::string& path : Candidates()) {
        if (auto found = cache.find(path); found != cache.end()) {
            if (found->second.usable) return &*found->second.usable;
            continue;
        }
        ArcOSLibrary* box = ArcOS_LoadLibrary(path.c_str());
        if (!box) continue;  // not there: it may be installed later
        Loaded& loaded = cache[path];
        loaded.box = box;
        GssLibrary lib;
        if (ResolveAll(box, &lib) && OffersNtlm(lib)) {
            loaded.usable = lib;
            return &*loaded.usable;
        }
    }
    return nullptr;
}

}  // namespace qel::ntlm::detail
