// The user's group list: loaded once per session, in the server's order.
#include <cstdio>
#include <cstring>
#include <vector>

#include "qel_client.h"
#include "server_ops.h"
#include "status_area.h"

void Session_LoadGroupList(ClientStatus* status, ClientSession* session) {
    using namespace qelclient;
    ClientStatus ignored;
    if (!status) status = &ignored;
    if (!session || session->groupsLoaded) {
        ClientStatusArea& area = AreaOf(session);
        ClearInserts(area);
        SetStatus(status, area, 0, 0, nullptr);
        return;
    }
    char key[16];
    std::snprintf(key, sizeof key, "%ld", static_cast<long>(session->userNumber));
    // Rows are kept only when the whole list arrived, so that a retry does not repeat them.
    std::vector<ClientGroupEntry> rows;
    const auto& get = Ops().getUserGroups;
    const int rc = get ? get(session, key,
                             [&rows](ClientGroupEntry row) {
                                 rows.push_back(std::move(row));
                                 return 0;
                             })
                       : CS_FAILED;
    Session_MakeStatus(status, session, rc, CLIENT_OP_GROUP_LIST);
    if (status->severity != CLIENT_SEV_OK) return;
    session->groups = std::move(rows);
    session->groupsLoaded = 1;
}

void Session_GetGroupCount(ClientStatus* status, ClientSession* session, int* count) {
    Session_LoadGroupList(status, session);
    if (count) *count = session ? static_cast<int>(session->groups.size()) : 0;
}

int Session_ListGroups(ClientSession* session, ClientGroupName* out, size_t capacity) {
    if (!session || !out) return 0;
    size_t n = 0;
    for (const ClientGroupEntry& g : session->groups) {
        if (n == capacity) break;
        out[n].id = g.id.c_str();
        out[n].description = g.description.c_str();
        ++n;
    }
    return static_cast<int>(n);
}

void Session_SelectGroup(ClientSession* session, const char* id) {
    if (!session) return;
    session->currentGroup = -1;
    if (!id) return;
    for (size_t i = 0; i < session->groups.size(); ++i) {
        if (std::strcmp(session->groups[i].id.c_str(), id) == 0) {
            session->currentGroup = static_cast<int>(i);
            return;
        }
    }
}
