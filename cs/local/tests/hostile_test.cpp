// Damaged archives: truncated and garbage tables, annotation and query files.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "record_format.h"

namespace {

using localtest::ArchiveTest;
using localtest::ReadFile;
using localtest::WriteFile;
using namespace qel::local::detail;

// Runs every read request once; each must answer one of the documented results.
void Sweep(CsHandle* h, const std::string& where) {
    const std::set<int> allowed = {0, 1, 6, 11};
    std::vector<int> results;
    QelLocalUser user;
    results.push_back(QelLocal_ListUsersFirst(h, nullptr, nullptr, 0, &user));
    results.push_back(QelLocal_ListUsersNext(h, &user));
    results.push_back(QelLocal_ListUsersFirst(h, nullptr, "2", 0, &user));
    results.push_back(QelLocal_ListUsersFirst(h, "10", "'ALICE'", 0, &user));
    QelLocalGroup group;
    results.push_back(QelLocal_ListGroupsFirst(h, "1", nullptr, &group));
    results.push_back(QelLocal_ListGroupsFirst(h, nullptr, "'STAFF'", &group));
    QelLocalAppGroup ag;
    results.push_back(QelLocal_ListAppGroupsFirst(h, -1, nullptr, &ag));
    results.push_back(QelLocal_ListAppGroupsNext(h, &ag));
    results.push_back(QelLocal_ListAppGroupsFirst(h, 1, "'INVOICES'", &ag));
    std::vector<QelLocalFieldAlias> aliases;
    results.push_back(QelLocal_ReadAgFieldAliases(h, 100, 1, &aliases));
    QelLocalAgPerms perms;
    results.push_back(QelLocal_GetAppGroupPerms(h, 100, 1, "IN (1,10,11)", 1, &perms));
    QelLocalFolderPerms fperms;
    results.push_back(QelLocal_GetFolderPerms(h, 2, 1, "IN (1,10,11)", &fperms));
    QelLocalApp app;
    results.push_back(QelLocal_ListAppsFirst(h, 100, nullptr, &app));
    results.push_back(QelLocal_ListFolderAppsFirst(h, 1, 100, &app));
    std::string view;
    results.push_back(QelLocal_GetAppViews(h, 100, 200, 2, &view));
    QelLocalFolder folder;
    results.push_back(QelLocal_ListFoldersFirst(h, nullptr, &folder));
    results.push_back(QelLocal_GetFolder(h, 1, &folder));
    QelLocalFolderFieldUser fu;
    results.push_back(QelLocal_ReadFolderFieldUser(h, 1, 2, 2, &fu));
    std::vector<QelLocalFieldMap> map;
    results.push_back(QelLocal_ReadFolderAgMap(h, 100, 1, &map));
    QelLocalSegment seg;
    results.push_back(QelLocal_ListSegmentTableFirst(h, 100, 0, INT64_MAX, nullptr, 0, &seg));
    QelLocalSegmentFields sf;
    results.push_back(QelLocal_ReadSegmentFields(h, 100, &sf));
    QelLocalStorageSet set;
    results.push_back(QelLocal_GetStorageSets(h, nullptr, &set));
    QelLocalObjectNodes nodes;
    results.push_back(QelLocal_ReadObjectNodes(h, 100, 1, &nodes));
    QelLocalSystemParms parms;
    results.push_back(QelLocal_ReadSystemParms(h, &parms));
    QelLocalNamedQuery query;
    results.push_back(QelLocal_NamedQueriesFirst(h, 1, -1, &query));
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_TRUE(allowed.count(results[i])) << where << ": request " << i << " gave " << results[i];
    }
}

class HostileArchiveTest : public ArchiveTest {};

TEST_F(HostileArchiveTest, TruncatedTablesAtEveryOffset) {
    const char* tables[] = {"user", "group", "ag", "agfld", "agperms", "fol", "folfld", "ss", "snode", "seg"};
    for (const char* name : tables) {
        std::string path = archive_.Table(name);
        std::string original = ReadFile(path);
        for (size_t cut = 0; cut < original.size(); ++cut) {
            WriteFile(path, original.substr(0, cut));
            Sweep(&handle_, std::string(name) + " cut at " + std::to_string(cut));
        }
        WriteFile(path, original);
    }
}

TEST_F(HostileArchiveTest, GarbageTables) {
    std::mt19937 random(1234);
    const char* tables[] = {"user",   "group",    "ag",     "agfld",    "agfldal", "agperms", "app", "fol",
                            "folfld", "folfldus", "ag2fol", "folperms", "ss",      "snode",   "res", "seg"};
    for (const char* name : tables) {
        std::string path = archive_.Table(name);
        std::string original = ReadFile(path);
        for (int round = 0; round < 20; ++round) {
            std::string garbage = original;
            // Flip bytes among the text, and sometimes fill in line breaks, brackets and digits.
            for (int i = 0; i < 16 && !garbage.empty(); ++i) {
                const char pool[] =
                    "\n\r[]=,|'\"\x01\xff"
                    "0123456789-";
                char c = round % 2 ? pool[random() % (sizeof pool - 1)] : char(random() & 0xFF);
                garbage[random() % garbage.size()] = c;
            }
            WriteFile(path, garbage);
            Sweep(&handle_, std::string(name) + " garbage round " + std::to_string(round));
        }
        WriteFile(path, std::string(100000, '\xff'));
        Sweep(&handle_, std::string(name) + " all 0xFF");
        WriteFile(path, "[" + std::string(40000, 'A') + "]\nUSERS=" + std::string(40000, '1') + "\n");
        Sweep(&handle_, std::string(name) + " overlong lines");
        WriteFile(path, original);
    }
}

