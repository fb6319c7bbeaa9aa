// Fuzz target: the table reader, the annotation and named-query record readers, and
// the readers of the single archive tables. The first byte picks what the rest is:
// 0 a table for the generic reader, 1 annotation records, 2 a named query, and from 3
// on one file of a copy of the sample archive (a table or the segment profile), which
// then goes through every request that reads it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "arc_platform.h"
#include "fuzz_temp_tree.h"
#include "qel_cs.h"
#include "qel_local.h"
#include "record_format.h"
#include "table_file.h"

using namespace qel::local::detail;

namespace {

namespace fs = std::filesystem;

void ReadTable(std::string_view text) {
    TableFile table;
    if (table.LoadText(text) != CS_OK) return;
    const char* sections[] = {"USERS", "100", "100|0", "ALICE", "GROUPS", "SYSTEM", "1|1"};
    const char* keys[] = {"USERS", "NAME", "UID", "GROUPS", "LOAD_ID", "CODEPAGE", "TYPE"};
    for (const char* s : sections) {
        table.HasSection(s);
        std::vector<std::pair<std::string, std::string>> entries;
        table.Entries(s, &entries);
        for (const char* k : keys) {
            char field[21];
            std::string text2;
            int64_t n = 0;
            int32_t i = 0;
            uint16_t u = 0;
            char letter = 0;
            std::vector<int32_t> ids;
            std::vector<std::string> names;
            table.Get(s, k);
            table.Text(s, k, field, sizeof field, CS_FAILED, "");
            table.LongText(s, k, &text2, CS_FAILED);
            table.Number(s, k, INT64_MIN, INT64_MAX, &n, CS_FAILED, 0);
            table.Int32(s, k, &i, CS_FAILED);
            table.UInt16(s, k, &u, CS_FAILED, -1);
            table.Letter(s, k, &letter, CS_FAILED);
            table.IdList(s, k, &ids);
            table.NameList(s, k, &names);
        }
    }
}

void ReadNotes(std::string_view file) {
    std::vector<QelLocalNote> notes;
    if (DecodeNotes(file, &notes) != CS_OK) return;
    // What was read must write and read again to the same notes.
    std::string again;
    for (const QelLocalNote& n : notes) {
        std::string record;
        if (EncodeNote(n, &record) != CS_OK) __builtin_trap();
        again += record;
    }
    std::vector<QelLocalNote> reread;
    if (DecodeNotes(again, &reread) != CS_OK || reread.size() != notes.size()) __builtin_trap();
    for (size_t i = 0; i < notes.size(); ++i) {
        if (reread[i].text != notes[i].text || reread[i].data != notes[i].data ||
            reread[i].time != notes[i].time) {
            __builtin_trap();
        }
    }
}

// The files of the archive a fuzzed input may stand for, by path under the archive.
constexpr const char* kArchiveFiles[] = {
    "table/user.tbl",     "table/group.tbl",  "table/fol.tbl",      "table/folfld.tbl", "table/folfldus.tbl",
    "table/ag.tbl",       "table/agfld.tbl",  "table/agfldal.tbl",  "table/seg.tbl",    "table/agperms.tbl",
    "table/folperms.tbl", "table/app.tbl",    "table/folagapp.tbl", "table/ag2fol.tbl", "table/appusr.tbl",
    "index/INVOICES.seg", "table/system.tbl", "table/ss.tbl",       "table/snode.tbl",
};
constexpr size_t kFileCount = sizeof kArchiveFiles / sizeof kArchiveFiles[0];
constexpr size_t kGroupTable = 5;  // table/ag.tbl

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using qel_fuzz::WriteFile;

// A private copy of the sample archive, opened once for the whole run.
struct Archive {
    qel_fuzz::TempTree tree{"qel_archive_fuzz"};
    std::string dir = tree.dir + "/archive/";
    CsHandle handle{};
    std::vector<std::string> pristine;

