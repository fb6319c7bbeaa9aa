// Annotations: note table, "aqk%05d.not" files read back with Python's struct, deletion.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "archive_fixture.h"
#include "table_oracle.h"

namespace {

using cstest::ReadWithConfigParser;
using localtest::ArchiveTest;
using localtest::ReadFile;
using localtest::WriteFile;

std::vector<std::string> StructOracle(const std::string& file) {
    std::string out = file + ".lines";
    std::vector<std::string> argv = {
        "sh", "-c", "python3 \"$0\" \"$1\" > \"$2\"", std::string(QEL_TESTDATA_DIR) + "/local/note_oracle.py",
        file, out};
    int status = -1;
    EXPECT_EQ(ArcOS_RunProgram(argv, &status), 0);
    EXPECT_EQ(status, 0) << "struct could not parse " << file;
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(out));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::remove(out.c_str());
    return lines;
}

QelLocalNote MakeNote(uint32_t user, const char* name, uint32_t flags, int64_t time, const char* text) {
    QelLocalNote n;
    n.userNumber = user;
    std::snprintf(n.userName, sizeof n.userName, "%s", name);
    n.flags = flags;
    n.time = time;
    n.position[0] = 1;
    n.position[1] = -2;
    n.position[2] = 300;
    n.fields[0] = 3;      // colour code
    n.fields[31] = 0xAB;  // carried unchanged
    n.text = text;
    return n;
}

class NotesTest : public ArchiveTest {
protected:
    QelLocalNoteDoc Doc(const char* object) {
        QelLocalNoteDoc d;
        d.agid = 100;
        d.objectName = object;
        d.compOffset = 0;
        d.compLength = 512;
        d.docOffset = 10;
        d.docLength = 400;
        return d;
    }
    std::vector<std::string> Texts(const QelLocalNoteDoc& doc, int32_t user, int* rc,
                                   const char* groupList = nullptr) {
        std::vector<std::string> texts;
        QelLocalNote n;
        *rc = QelLocal_GetNotes(&handle_, &doc, user, &n, groupList);
        for (int r = *rc; r == 0; r = QelLocal_GetNotesNext(&handle_, &n)) texts.push_back(n.text);
        return texts;
    }
    std::string NoteDir() const { return archive_.Dir() + "note/"; }
    int Add(const QelLocalNoteDoc& doc, const QelLocalNote& note) {
        return QelLocal_AddNote(&handle_, &doc, &note);
    }
    int Delete(const QelLocalNoteDoc& doc, int32_t number) {
        return QelLocal_DeleteNote(&handle_, &doc, number);
    }
};

TEST_F(NotesTest, FirstNoteOfADocumentGetsItsOwnFile) {
    QelLocalNoteDoc a = Doc("1FAA"), b = Doc("2FAA");
    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 2 | 4, 1700000000, "first")), 0);
    ASSERT_EQ(Add(a, MakeNote(2, "BOB", 1 | 4, 1700000100, "second")), 0);
    ASSERT_EQ(Add(b, MakeNote(2, "BOB", 2 | 4, 1700000200, "other")), 0);

    auto table = ReadWithConfigParser(NoteDir() + "note.tbl");
    EXPECT_EQ((table[{"NOTES", "NOTE"}]), "1");
    EXPECT_EQ((table[{"100|1FAA|0|512|10|400", "NOTE"}]), "2");
    EXPECT_EQ((table[{"100|1FAA|0|512|10|400", "FILE"}]), "aqk00000.not");
    EXPECT_EQ((table[{"100|2FAA|0|512|10|400", "FILE"}]), "aqk00001.not");

    std::string fields = "03" + std::string(60, '0') + "ab";
    EXPECT_EQ(StructOracle(NoteDir() + "aqk00000.not"),
              (std::vector<std::string>{"1|ALICE|6|1700000000|1|-2|300|" + fields + "|first|",
                                        "2|BOB|5|1700000100|1|-2|300|" + fields + "|second|"}));
}

