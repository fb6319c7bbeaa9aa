// Loading the transport library: by absolute path only, never through the search path.
#include "qel_cs.h"
#include "qel_transport.h"
#include "transport_table.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"

namespace {

constexpr const char* kEntryNames[] = {ARCCOM_ENTRY_NAMES};
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
    using GetFuncsFn = int (*)(ArcCOM_Funcs*);
    auto getFuncs = reinterpret_cast<GetFuncsFn>(ArcOS_GetProcAddress(library, "ArcCOM_GetFuncs"));
    if (getFuncs == nullptr) return false;
    getFuncs(table);
    void** slots = Slots(table);
    for (int slot = 1; slot < 16; ++slot) {
        if (slots[slot] == nullptr) slots[slot] = ArcOS_GetProcAddress(library, kEntryNames[slot - 1]);
        if (slots[slot] == nullptr) return false;
    }
    return table->version() == ARCCOM_VERSION;
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

namespace csreq::detail {

struct TransportTable {
    ArcCOM_Funcs funcs{};
};

namespace {
ArcCOM_Connection* Conn(void* connection) { return static_cast<ArcCOM_Connection*>(connection); }
}  // namespace

TransportTable* LoadTransportTable(CsServerDef* def, int* rc) {
    auto* table = new (std::nothrow) TransportTable();
    if (table == nullptr) {
        *rc = CS_NO_MEMORY;
        return nullptr;
    }
    *rc = CsLoadTransport(def, &table->funcs);
    if (*rc != CS_OK) {
        delete table;
        return nullptr;
    }
    return table;
}

void FreeTransportTable(TransportTable* table) {
    if (table == nullptr) return;
    CsUnloadTransport(&table->funcs);
    delete table;
}

int TransportConnect(TransportTable* table, void** connection, const char* definition, CsYieldFn yield) {
    ArcCOM_Connection* made = nullptr;
    int rc = table->funcs.clientConnect(&made, definition, yield);
    *connection = made;
    return rc;
}

void TransportDisconnect(TransportTable* table, void* connection) {
    if (connection != nullptr) table->funcs.clientDisconnect(Conn(connection));
}

int TransportRecv(TransportTable* table, void* connection, void* buffer, int length) {
    return table->funcs.recv(Conn(connection), buffer, length);
}

int TransportSend(TransportTable* table, void* connection, const void* buffer, int length) {
    return table->funcs.send(Conn(connection), buffer, length);
}

void TransportCancel(TransportTable* table, void* connection) {
    if (connection != nullptr) table->funcs.cancel(Conn(connection));
}

void TransportFlags(TransportTable* table, void* connection, uint32_t flags1, uint32_t flags2,
                    CsYieldFn yield) {
    table->funcs.flags(Conn(connection), flags1, flags2, yield);
}

int TransportInfo(TransportTable* table, void* connection, char* out, size_t size) {
    ArcCOM_Connection* c = Conn(connection);
    return table->funcs.info(&c, out, nullptr, ARCCOM_INFO_HOST, size);
}

}  // namespace csreq::detail
