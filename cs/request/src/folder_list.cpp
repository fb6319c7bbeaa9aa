// The folder list a logged-on user may open: request 121 (19 on older levels), or the
// local folder table with the folder-permission check.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "archive_texts.h"
#include "logon_detail.h"

using namespace cslogon;

namespace {

constexpr uint16_t kOpenBits = 0x07;
constexpr uint32_t kSpecialFolder = 0x100;

// The caller's callback through the dispatcher's entry callback.
struct RemoteAdapter {
    void* context;
    CsFolderFn callback;
};

int RemoteEntry(void* context, void* entry) {
    auto* a = static_cast<RemoteAdapter*>(context);
    if (a->callback == nullptr) return 1;
    return a->callback(a->context, static_cast<CsFolderEntry*>(entry));
}

int RemoteFolders(CsHandle* handle, const char* pattern, const char* selection1, const char* selection2,
                  int flags, uint32_t* outCount, CsFolderFn callback) {
    RemoteAdapter adapter{handle->callbackContext, callback};
    handle->callbackContext = &adapter;
    const int rc = CsServerRequest(handle, CS_REQ_FOLDER_LIST, pattern, selection1, selection2, flags,
                                   outCount, RemoteEntry);
    handle->callbackContext = adapter.context;
    return rc;
}

bool Counts(int flags, uint32_t folderFlags) {
    const bool special = (folderFlags & kSpecialFolder) != 0;
    switch (flags & 0x03) {
        case 0x01: return special;
        case 0x02: return !special;
        default: return true;
    }
}

template <size_t N, size_t M>
void CopyText(char (&to)[N], const char (&from)[M]) {
    std::memset(to, 0, N);
    std::memcpy(to, from, strnlen(from, std::min(N - 1, M)));
}

int LocalFolders(CsHandle* handle, const char* pattern, int flags, uint32_t* outCount, CsFolderFn callback) {
    uint32_t count = 0;
    std::optional<QelLikePattern> like;  // compiled once for every folder
    int rc = QelLocal_LoadTables(handle);
    std::optional<cstexts::ArchiveTexts> texts;
    if (rc == CS_OK) texts.emplace(handle);
    if (rc == CS_OK && pattern != nullptr && pattern[0] != '\0') {
        // The pattern matches the archive's names, in the archive's code page.
        std::string archivePattern = pattern;
        if (!texts->ToArchive(&archivePattern)) rc = CS_FAILED;
        try {
            if (rc == CS_OK) like.emplace(archivePattern);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    QelLocalFolder folder;
    if (rc == CS_OK) rc = QelLocal_ListFoldersFirst(handle, nullptr, &folder);
    for (; rc == CS_OK; rc = QelLocal_ListFoldersNext(handle, &folder)) {
        if (like && !like->Match(folder.name)) continue;
        const int permitted = FolderPermission(handle, folder.fid);
        if (permitted == CS_NOT_AUTHORISED) continue;
        if (permitted != CS_OK) {
            rc = permitted;
            break;
        }
        // The entry is freed the way the dispatcher frees decoded folders.
        auto* entry = static_cast<CsFolderEntry*>(std::calloc(1, sizeof(CsFolderEntry)));
        if (entry == nullptr) {
            rc = CS_NO_MEMORY;
            break;
        }
        entry->number = static_cast<uint32_t>(folder.fid);
        CopyText(entry->name, folder.name);
        CopyText(entry->description, folder.description);
        if (!texts->ToSession(entry->name, sizeof entry->name) ||
            !texts->DescriptionToSession(entry->description, sizeof entry->description)) {
            CsFreeFolderList(entry);
            rc = CS_FAILED;
            break;
        }
        entry->fieldTotal = static_cast<uint16_t>(std::clamp<int32_t>(folder.fieldCount, 0, 0xFFFF));
        if (Counts(flags, entry->flags)) ++count;
        if (callback == nullptr || callback(handle->callbackContext, entry) != 0) CsFreeFolderList(entry);
    }
    if (rc == CS_NOT_FOUND) rc = CS_OK;
    if (outCount != nullptr) *outCount = count;
    return QelLocal_EndRequest(handle, rc);
}

}  // namespace

int cslogon::FolderPermission(CsHandle* handle, int32_t folder) {
    const CsLogonRecord* logon = handle->logon;
    if (logon == nullptr) return CS_NOT_AUTHORISED;
    if (SeesAllFolders(handle)) return CS_OK;
    QelLocalFolderPerms perms;
    const int rc = QelLocal_GetFolderPerms(handle, folder, static_cast<int32_t>(logon->userNumber),
                                           logon->groupList.c_str(), &perms);
    if (rc == CS_NOT_FOUND) return CS_NOT_AUTHORISED;
    if (rc != CS_OK) return rc;
    return (perms.perms & kOpenBits) ? CS_OK : CS_NOT_AUTHORISED;
}

int CsGetFolderList(CsHandle* handle, const char* pattern, const char* selection1, const char* selection2,
                    int flags, uint32_t* outCount, CsFolderFn callback) {
    if (handle == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    rc = IsLocal(handle) ? LocalFolders(handle, pattern, flags, outCount, callback)
                         : RemoteFolders(handle, pattern, selection1, selection2, flags, outCount, callback);
    return CsSessionLeave(handle, rc);
}

void CsFreeFolderList(CsFolderEntry* entry) { CsFreeReplyEntry(CS_REQ_FOLDER_LIST, entry); }
