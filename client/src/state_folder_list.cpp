// The folder-list blob: the folders a user may open, bound to the server and user.
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "blob_reader.h"
#include "blob_writer.h"
#include "qel_client.h"
#include "session_list.h"
#include "state_format.h"

namespace {

using namespace qelclient;

// number, name, description, type, field total, flags
constexpr size_t kMinFolderRecord = 4 + 4 + 4 + 1 + 2 + 4;
constexpr size_t kMaxFolderRecord = kMinFolderRecord + kFolderNameMax + kDescriptionMax;

}  // namespace

size_t State_FolderRecordSize() { return kMaxFolderRecord; }

size_t State_SaveFolderList(ClientSession* session, std::vector<unsigned char>* blob) {
    if (!blob || !ListContains(session)) return 0;
    BlobWriter w;
    w.Text(session->handle.serverName);
    w.Text(session->user.userId);
    w.U32(static_cast<uint32_t>(session->folders.size()));
    for (const auto& entry : session->folders) {
        const ClientFolderRow& row = entry->row;
        w.U32(row.number);
        w.Text(row.name);
        w.Text(row.description);
        w.U8(row.type);
        w.U16(row.fieldTotal);
        w.U32(row.flags);
    }
    *blob = w.Finish(kFolderListMagic);
    return blob->size();
}

int State_RestoreFolderList(ClientSession* session, const unsigned char* blob, size_t length) {
    if (!ListContains(session)) return -1;
    BlobReader r(blob, length, kFolderListMagic);
    // A list saved for another logon must not show its folders here.
    if (r.Text(kServerNameMax) != session->handle.serverName) r.Fail();
    if (r.Text(kUserIdMax) != session->user.userId) r.Fail();
    const uint32_t count = r.Count(kListCountMax, kMinFolderRecord);
    std::vector<std::unique_ptr<ClientFolderEntry>> list;
    list.reserve(count);
    for (uint32_t i = 0; i < count && r.ok(); ++i) {
        auto entry = std::make_unique<ClientFolderEntry>();
        ClientFolderRow& row = entry->row;
        row.number = r.U32();
        row.name = r.Text(kFolderNameMax);
        if (row.name.empty()) r.Fail();
        row.description = r.Text(kDescriptionMax);
        row.type = r.U8();
        row.fieldTotal = r.U16();
        row.flags = r.U32();
        entry->session = session;
        list.push_back(std::move(entry));
    }
    if (!r.Done()) return -1;
    session->folders = std::move(list);
    return static_cast<int>(count);
}