// ---------------------------------------------------------------- annotation records

std::string TwoRecords() {
    QelLocalNote a, b;
    std::strcpy(a.userName, "ALICE");
    a.text = "first note";
    std::strcpy(b.userName, "BOB");
    b.text = "second";
    b.data = "attached";
    std::string ra, rb;
    EXPECT_EQ(EncodeNote(a, &ra), 0);
    EXPECT_EQ(EncodeNote(b, &rb), 0);
    return ra + rb;
}

TEST(NoteRecordTest, TruncatedAtEveryOffset) {
    std::string file = TwoRecords();
    std::vector<QelLocalNote> notes;
    ASSERT_EQ(DecodeNotes(file, &notes), 0);
    ASSERT_EQ(notes.size(), 2u);
    size_t firstLength = kNoteTextAt + 11 + kNoteTrailer;
    for (size_t cut = 0; cut < file.size(); ++cut) {
        notes.clear();
        int rc = DecodeNotes(file.substr(0, cut), &notes);
        if (cut == 0 || cut == firstLength) {
            EXPECT_EQ(rc, 0) << cut << ": a record boundary";
            EXPECT_EQ(notes.size(), cut == 0 ? 0u : 1u);
        } else {
            EXPECT_EQ(rc, 6) << cut;
            EXPECT_TRUE(notes.empty()) << cut;
        }
    }
}

TEST(NoteRecordTest, EveryByteFlippedAndEveryCountForced) {
    std::string file = TwoRecords();
    for (size_t i = 0; i < file.size(); ++i) {
        std::string damaged = file;
        damaged[i] = char(damaged[i] ^ 0xFF);
        std::vector<QelLocalNote> notes;
        int rc = DecodeNotes(damaged, &notes);
        EXPECT_TRUE(rc == 0 || rc == 6) << i;
    }
    const uint32_t counts[] = {0, 1, 0x7FFFFFFF, 0xFFFFFFFF};
    const size_t lengthFields[] = {kNoteLengthAt, kNoteTextLengthAt};
    for (size_t at : lengthFields) {
        for (uint32_t count : counts) {
            std::string damaged = file;
            for (int b = 0; b < 4; ++b) damaged[at + size_t(b)] = char((count >> (8 * b)) & 0xFF);
            std::vector<QelLocalNote> notes;
            EXPECT_EQ(DecodeNotes(damaged, &notes), 6) << at << " = " << count;
        }
    }
}

TEST(NamedQueryRecordTest, DamagedFiles) {
    QelLocalNamedQuery q;
    std::strcpy(q.name, "Open invoices");
    q.text = "WHERE INVNO LIKE 'A%'";
    std::string file;
    ASSERT_EQ(EncodeNamedQuery(q, &file), 0);
    QelLocalNamedQuery back;
    ASSERT_EQ(DecodeNamedQuery(file, &back), 0);
    EXPECT_EQ(back.text, q.text);
    for (size_t cut = 0; cut < file.size(); ++cut) {
        EXPECT_EQ(DecodeNamedQuery(file.substr(0, cut), &back), 6) << cut;
    }
    EXPECT_EQ(DecodeNamedQuery(file + "x", &back), 6);
    std::string unterminated = file;
    std::memset(&unterminated[kQueryNameAt], 'n', 61);
    EXPECT_EQ(DecodeNamedQuery(unterminated, &back), 6);
    for (uint32_t count : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::string damaged = file;
        for (int b = 0; b < 4; ++b) damaged[kQueryTextLengthAt + size_t(b)] = char((count >> (8 * b)) & 0xFF);
        EXPECT_EQ(DecodeNamedQuery(damaged, &back), 6) << count;
    }
}

TEST_F(HostileArchiveTest, DamagedFilesOnDisk) {
    QelLocalNoteDoc doc;
    doc.agid = 100;
    doc.objectName = "1FAA";
    QelLocalNote note;
    note.text = "hello";
    ASSERT_EQ(QelLocal_AddNote(&handle_, &doc, &note), 0);
    ASSERT_EQ(QelLocal_AddNote(&handle_, &doc, &note), 0);
    std::string path = archive_.Dir() + "note/aqk00000.not";
    std::string file = ReadFile(path);
    for (size_t cut = 0; cut < file.size(); ++cut) {
        WriteFile(path, file.substr(0, cut));
        QelLocalNote n;
        EXPECT_EQ(QelLocal_GetNotes(&handle_, &doc, -1, &n), 6) << cut << ": fewer notes than counted";
    }
    WriteFile(archive_.Dir() + "query/q00002.ndq", "short");
    QelLocalNamedQuery q;
    EXPECT_EQ(QelLocal_NamedQueriesFirst(&handle_, 1, -1, &q), 6);
    std::filesystem::remove(archive_.Dir() + "query/q00002.ndq");
    EXPECT_EQ(QelLocal_NamedQueriesFirst(&handle_, 1, -1, &q), 6);
}

}  // namespace