    Archive() {
        fs::copy(std::string(QEL_TESTDATA_DIR) + "/archive", dir, fs::copy_options::recursive);
        for (const char* f : kArchiveFiles) pristine.push_back(ReadFile(dir + f));
        std::snprintf(handle.serverName, sizeof handle.serverName, "FUZZLOCAL");
        handle.def.kind = CS_KIND_LOCAL;
        handle.def.profile = "[@SRV@_FUZZLOCAL]\nDIRECTORY=" + dir + "\n";
        if (QelLocal_Open(&handle) != CS_OK) std::abort();
    }
    ~Archive() { QelLocal_Close(&handle); }
};

Archive& TheArchive() {
    static Archive archive;
    return archive;
}

// Every request that reads the single tables, over whatever rows the lists offer.
void ReadArchive(CsHandle* h) {
    constexpr int kMaxRows = 64;  // a fuzzed list may be long; a few rows show the readers
    QelLocalUser user;
    QelLocal_ReadUser(h, "ALICE", &user);
    for (int rc = QelLocal_ListUsersFirst(h, nullptr, nullptr, 0, &user), n = 0; rc == CS_OK && n < kMaxRows;
         rc = QelLocal_ListUsersNext(h, &user), ++n) {
        QelLocalUser again;
        QelLocal_ReadUser(h, user.name, &again);
    }
    QelLocalGroup group;
    QelLocal_ReadGroup(h, 10, &group);
    for (int rc = QelLocal_ListGroupsFirst(h, nullptr, nullptr, &group), n = 0; rc == CS_OK && n < kMaxRows;
         rc = QelLocal_ListGroupsNext(h, &group), ++n) {
    }
    QelLocal_ListGroupsFirst(h, "ALICE", nullptr, &group);

    std::vector<int32_t> agids = {100, 101};
    std::vector<int32_t> fids = {1, 2};
    std::vector<int32_t> appIds = {200, 201};
    QelLocalAppGroup ag;
    for (int rc = QelLocal_ListAppGroupsFirst(h, 0, nullptr, &ag), n = 0; rc == CS_OK && n < kMaxRows;
         rc = QelLocal_ListAppGroupsNext(h, &ag), ++n) {
        agids.push_back(ag.agid);
    }
    QelLocalFolder folder;
    for (int rc = QelLocal_ListFoldersFirst(h, nullptr, &folder), n = 0; rc == CS_OK && n < kMaxRows;
         rc = QelLocal_ListFoldersNext(h, &folder), ++n) {
        fids.push_back(folder.fid);
    }
    if (agids.size() > 8) agids.resize(8);
    if (fids.size() > 8) fids.resize(8);

    for (int32_t agid : agids) {
        QelLocal_ReadAppGroup(h, agid, &ag);
        std::vector<QelLocalAgField> fields;
        QelLocal_ReadAgFields(h, agid, 4, &fields);
        std::vector<QelLocalFieldAlias> aliases;
        QelLocal_ReadAgFieldAliases(h, agid, 0, &aliases);
        QelLocal_ReadAgFieldAliases(h, agid, 1, &aliases);
        char name[QELLOCAL_NAME_SIZE];
        char description[QELLOCAL_DESCRIPTION_SIZE];
        QelLocal_ReadNameDesc(h, QELLOCAL_TBL_AG, agid, name, description);
        QelLocalAgPerms agPerms;
        QelLocal_GetAppGroupPerms(h, agid, 1, "10,11", 1, &agPerms);
        std::vector<int32_t> ids;
        if (QelLocal_ReadAgPermsList(h, agid, &ids) == CS_OK) {
            for (size_t i = 0; i < ids.size() && i < 8; ++i)
                QelLocal_ReadAgPerms(h, ids[i], agid, 1, &agPerms);
        }
        QelLocalApp app;
        for (int rc = QelLocal_ListAppsFirst(h, agid, nullptr, &app), n = 0; rc == CS_OK && n < kMaxRows;
             rc = QelLocal_ListAppsNext(h, &app), ++n) {
            if (appIds.size() < 8) appIds.push_back(app.appId);
        }
        QelLocalSegment seg;
        QelLocal_ReadSegment(h, agid, "INV1", &seg);
        int64_t start = 0;
        int64_t stop = 0;
        QelLocal_ReadSegmentRange(h, agid, "INV1", &start, &stop);
        QelLocalSegmentFields segFields;
        QelLocal_ReadSegmentFields(h, agid, &segFields);
        for (int rc = QelLocal_ListSegmentTableFirst(h, agid, INT64_MIN, INT64_MAX, nullptr, 0, &seg), n = 0;
             rc == CS_OK && n < kMaxRows; rc = QelLocal_ListSegmentTableNext(h, &seg), ++n) {
            QelLocalSegment again;
            QelLocal_ReadSegment(h, agid, seg.name, &again);
        }
        // These two rewrite the group's row; the file is put back after each input.
        char loadName[QELLOCAL_LOAD_NAME_SIZE];
        QelLocal_NextLoadId(h, agid, loadName);
        int32_t segId = 0;
        QelLocal_NextSegmentId(h, agid, &segId);
        for (int32_t fid : fids) {
            std::vector<QelLocalFieldMap> map;
            QelLocal_ReadFolderAgMap(h, agid, fid, &map);
            for (int rc = QelLocal_ListFolderAppsFirst(h, fid, agid, &app), n = 0;
                 rc == CS_OK && n < kMaxRows; rc = QelLocal_ListFolderAppsNext(h, &app), ++n) {
            }
        }
        for (int32_t appId : appIds) {
            std::string view;
            QelLocal_GetAppViews(h, agid, appId, 1, &view);
        }
    }
    for (int32_t appId : appIds) {
        QelLocalApp app;
        QelLocal_ReadApp(h, appId, &app);
    }
    for (int32_t fid : fids) {
        QelLocal_ReadFolder(h, fid, &folder);
        QelLocal_GetFolder(h, fid, &folder);
        std::vector<QelLocalFolderField> fields;
        QelLocal_ReadFolderFields(h, fid, 4, &fields);
        for (int32_t field = 0; field < 3; ++field) {
            QelLocalFolderFieldUser fieldUser;
            QelLocal_ReadFolderFieldUser(h, fid, 1, field, &fieldUser);
        }
        QelLocalFolderPerms perms;
        QelLocal_GetFolderPerms(h, fid, 1, "10,11", &perms);
        std::vector<int32_t> ids;
        if (QelLocal_ReadFolderPermsList(h, fid, &ids) == CS_OK) {
            for (size_t i = 0; i < ids.size() && i < 8; ++i) QelLocal_ReadFolderPerms(h, ids[i], fid, &perms);
        }
    }
    QelLocalStorageSet set;
    QelLocal_ReadStorageSet(h, 1, &set);
    QelLocalStorageNode node;
    QelLocal_ReadStorageNode(h, 1, 1, &node);
    QelLocalSystemParms parms;
    QelLocal_ReadSystemParms(h, &parms);
}

void ReadArchiveFile(size_t which, std::string_view content) {
    Archive& archive = TheArchive();
    const std::string path = archive.dir + kArchiveFiles[which];
    WriteFile(path, content);
    ReadArchive(&archive.handle);
    // Each input starts again from the sample archive: the file it replaced, and ag.tbl,
    // which the load and segment counters rewrite.
    WriteFile(path, archive.pristine[which]);
    WriteFile(archive.dir + kArchiveFiles[kGroupTable], archive.pristine[kGroupTable]);
    std::error_code ec;
    fs::remove(archive.tree.dir + "/events.log", ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t pick = data[0] % (3 + kFileCount);
    switch (pick) {
        case 0: ReadTable(file); break;
        case 1: ReadNotes(file); break;
        case 2: {
            QelLocalNamedQuery query;
            DecodeNamedQuery(file, &query);
            break;
        }
        default: ReadArchiveFile(pick - 3, file); break;
    }
    return 0;
}
