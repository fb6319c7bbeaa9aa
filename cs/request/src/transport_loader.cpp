// Loading the transport library: by absolute path only, never through the search path.
#include "qel_cs.h"
#include "qel_cswire.h"

#include <cstring>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"

namespace {

constexpr const char* kEntryNames[] = {
    "ArcCOM_ClientConnect", "ArcCOM_ClientDisconnect", "ArcCOM_ServerInit", "ArcCOM_ServerTerm",
    "ArcCOM_ServerConnect", "ArcCOM_ServerDisconnect", "ArcCOM_Recv",       "ArcCOM_Send",
    "ArcCOM_Cancel",        "ArcCOM_Flags",            "ArcCOM_Info",       "ArcCOM_Version",
    "ArcCOM_Init",          "ArcCOM_Term",             "ArcCOM_HostInfo"};
static_assert(sizeof(ArcCOM_Funcs) == 16 * sizeof(void*), "the table has 16 slots");

void** Slots(ArcCOM_Funcs* table) { return reinterpret_cast<void**>(table); }

std::string Directory(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string InstallLibDir() {
    char base[4096];
    if (QelInst_BaseDir(base, sizeof base) == 0) return {};
    return std::string(base) + "lib/";
}

// The names tried in order: the given directory's two names, then the install's.
std::vector<std::string> Candidates(const CsServerDef& def) {
    if (!def.transportLibrary.empty()) return {def.transportLibrary};
    std::vector<std::string> names;
    std::string given = Directory(def.transportPath);
    std::string install = InstallLibDir();
    for (const std::string& dir : {given, install}) {
        if (dir.empty() || dir[0] != '/') continue;
        for (const char* file : {CS_TRANSPORT_NAME, CS_TRANSPORT_FALLBACK_NAME}) {
            std::string name = dir + file;
            bool seen = false;
            for (const auto& n : names) seen = seen || n == name;
            if (!seen) names.push_back(name);
        }
    }
    return names;
}

// Fills the table from an opened library; false when it is not a usable transport.
bool Bind(ArcOSLibrary* library, ArcCOM_Funcs* table) {
    auto getFuncs = reinterpret_cast<ArcCOM_GetFuncsFn>(ArcOS_GetProcAddress(library, "ArcCOM_GetFuncs"));
    if (getFuncs == nullptr) return false;
    getFuncs(table);
    void** slots = Slots(table);
    for (int slot = 1; slot < 16; ++slot) {
        if (slots[slot] == nullptr) slots[slot] = ArcOS_GetProcAddress(library, kEntryNames[slot - 1]);
        if (slots[slot] == nullptr) return false;
    }
    return table->Version() == 5;
}

}  // namespace

int CsLoadTransport(CsServerDef* def, ArcCOM_Funcs* table) {
    if (def == nullptr || table == nullptr) return CS_TRANSPORT_LIBRARY;
    std::memset(table, 0, sizeof *table);
    for (const std::string& name : Candidates(*def)) {
        ArcOSLibrary* library = ArcOS_LoadLibrary(name.c_str());
        if (library == nullptr) continue;
        if (!Bind(library, table)) {
            std::memset(table, 0, sizeof *table);
            ArcOS_FreeLibrary(library);
            // A library that loads but is no transport ends the search: a fall-back
            // would hide a broken installation.
            return CS_TRANSPORT_LIBRARY;
        }
        table->library = library;
        def->transportLibrary = name;
        return CS_OK;
    }
    return CS_TRANSPORT_LIBRARY;
}

void CsUnloadTransport(ArcCOM_Funcs* table) {
    if (table == nullptr) return;
    ArcOS_FreeLibrary(static_cast<ArcOSLibrary*>(table->library));
    std::memset(table, 0, sizeof *table);
}
