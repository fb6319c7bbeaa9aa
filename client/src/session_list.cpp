// The process-wide session list and server-name list, under the session-list mutex.
#include "session_list.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "arc_platform.h"

namespace qelclient {
namespace {

struct Lists {
    std::mutex mutex;  // SessionListMutex
    std::vector<std::unique_ptr<ClientSession>> sessions;
    std::vector<std::unique_ptr<std::string>> serverNames;  // live until Client_Term
};

Lists& Global() {
    static Lists lists;
    return lists;
}

const std::string* ServerEntryLocked(Lists& lists, const char* name) {
    for (const auto& entry : lists.serverNames) {
        if (ArcOS_StrICmp(entry->c_str(), name) == 0) return entry.get();
    }
    lists.serverNames.push_back(std::make_unique<std::string>(name));
    return lists.serverNames.back().get();
}

}  // namespace

ClientSession* ListAppend(std::unique_ptr<ClientSession> session) {
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    session->serverEntry = ServerEntryLocked(lists, session->handle.serverName);
    session->open = 1;
    lists.sessions.push_back(std::move(session));
    return lists.sessions.back().get();
}

std::unique_ptr<ClientSession> ListRemove(ClientSession* session) {
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    auto it = std::find_if(lists.sessions.begin(), lists.sessions.end(),
                           [session](const auto& s) { return s.get() == session; });
    if (it == lists.sessions.end()) return nullptr;
    std::unique_ptr<ClientSession> record = std::move(*it);
    lists.sessions.erase(it);
    return record;
}

bool ListContains(const ClientSession* session) {
    if (!session) return false;
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    return std::any_of(lists.sessions.begin(), lists.sessions.end(),
                       [session](const auto& s) { return s.get() == session; });
}

ClientSession* ListFirst() {
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    return lists.sessions.empty() ? nullptr : lists.sessions.front().get();
}

size_t ListSize() {
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    return lists.sessions.size();
}

ClientSession* ListFindByExitId(uint32_t id) {
    if (id == 0) return nullptr;
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    for (const auto& s : lists.sessions) {
        if (s->exitSessionId == id) return s.get();
    }
    return nullptr;
}

size_t ServerEntryCount() {
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    return lists.serverNames.size();
}

void ClearServerEntries() {
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    // Sessions still listed would point at freed names.
    for (const auto& s : lists.sessions) s->serverEntry = nullptr;
    lists.serverNames.clear();
}

}  // namespace qelclient

bool Session_IsOpen(ClientSession* session) {
    using namespace qelclient;
    if (!session) return false;
    Lists& lists = Global();
    std::lock_guard lock(lists.mutex);
    for (const auto& s : lists.sessions) {
        if (s.get() == session) return s->open != 0;
    }
    return false;
}
