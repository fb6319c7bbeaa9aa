// session_list.h - the process-wide list of sessions and of server names (internal).
// Both are guarded by the session-list mutex, which is never held across a server call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "qel_client.h"

namespace qelclient {

// Appends the session at the tail, links it to the server-name entry of its server
// (made when no entry of that name, compared without case, exists) and marks it open.
ClientSession* ListAppend(std::unique_ptr<ClientSession> session);
// Unlinks the session and hands its record back; null when it is not listed.
std::unique_ptr<ClientSession> ListRemove(ClientSession* session);
bool ListContains(const ClientSession* session);
// The head of the list, or null.
ClientSession* ListFirst();
size_t ListSize();
// The session whose exit session id is id; 0 matches none.
ClientSession* ListFindByExitId(uint32_t id);

size_t ServerEntryCount();
void ClearServerEntries();

}  // namespace qelclient
