// The session's folder list: loaded once, kept sorted by name without regard to case.
#include <algorithm>
#include <memory>
#include <vector>

#include "arc_platform.h"
#include "library_state.h"
#include "qel_client.h"
#include "server_ops.h"
#include "status_area.h"

namespace {

// Before the first entry whose name sorts after the new one, so that equal names keep
// the order in which they arrived.
void InsertSorted(std::vector<std::unique_ptr<ClientFolderEntry>>& list, ClientSession* s,
                  ClientFolderRow row) {
    auto entry = std::make_unique<ClientFolderEntry>();
    entry->row = std::move(row);
    entry->session = s;
    auto at = std::upper_bound(list.begin(), list.end(), entry->row.name,
                               [](const std::string& name, const auto& e) {
                                   return ArcOS_StrICmp(name.c_str(), e->row.name.c_str()) < 0;
                               });
    list.insert(at, std::move(entry));
}

}  // namespace

void Session_LoadFolderList(ClientStatus* status, ClientSession* session) {
    using namespace qelclient;
    ClientStatus ignored;
    if (!status) status = &ignored;
    if (!session || !session->open || !session->folders.empty() || !Library().options.folderListSwitch) {
        ClientStatusArea& area = AreaOf(session);
        ClearInserts(area);
        SetStatus(status, area, 0, 0, nullptr);
        return;
    }
    // Kept only when the whole list arrived; a failed load is tried again next time.
    std::vector<std::unique_ptr<ClientFolderEntry>> list;
    const auto& get = Ops().getFolderList;
    const int rc = get ? get(session,
                             [&list, session](ClientFolderRow row) {
                                 InsertSorted(list, session, std::move(row));
                                 return 0;
                             })
                       : CS_FAILED;
    Session_MakeStatus(status, session, rc, CLIENT_OP_FOLDER_LIST);
    if (status->severity == CLIENT_SEV_OK) session->folders = std::move(list);
}

int Folder_GetCount(ClientSession* session) {
    if (!session) return 0;
    ClientStatus status;
    Session_LoadFolderList(&status, session);
    return static_cast<int>(session->folders.size());
}

int Folder_ListNames(ClientSession* session, ClientFolderName* out, size_t capacity) {
    if (!session || !out) return 0;
    size_t n = 0;
    for (const auto& entry : session->folders) {
        if (n == capacity) break;
        out[n].name = entry->row.name.c_str();
        out[n].description = entry->row.description.c_str();
        out[n].special = (entry->row.flags & CLIENT_FOLDER_SPECIAL) ? 1 : 0;
        ++n;
    }
    return static_cast<int>(n);
}