TEST_F(NotesTest, ReadBackInOrderWithPrivacy) {
    QelLocalNoteDoc a = Doc("1FAA");
    QelLocalNote withData = MakeNote(1, "ALICE", 2 | 8, 5, "binary");
    withData.data = std::string("\0\x01\x02zz", 5);
    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 1, 1, "alice private")), 0);
    ASSERT_EQ(Add(a, MakeNote(2, "BOB", 2, 2, "bob public")), 0);
    ASSERT_EQ(Add(a, withData), 0);
    int rc = 0;
    EXPECT_EQ(Texts(a, -1, &rc), (std::vector<std::string>{"alice private", "bob public", "binary"}));
    EXPECT_EQ(Texts(a, 2, &rc), (std::vector<std::string>{"bob public", "binary"}));
    EXPECT_EQ(Texts(a, 1, &rc), (std::vector<std::string>{"alice private", "bob public", "binary"}));

    QelLocalNote n;
    ASSERT_EQ(QelLocal_GetNotes(&handle_, &a, -1, &n), 0);
    EXPECT_EQ(n.number, 1);
    EXPECT_EQ(n.position[1], -2);
    EXPECT_EQ(n.fields[31], 0xAB);
    ASSERT_EQ(QelLocal_GetNotesNext(&handle_, &n), 0);
    ASSERT_EQ(QelLocal_GetNotesNext(&handle_, &n), 0);
    EXPECT_EQ(n.data, withData.data);
    EXPECT_EQ(QelLocal_GetNotesNext(&handle_, &n), 11);
    EXPECT_EQ(StructOracle(NoteDir() + "aqk00000.not")
                  .back()
                  .substr(StructOracle(NoteDir() + "aqk00000.not").back().rfind('|') + 1),
              "0001027a7a");

    QelLocalNoteDoc none = Doc("9FAA");
    EXPECT_EQ(QelLocal_GetNotes(&handle_, &none, -1, &n), 11);
}

// A note whose author is a group is read by the members the group list names.
TEST_F(NotesTest, GroupNotesAreReadByTheGroupsMembers) {
    QelLocalNoteDoc a = Doc("1FAA");
    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 1, 1, "alice private")), 0);
    ASSERT_EQ(Add(a, MakeNote(2, "BOB", 2, 2, "bob public")), 0);
    ASSERT_EQ(Add(a, MakeNote(10, "ADMINS", 1, 3, "for admins")), 0);
    int rc = 0;
    struct Case {
        int32_t user;
        const char* groupList;
        int rc;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {2, "IN (2,11)", 0, {"bob public"}},
        {2, "IN (2,10,11)", 0, {"bob public", "for admins"}},
        {2, "", 0, {"bob public"}},
        {1, "IN (1,10)", 0, {"alice private", "bob public", "for admins"}},
        {-1, "IN (x)", 0, {"alice private", "bob public", "for admins"}},  // every note: not read
        {2, "IN (2,x)", 6, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Texts(a, c.user, &rc, c.groupList), c.texts) << c.user << " " << c.groupList;
        EXPECT_EQ(rc, c.rc) << c.user << " " << c.groupList;
    }
}

TEST_F(NotesTest, DeletingMarksOneNoteAndTheLastTakesTheFile) {
    QelLocalNoteDoc a = Doc("1FAA");
    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 2, 1, "one")), 0);
    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 2, 2, "two")), 0);
    std::string file = NoteDir() + "aqk00000.not";

    ASSERT_EQ(Delete(a, 1), 0);
    int rc = 0;
    EXPECT_EQ(Texts(a, -1, &rc), std::vector<std::string>{"two"});
    EXPECT_TRUE(std::filesystem::exists(file)) << "the other note still lives in the file";
    EXPECT_EQ(Delete(a, 1), 11) << "deleted already";
    EXPECT_EQ(Delete(a, 3), 11) << "no such note";
    EXPECT_EQ(Delete(a, 0), 11);

    ASSERT_EQ(Delete(a, 2), 0);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(Texts(a, -1, &rc), std::vector<std::string>{});
    EXPECT_EQ(rc, 11);
    EXPECT_EQ(ReadWithConfigParser(NoteDir() + "note.tbl").count({"100|1FAA|0|512|10|400", "NOTE"}), 0u);

    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 2, 3, "three")), 0);
    EXPECT_EQ(Texts(a, -1, &rc), std::vector<std::string>{"three"}) << "a new start after the last deletion";
}

