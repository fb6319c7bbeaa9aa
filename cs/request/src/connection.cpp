// The connection of a handle: made on its first request, dropped on logoff, on the
// server's wish or after a transport failure. The request mutex orders a cancel from
// another thread against the set-up and tear-down of the connection.
#include "dispatcher_detail.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <string>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "dispatcher_roads.h"

namespace {

constexpr int64_t kDefaultIdleSeconds = 300;

using namespace csreq::detail;

// The stream reaches the transport through these forwarders, typed as the transport's
// own entries, with the connection record as its connection word: the library's
// entries are only ever called through their declared types (transport_loader.cpp).
CsConnection* Record(ArcCOM_Connection* connection) { return reinterpret_cast<CsConnection*>(connection); }
ArcCOM_Connection* Word(CsConnection* connection) { return reinterpret_cast<ArcCOM_Connection*>(connection); }

int StreamRecv(ArcCOM_Connection* connection, void* buffer, int length) {
    CsConnection* c = Record(connection);
    return TransportRecv(c->table, c->transport, buffer, length);
}
int StreamSend(ArcCOM_Connection* connection, const void* buffer, int length) {
    CsConnection* c = Record(connection);
    return TransportSend(c->table, c->transport, buffer, length);
}
const ArcCOM_Funcs kStreamFuncs = [] {
    ArcCOM_Funcs funcs{};
    funcs.recv = StreamRecv;
    funcs.send = StreamSend;
    return funcs;
}();

bool HasControlOrBlank(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if (*p <= ' ' || *p == 0x7F) return true;
    return false;
}

// The definition text the transport reads (docs/transport.md). A definition that
// could smuggle further keys, or names no port, is refused with 2.
int DefinitionText(const CsServerDef& def, std::string* text) {
    if (def.host[0] == '\0' || HasControlOrBlank(def.host) || def.port == 0) return CS_NOT_AVAILABLE;
    *text = std::string("HOST=") + def.host + "\nPORT=" + std::to_string(def.port) +
            "\nPROTOCOL=" + std::to_string(def.kind) + "\n";
    if (def.connectTimeout != 0) *text += "CONNECT_TIMEOUT=" + std::to_string(def.connectTimeout) + "\n";
    if (def.idleTimeout != 0) *text += "IDLE_TIMEOUT=" + std::to_string(def.idleTimeout) + "\n";
    return CS_OK;
}

void FreeConnection(CsConnection* connection) {
    if (connection == nullptr) return;
    if (connection->table != nullptr) TransportDisconnect(connection->table, connection->transport);
    CsStreamFree(connection->stream);
    FreeTransportTable(connection->table);
    delete connection;
}

int32_t LocalCcsid(const CsHandle* handle) {
    return handle->localCcsid != 0 ? handle->localCcsid : ArcOS_GetCodePage();
}

// Steps 2 and 3 of the first request, with the request mutex held by the caller.
int SetUp(CsHandle* handle, CsConnection* connection, std::unique_lock<std::recursive_mutex>& lock) {
    if (CsPollCancel(handle)) return CS_CANCELLED;
    ArcIconvContext* pages = handle->iconv ? handle->iconv : csreq::detail::DefaultCodePages();
    if (pages == nullptr || !CsStreamSetup(connection->stream, pages, LocalCcsid(handle), CS_WIRE_CCSID))
        return CS_TRANSPORT;
    std::string definition;
    int rc = DefinitionText(handle->def, &definition);
    if (rc != CS_OK) return rc;
    connection->table = LoadTransportTable(&handle->def, &rc);
    if (connection->table == nullptr) return rc;
    void* transport = nullptr;
    // A cancel must be able to take the mutex while the connect waits.
    lock.unlock();
    rc = TransportConnect(connection->table, &transport, definition.c_str(), handle->yield);
    lock.lock();
    connection->transport = transport;
    if (handle->def.flags1 & CS_F1_INTERRUPT) return CS_CANCELLED;
    if (rc != CS_OK) return rc;
    if (transport == nullptr) return CS_NOT_AVAILABLE;
    CsStreamSetTransport(connection->stream, &kStreamFuncs, Word(connection));
    return CS_OK;
}

}  // namespace

namespace csreq::detail {

ArcIconvContext* DefaultCodePages() {
    static ArcIconvContext* context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        if (ArcICONV_Startup(&context, nullptr) != 0) context = nullptr;
    });
    return context;
}

int Connect(CsHandle* handle) {
    LendDispatcher();
    CsRequestState& state = handle->def.request;
    std::unique_lock lock(state.mutex);
    if (state.connection != nullptr) return CS_OK;
    auto* connection = new (std::nothrow) CsConnection();
    if (connection == nullptr) return CS_NO_MEMORY;
    connection->stream = CsStreamCreate();
    if (connection->stream == nullptr) {
        delete connection;
        return CS_NO_MEMORY;
    }
    // A hostile server's reply may make at most this much memory; past it the request fails.
    CsStreamXdr(connection->stream)->decodeLimit = handle->def.replyLimit;
    int64_t idle = handle->def.idleTimeout != 0 ? handle->def.idleTimeout : kDefaultIdleSeconds;
    connection->idleMs = idle * 1000;
    int rc = SetUp(handle, connection, lock);
    if (rc != CS_OK) {
        FreeConnection(connection);
        return rc;
    }
    state.connection = connection;
    state.freeConnection = FreeConnection;
    return CS_OK;
}

void Drop(CsHandle* handle) {
    CsRequestState& state = handle->def.request;
    // Freed under the mutex: a cancel never reaches a connection being closed.
    std::lock_guard lock(state.mutex);
    FreeConnection(state.connection);
    state.connection = nullptr;
}

}  // namespace csreq::detail

void CsCancelRequest(CsHandle* handle) {
    if (handle == nullptr) return;
    CsRequestState& state = handle->def.request;
    handle->def.flags1 |= CS_F1_CANCEL_PENDING;
    {
        std::lock_guard lock(state.mutex);
        CsConnection* connection = state.connection;
        if (connection != nullptr && connection->table != nullptr)
            TransportCancel(connection->table, connection->transport);
    }
    handle->def.flags1 &= ~CS_F1_CANCEL_PENDING;
}

int CsDropConnection(CsHandle* handle) {
    if (handle != nullptr) csreq::detail::Drop(handle);
    return CS_OK;
}

int CsGetServerInfo(CsHandle* handle) {
    if (handle == nullptr) return CS_FAILED;
    std::lock_guard lock(handle->def.request.mutex);
    CsConnection* connection = handle->def.request.connection;
    if (connection == nullptr || connection->table == nullptr) return CS_NOT_AVAILABLE;
    int rc = TransportInfo(connection->table, connection->transport, handle->serverInfo,
                           sizeof handle->serverInfo);
    // The transport answers in the request layer's numbers.
    if (rc == CS_OK) return CS_OK;
    if (rc == CS_FAILED) return CS_FAILED;
    handle->serverInfo[0] = '\0';
    return CS_NOT_AVAILABLE;
}
