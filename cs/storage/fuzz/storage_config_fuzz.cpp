// Server definitions, the storage manager's server configuration and its object files.
//
// Input, in parts split by 0xFF bytes: the key lines of the server's registry key
// ("@SRV@_FUZZ"), qel.ini, the "volume" file of a node store, then the object: a
// little-endian int32 offset, an int32 length and the object's bytes. Everything lives
// in a private directory: the registry hive, the install tree and the stores.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "fuzz_input.h"
#include "fuzz_temp_tree.h"
#include "qel_cs.h"
#include "qel_sm.h"

namespace {

namespace fs = std::filesystem;

// The server's install tree lives in it too.
struct Workspace : qel_fuzz::TempTree {
    Workspace() : TempTree("qel_storage_fuzz", {"install/bin", "install/etc", "install/locale", "store"}) {
        QelInst_SetModuleDirForTest((dir + "/install/bin/").c_str());
    }
};

Workspace& Space() {
    static Workspace space;
    return space;
}

using qel_fuzz::WriteFile;

int IgnoreMessage(void*, const char*) { return 0; }

int32_t Int32At(std::string_view part, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && at + i < part.size(); ++i)
        value |= uint32_t(static_cast<uint8_t>(part[at + i])) << (8 * i);
    return static_cast<int32_t>(value);
}

// A read's promises: a piece no longer than asked for, nor than the limit.
void CheckPiece(QelCacheResult rc, const std::vector<uint8_t>& buffer, int64_t asked, int64_t length) {
    if (rc != QELCFS_OK) return;
    if (length < 0 || length > QELCFS_PIECE_MAX || buffer.size() != size_t(length)) std::abort();
    if (asked > 0 && length > asked) std::abort();
}

void ReadServerDefinitions(std::string_view keyLines) {
    Workspace& space = Space();
    WriteFile(space.dir + "/registry/HKLM.ini",
              std::string("[") + QELINST_SERVER_KEY + "\\@SRV@_FUZZ]\n" + std::string(keyLines));
    for (int local : {0, 1}) {
        CsServerDef def;
        if (CsParseServerDef("FUZZ", local, &def) == CS_OK) {
            if (std::memchr(def.host, 0, sizeof def.host) == nullptr) std::abort();
            if (!local && def.kind != CS_KIND_TCP && def.kind != CS_KIND_SNA) std::abort();
            if (def.connectTimeout > 86400 || def.idleTimeout > 86400) std::abort();
        }
    }
}

void OpenStorage(CsHandle* handle, std::string_view keyLines, std::string_view qelIni) {
    Workspace& space = Space();
    WriteFile(space.dir + "/install/etc/qel.ini", qelIni);
    handle->def.profile = "[@SRV@_FUZZ]\n" + std::string(keyLines);
    if (SmOpenStorage(handle) != CS_OK) return;
    SmStorage* storage = SmGetStorage(handle);
    if (storage != nullptr && storage->cache != nullptr) {
        QelCacheHandle* cache = nullptr;
        if (QelCacheFs_NewHandle(handle, storage->cache, &cache) == QELCFS_OK) {
            int writable = 0;
            QelCacheFs_StatObject(handle, cache, "AG1", "OBJ", &writable);
            QelCacheFs_FreeBuffer(handle, &cache);
        }
    }
    SmCloseStorage(handle);
}

void ReadObjects(CsHandle* handle, std::string_view volume, std::string_view object) {
    Workspace& space = Space();
    const std::string store = space.dir + "/store";
    const int64_t offset = Int32At(object, 0);
    const int64_t asked = Int32At(object, 4);
    const std::string_view bytes = object.size() > 8 ? object.substr(8) : std::string_view();
    WriteFile(store + "/data/AG1/DOC/OBJ", bytes);
    WriteFile(store + "/data/AG1/RES/OBJ1", bytes);
    WriteFile(store + "/volume", volume);

    QelCacheStore cacheStore{store};
    QelCacheHandle cache{&cacheStore.root};
    for (const char* name : {"OBJ", "OBJ1", "MISSING", "../OBJ"}) {
        std::vector<uint8_t> buffer;
        int64_t length = asked;
        int last = 0;
        CheckPiece(QelCacheFs_ReadObject(handle, &cache, "AG1", name, &buffer, offset, &length, &last),
                   buffer, asked, length);
    }
    // The whole object, piece by piece.
    int64_t at = 0;
    for (int last = 0, round = 0; !last && round < 8; ++round) {
        std::vector<uint8_t> buffer;
        int64_t length = 0;
        if (QelCacheFs_ReadObject(handle, &cache, "AG1", "OBJ", &buffer, at, &length, &last) != QELCFS_OK)
            break;
        CheckPiece(QELCFS_OK, buffer, 0, length);
        at += length;
    }

    QelVolumeList volumes;
    volumes.dirs.push_back(store + "/");
    for (const char* logon : {"1", "2", "x"}) {
        QelNodeObject* node = nullptr;
        if (QelCacheFs_OpenObject(handle, &volumes, &node, "USER", "NODE1.ARCH", logon, "") != QELCFS_OK)
            continue;
        uint32_t words[5];
        QelCacheFs_ObjectSize(handle, node, words);
        std::vector<uint8_t> buffer;
        int64_t length = asked;
        int last = 0;
        CheckPiece(QelCacheFs_ReadLocalObject(handle, node, "AG1", "OBJ", &buffer, offset, &length, &last),
                   buffer, asked, length);
        QelCacheFs_CloseObject(handle, &node);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::array<std::string, 4> parts = qel_fuzz::SplitInput<4>(data, size);

    ReadServerDefinitions(parts[0]);
    CsHandle handle;
    std::snprintf(handle.serverName, sizeof handle.serverName, "FUZZ");
    handle.def.kind = CS_KIND_LOCAL;
    handle.def.flags1 |= CS_F1_MESSAGES;
    handle.messageCallback = &IgnoreMessage;
    OpenStorage(&handle, parts[0], parts[1]);
    ReadObjects(&handle, parts[2], parts[3]);
    std::error_code ec;
    fs::remove(Space().dir + "/events.log", ec);
    return 0;
}