TEST_F(NotesTest, ExistingFilesAreNotOverwritten) {
    WriteFile(NoteDir() + "aqk00000.not", "somebody else's");
    WriteFile(NoteDir() + "aqk00001.not", "and another");
    QelLocalNoteDoc a = Doc("1FAA");
    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 2, 1, "mine")), 0);
    EXPECT_EQ(ReadFile(NoteDir() + "aqk00000.not"), "somebody else's");
    EXPECT_EQ((ReadWithConfigParser(NoteDir() + "note.tbl")[{"100|1FAA|0|512|10|400", "FILE"}]),
              "aqk00002.not");
}

TEST_F(NotesTest, RowsNamedFromUrlsAreCheckedBeforeAnyWrite) {
    const char* objects[] = {"1FAA]\n[NOTES", "1F|AA", "1FAA\r"};
    for (const char* object : objects) {
        QelLocalNoteDoc d = Doc(object);
        EXPECT_EQ(Add(d, MakeNote(1, "ALICE", 2, 1, "x")), 6) << object;
    }
    QelLocalNote unterminated = MakeNote(1, "", 2, 1, "x");
    std::memset(unterminated.userName, 'u', sizeof unterminated.userName);
    QelLocalNoteDoc a = Doc("1FAA");
    EXPECT_EQ(Add(a, unterminated), 6);
    EXPECT_FALSE(std::filesystem::exists(NoteDir() + "note.tbl"));
}

TEST_F(NotesTest, RegistryNamesTheNoteFolder) {
    std::string client = archive_.Root() + "client";
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, "SOFTWARE\\Kvr\\Tidewell32\\Common\\Paths", "QEL",
                               (client + "/").c_str()),
              ARCREG_OK);
    QelLocalNoteDoc a = Doc("1FAA");
    ASSERT_EQ(Add(a, MakeNote(1, "ALICE", 2, 1, "elsewhere")), 0);
    EXPECT_TRUE(std::filesystem::exists(client + "/note/aqk00000.not"));
    EXPECT_FALSE(std::filesystem::exists(NoteDir() + "note.tbl"));
    int rc = 0;
    EXPECT_EQ(Texts(a, -1, &rc), std::vector<std::string>{"elsewhere"});
}

TEST_F(NotesTest, ArchiveAnnotationTableIsReadFirst) {
    WriteFile(archive_.Table("ann"), "[100|7FAA|0|512|10|400]\nNOTE=1\nFILE=legacy.not\n");
    QelLocalNote legacy = MakeNote(3, "CAROL", 2, 9, "from ann.tbl");
    // A record made by the same writer, stored the way older archives keep it.
    ASSERT_EQ(Add(Doc("8FAA"), legacy), 0);
    std::filesystem::rename(NoteDir() + "aqk00000.not", NoteDir() + "legacy.not");
    int rc = 0;
    EXPECT_EQ(Texts(Doc("7FAA"), -1, &rc), std::vector<std::string>{"from ann.tbl"});
    ASSERT_EQ(Delete(Doc("7FAA"), 1), 0);
    EXPECT_EQ(ReadWithConfigParser(archive_.Table("ann")).count({"100|7FAA|0|512|10|400", "NOTE"}), 0u);
}

}  // namespace
