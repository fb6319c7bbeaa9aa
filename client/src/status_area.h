// status_area.h - where a ClientStatus points (internal).
#pragma once

#include "qel_client.h"

namespace qelclient {

// The session's area, or the calling thread's when there is no session.
ClientStatusArea& AreaOf(ClientSession* session);
// Empties the inserts of an area.
void ClearInserts(ClientStatusArea& area);
// Fills a status that points into the area (serverMessage: null or empty gives null).
void SetStatus(ClientStatus* status, ClientStatusArea& area, int severity, int code,
               const char* serverMessage);
// Moves what the status points to from the session into the calling thread's area, so
// that the status outlives the session record.
void DetachStatus(ClientStatus* status, const ClientSession& session);

}  // namespace qelclient
