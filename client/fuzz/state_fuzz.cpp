// Fuzzes the readers of the session, folder-list and open-folder blobs.
//
// The first input byte picks the reader (bit 0: folder list, else bit 2: open folder of
// the name "F") and whether the rest is a
// whole blob or a payload to be framed with this build's header (bit 1), so that the
// fuzzer reaches the field checks and not only the CRC.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "qel_client.h"
#include "server_ops.h"
#include "state_format.h"

namespace {

void PutLe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::vector<unsigned char> Frame(const char (&magic)[4], const uint8_t* data, size_t size) {
    std::vector<unsigned char> blob(qelclient::kBlobHeaderSize);
    std::memcpy(blob.data(), magic, 4);
    PutLe32(&blob[4], qelclient::kBlobFormatVersion);
    PutLe32(&blob[8], qelclient::SchemaHash());
    PutLe32(&blob[12], static_cast<uint32_t>(size));
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, blob.data(), 16);
    crc = crc32(crc, data, static_cast<uInt>(size));
    PutLe32(&blob[16], static_cast<uint32_t>(crc));
    blob.insert(blob.end(), data, data + size);
    return blob;
}

// The session folder lists and open folders are restored into: ALICE on ARCHIVE, with
// the folder "F" in its list.
ClientSession* Target() {
    static ClientSession* target = [] {
        qelclient::ServerOps ops;
        ops.logon = [](ClientSession* s, const char* user, const char*) {
            CsSetText(s->user.userId, sizeof s->user.userId, user);
            return 0;
        };
        qelclient::SetOps(ops);
        ClientStatus status;
        ClientSession* s = nullptr;
        Session_Logon(&status, "ARCHIVE", "host", "ALICE", "SECRET", 'T', 1445, nullptr, &s);
        if (s != nullptr) {
            auto entry = std::make_unique<ClientFolderEntry>();
            entry->row.name = "F";
            entry->session = s;
            s->folders.push_back(std::move(entry));
        }
        return s;
    }();
    return target;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ClientSession* target = Target();
    if (size < 1 || !target) return 0;
    const bool folderList = data[0] & 1;
    const bool openFolder = !folderList && (data[0] & 4);
    const bool framed = data[0] & 2;
    ++data;
    --size;
    const char(&magic)[4] = folderList   ? qelclient::kFolderListMagic
                            : openFolder ? qelclient::kOpenFolderMagic
                                         : qelclient::kSessionMagic;
    std::vector<unsigned char> blob =
        framed ? Frame(magic, data, size) : std::vector<unsigned char>(data, data + size);
    if (folderList) {
        State_RestoreFolderList(target, blob.data(), blob.size());
    } else if (openFolder) {
        if (OpenFolder* f = State_RestoreFolder(target, blob.data(), blob.size())) {
            // Closed again, so that every input starts from the same session.
            ClientFolderEntry* entry = f->entry;
            entry->open.reset();
            entry->definition.reset();
            target->openedFolders.clear();
            target->segmentRows.clear();
        }
    } else if (ClientSession* s = State_RestoreSession(blob.data(), blob.size(), nullptr)) {
        Session_Logoff(s, 1);
    }
    return 0;
}
