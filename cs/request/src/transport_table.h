// The loaded transport library, called through the entry types its own header
// declares (qel_transport.h); the rest of the dispatcher sees only these functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qel_cs.h"

namespace csreq::detail {

struct TransportTable;

// Loads the transport of the definition (CsLoadTransport): the table, or none with *rc
// CS_TRANSPORT_LIBRARY (or CS_NO_MEMORY).
TransportTable* LoadTransportTable(CsServerDef* def, int* rc);
// Unloads the library and frees the table; none is ignored.
void FreeTransportTable(TransportTable* table);

int TransportConnect(TransportTable* table, void** connection, const char* definition, CsYieldFn yield);
void TransportDisconnect(TransportTable* table, void* connection);
int TransportRecv(TransportTable* table, void* connection, void* buffer, int length);
int TransportSend(TransportTable* table, void* connection, const void* buffer, int length);
void TransportCancel(TransportTable* table, void* connection);
void TransportFlags(TransportTable* table, void* connection, uint32_t flags1, uint32_t flags2,
                    CsYieldFn yield);
// The host text ("host(ip):port") into out: the entry's result, in the request
// layer's numbers (CS_OK, CS_NOT_AVAILABLE, CS_FAILED).
int TransportInfo(TransportTable* table, void* connection, char* out, size_t size);

}  // namespace csreq::detail
