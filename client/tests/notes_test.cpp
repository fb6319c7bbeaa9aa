// Notes of open documents and the permission bits: the colour table, the cache kept
// newest first, loading and adding notes on a copy of the sample archive and through the
// loopback peer, and the bits the archive's tables give three users.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "archive_fixture.h"
#include "client_test_support.h"
#include "document_fixture.h"
#include "note_cache.h"
#include "peer_session.h"
#include "qel_client.h"

namespace {

using clienttest::AddTestDocument;
using clienttest::AddTestHit;
using clienttest::DocumentSpec;
using clienttest::MakeRow;

std::vector<std::string> Texts(const OpenDocument* document) {
    std::vector<std::string> texts;
    for (const DocNoteEntry* n = Note_GetFirst(document); n != nullptr; n = Note_GetNext(document, n))
        texts.push_back(n->text);
    return texts;
}

std::vector<int> Numbers(const OpenDocument* document) {
    std::vector<int> numbers;
    for (const DocNoteEntry* n = Note_GetFirst(document); n != nullptr; n = Note_GetNext(document, n))
        numbers.push_back(n->number);
    return numbers;
}

TEST(NoteColours, LettersAndCodesBothWays) {
    const char letters[] = "DWBRLGYMC0";
    for (uint32_t code = 0; code < 10; ++code) {
        EXPECT_EQ(Note_ColourCode(letters[code]), code) << letters[code];
        EXPECT_EQ(Note_ColourLetter(code), letters[code]) << code;
    }
    for (char letter : {'Q', 'd', 'X', '1', '\0'}) EXPECT_EQ(Note_ColourCode(letter), 0u) << int(letter);
    for (uint32_t code : {10u, 12u, 255u, 0xFFFFFFFFu}) EXPECT_EQ(Note_ColourLetter(code), 'D') << code;
}

// Delivered oldest first, by time stamp: equal stamps keep their order of arrival.
TEST(NoteCache, NewestFirstEqualStampsInArrivalOrder) {
    struct Case {
        const char* name;
        std::vector<std::pair<int64_t, std::string>> delivered;
        std::vector<std::string> cached;
    };
    const Case cases[] = {
        {"ascending", {{1, "a"}, {2, "b"}, {3, "c"}}, {"c", "b", "a"}},
        {"equal stamps", {{5, "a"}, {5, "b"}, {5, "c"}}, {"a", "b", "c"}},
        {"a later note goes before all older ones",
         {{1, "a"}, {2, "b"}, {2, "c"}, {9, "d"}},
         {"d", "b", "c", "a"}},
        {"an older note goes after the newer ones",
         {{7, "a"}, {7, "b"}, {3, "c"}, {7, "d"}},
         {"a", "b", "d", "c"}},
    };
    ClientSession session;
    for (const Case& c : cases) {
        DocNotesHolder holder;
        for (const auto& [created, text] : c.delivered) {
            std::string copy = text;
            CsXdrNote note{};
            note.created = created;
            note.text = copy.data();
            qelclient::CacheNote(&holder, qelclient::MakeNoteEntry(session, note));
        }
        std::vector<std::string> cached;
        std::vector<int> numbers;
        for (const DocNoteEntry& e : holder.notes) {
            cached.push_back(e.text);
            numbers.push_back(e.number);
        }
        EXPECT_EQ(cached, c.cached) << c.name;
        std::vector<int> down;
        for (int n = static_cast<int>(cached.size()); n >= 1; --n) down.push_back(n);
        EXPECT_EQ(numbers, down) << c.name;
    }
}

TEST(NoteCache, TheEntryOfADeliveredNote) {
    ClientSession session;
    session.groups = {{.number = 12, .owner = 1, .id = "AUDIT", .description = "Auditors"}};
    char text[] = "hello";
    char data[] = {'a', '\0', 'b'};
    CsXdrNote note{};
    std::snprintf(note.userId, sizeof note.userId, "AUDIT");
    note.flags = CS_NOTE_PUBLIC | 0x08;
    note.created = 86400;
    note.color = 7;
    note.page = 4;
    note.attributes = 5;
    qelclient::PutPosition3(&note, -6);
    note.text = text;
    note.data = data;
    note.dataLength = 3;
    const DocNoteEntry e = qelclient::MakeNoteEntry(session, note);
    EXPECT_FALSE(e.noAuthor);
    EXPECT_TRUE(e.isPublic);
    EXPECT_EQ(e.colour, 'M');
    EXPECT_EQ(e.positions[0], 4);
    EXPECT_EQ(e.positions[1], 5);
    EXPECT_EQ(e.positions[2], -6);
    EXPECT_EQ(e.groupName, std::optional<std::string>("AUDIT"));
    EXPECT_EQ(e.text, "hello");
    EXPECT_EQ(e.data, (std::vector<unsigned char>{'a', '\0', 'b'}));
    EXPECT_FALSE(e.createdText.empty());

    CsXdrNote anonymous{};
    const DocNoteEntry a = qelclient::MakeNoteEntry(session, anonymous);
    EXPECT_TRUE(a.noAuthor);
    EXPECT_FALSE(a.isPublic);
    EXPECT_FALSE(a.groupName.has_value());
    EXPECT_EQ(a.text, "");
}

// Permission bits over every value of the two bytes that matter, on a hit and a
// document of the same group.
TEST(Permissions, BitsOfTheTwoGroupBytes) {
    struct Case {
        uint8_t permissions;
        uint16_t notePermissions;
        bool view, print, copy, viewNotes, addNotes;
    };
    const Case cases[] = {
        {0x00, 0x0000, false, false, false, false, false}, {0x01, 0x0001, true, false, false, true, false},
        {0x10, 0x0002, false, true, false, false, true},   {0x40, 0x0100, false, false, true, false, false},
        {0xFF, 0x00FF, true, true, true, true, true},      {0xAE, 0xFF04, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        CsXdrApplGroup group{};
        group.permissions = c.permissions;
        group.notePermissions = c.notePermissions;
        SearchHit hit;
        hit.group = &group;
        OpenDocument document;
        document.group = &group;
        EXPECT_EQ(Hit_CanViewFlag0(&hit), c.view) << int(c.permissions);
        EXPECT_EQ(Hit_CanPrint(&hit), c.print) << int(c.permissions);
        EXPECT_EQ(Doc_CanPrint(&document), c.print) << int(c.permissions);
        EXPECT_EQ(Doc_CanCopy(&document), c.copy) << int(c.permissions);
        EXPECT_EQ(Hit_CanViewNotes(&hit), c.viewNotes) << c.notePermissions;
        EXPECT_EQ(Doc_CanViewNotes(&document), c.viewNotes) << c.notePermissions;
        EXPECT_EQ(Hit_CanAddNotes(&hit), c.addNotes) << c.notePermissions;
        EXPECT_EQ(Doc_CanAddNotes(&document), c.addNotes) << c.notePermissions;
    }
    EXPECT_FALSE(Hit_CanPrint(nullptr));
    EXPECT_FALSE(Doc_CanViewNotes(nullptr));
    EXPECT_EQ(Doc_HasNotesFlag(nullptr), 'U');
}

TEST(Permissions, NotesFlagOfADocument) {
    CsXdrHitRow row{};
    OpenDocument document;
    EXPECT_EQ(Doc_HasNotesFlag(&document), 'U');
    document.row = &row;
    const std::pair<uint8_t, char> cases[] = {{'N', 'N'}, {'Y', 'Y'}, {'U', 'U'},
                                              {0, 'U'},   {'n', 'U'}, {1, 'U'}};
    for (const auto& [flag, expected] : cases) {
        row.noteFlag = flag;
        EXPECT_EQ(Doc_HasNotesFlag(&document), expected) << int(flag);
    }
    document.row = nullptr;
}

// ---------------------------------------------------------------- the sample archive

// Folder Invoices of a copy of the sample archive with a third user: CAROL (type 0)
// has her own rows: the folder, and INVOICES with print, copy and view but no adding of
// notes. ALICE's first group ADMINS gets a row of its own for INVOICES, so that the
// three users differ: ALICE 0x5F/3 (ADMINS), BOB 0x0B/7 (STAFF), CAROL 0x51/1.
class LocalNotes : public clienttest::GatewayStarted {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Start());
        Edit("user", "USERS=ALICE,BOB\n", "USERS=ALICE,BOB,CAROL\n");
        // CAROL's password is BOB's.
        Append("user",
               "\n[CAROL]\nUID=3\nPASSWD=\"boonktSf8EZvU\"\nDESCRIPTION=\"Reader\"\nADMIN=0\nPID=0\n"
               "LAST_UPDATE=0\nTIMEOUT=0\nNAME=\"Carol Cook\"\n");
        Edit("folperms", "[1]\nIDS=11\n", "[1]\nIDS=11,3\n");
        Append("folperms", "\n[3|1]\nPERMS=1\nHITS=500\n");
        Edit("agperms", "[100]\nIDS=11\n", "[100]\nIDS=10,11,3\n");
        Append("agperms",
               "\n[10|100]\nID_PERMS=1\nDOC_PERMS=95\nANN_PERMS=3\n"
               "\n[3|100]\nID_PERMS=1\nDOC_PERMS=81\nANN_PERMS=1\n");
    }
    void TearDown() override {
        ArcOS_SetTestClock(std::nullopt);
        for (ClientSession* s : sessions_) Session_Logoff(s, 0);
        Client_Term();
    }

    void Edit(const char* table, const std::string& from, const std::string& to) {
        std::string text = localtest::ReadFile(archive_.Table(table));
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << table << ": " << from;
        text.replace(at, from.size(), to);
        localtest::WriteFile(archive_.Table(table), text);
    }
    void Append(const char* table, const std::string& lines) {
        localtest::WriteFile(archive_.Table(table), localtest::ReadFile(archive_.Table(table)) + lines);
    }

    // A session of the user with folder Invoices open.
    OpenFolder* Open(const char* user, const char* password, ClientSession** session) {
        ClientStatus status;
        *session = nullptr;
        Session_Logon(&status, "DEMO", "DEMO", user, password, 'L', 0, archive_.Dir().c_str(), session);
        EXPECT_NE(*session, nullptr) << user << " " << status.severity << "/" << status.code;
        if (*session == nullptr) return nullptr;
        sessions_.push_back(*session);
        OpenFolder* folder = nullptr;
        Folder_Open(&status, *session, "Invoices", &folder);
        EXPECT_EQ(status.severity, 0) << user << " " << status.code;
        return folder;
    }
    // A hit of INVOICES naming the document at offset of object 1FAA, and a document of it.
    OpenDocument* Document(ClientSession* session, OpenFolder* folder, uint32_t offset,
                           std::shared_ptr<DocNotesHolder> notes = nullptr) {
        const CsXdrApplGroup& group = folder->definition->groups[0];
        CsXdrHitRow* row = MakeRow(group, {"N1", "Customer", "19730"}, "1FAA", offset, 10);
        EXPECT_EQ(clienttest::IndexRow(sessions_.front(), group, row), CS_OK);
        SearchHit* hit = AddTestHit(folder, 0, row);
        return AddTestDocument(session, folder, hit, DocumentSpec{.notes = std::move(notes)});
    }

    localtest::ArchiveCopy archive_;
    std::vector<ClientSession*> sessions_;
};

TEST_F(LocalNotes, PermissionBitsOfThreeUsers) {
    struct Case {
        const char* user;
        const char* password;
        bool view, print, copy, viewNotes, addNotes;
    };
    const Case cases[] = {
        {"ALICE", "wonder1", true, true, true, true, true},
        {"BOB", "builder2", true, false, false, true, true},
        {"CAROL", "builder2", true, true, true, true, false},
    };
    for (const Case& c : cases) {
        ClientSession* session = nullptr;
        OpenFolder* folder = Open(c.user, c.password, &session);
        ASSERT_NE(folder, nullptr) << c.user;
        ASSERT_STREQ(folder->definition->groups[0].name, "INVOICES");
        OpenDocument* document = Document(session, folder, 0);
        const SearchHit* hit = document->hit;
        EXPECT_EQ(Hit_CanViewFlag0(hit), c.view) << c.user;
        EXPECT_EQ(Hit_CanPrint(hit), c.print) << c.user;
        EXPECT_EQ(Doc_CanPrint(document), c.print) << c.user;
        EXPECT_EQ(Doc_CanCopy(document), c.copy) << c.user;
        EXPECT_EQ(Hit_CanViewNotes(hit), c.viewNotes) << c.user;
        EXPECT_EQ(Doc_CanViewNotes(document), c.viewNotes) << c.user;
        EXPECT_EQ(Hit_CanAddNotes(hit), c.addNotes) << c.user;
        EXPECT_EQ(Doc_CanAddNotes(document), c.addNotes) << c.user;

        // The server's own check agrees with the bit.
        ClientStatus status;
        Note_Add(&status, document, 0, 1, 0, 0, 0, 'B', "by permission", nullptr, 0);
        EXPECT_EQ(status.severity == CLIENT_SEV_OK, c.addNotes) << c.user << " " << status.code;
    }
}

TEST_F(LocalNotes, NotesAreListedNewestFirst) {
    ClientSession* session = nullptr;
    OpenFolder* folder = Open("BOB", "builder2", &session);
    ASSERT_NE(folder, nullptr);
    OpenDocument* writer = Document(session, folder, 200);
    ClientStatus status;
    // Close to now and never going back: the logon's time-out reads the same clock.
    const int64_t now = ArcOS_TimeNow();
    const std::pair<int64_t, const char*> added[] = {
        {now + 10, "four"}, {now + 50, "one"}, {now + 50, "two"}, {now + 90, "three"}};
    for (const auto& [when, text] : added) {
        ArcOS_SetTestClock(when);
        Note_Add(&status, writer, 0, 1, 1, 2, 3, 'R', text, nullptr, 0);
        ASSERT_EQ(status.severity, 0) << text << " " << status.code;
    }
    EXPECT_EQ(Note_GetCount(writer), 0) << "notes not loaded are not cached by an add";
    EXPECT_EQ(Doc_HasNotesFlag(writer), 'Y');
    EXPECT_EQ(writer->hit->row->noteFlag, 'Y');

    OpenDocument* reader = Document(session, folder, 200);
    Note_GetAll(&status, reader);
    ASSERT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(Texts(reader), (std::vector<std::string>{"three", "one", "two", "four"}));
    EXPECT_EQ(Numbers(reader), (std::vector<int>{4, 3, 2, 1}));
    const DocNoteEntry* first = Note_GetFirst(reader);
    EXPECT_EQ(first->userName, "BOB");
    EXPECT_EQ(first->colour, 'R');
    EXPECT_TRUE(first->isPublic);
    EXPECT_EQ(first->created, now + 90);
    EXPECT_EQ(first->positions[0], 1);
    EXPECT_EQ(first->positions[1], 2);
    EXPECT_TRUE(reader->notes->loaded);

    // Loaded: an added note goes first, marked new, numbered as the newest.
    ArcOS_SetTestClock(now + 95);
    Note_Add(&status, reader, 0, 0, 0, 0, 0, 'Q', "latest", nullptr, 0);
    ASSERT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(Texts(reader).front(), "latest");
    EXPECT_TRUE(Note_GetFirst(reader)->isNew);
    EXPECT_FALSE(Note_GetFirst(reader)->isPublic);
    EXPECT_EQ(Note_GetFirst(reader)->colour, 'D') << "'Q' is sent as code 0";
    EXPECT_EQ(Numbers(reader), (std::vector<int>{5, 4, 3, 2, 1}));

    // A document of another offset has none: its flag becomes 'N', and a later load
    // sends nothing.
    OpenDocument* empty = Document(session, folder, 900);
    Note_GetAll(&status, empty);
    EXPECT_EQ(status.severity, 0);
    EXPECT_EQ(Note_GetCount(empty), 0);
    EXPECT_EQ(Doc_HasNotesFlag(empty), 'N');
    EXPECT_EQ(empty->hit->row->noteFlag, 'N');
}

TEST_F(LocalNotes, NothingIsAskedWithoutNotesOrPermission) {
    ClientSession* session = nullptr;
    OpenFolder* folder = Open("BOB", "builder2", &session);
    ASSERT_NE(folder, nullptr);
    ClientStatus status;
    OpenDocument* writer = Document(session, folder, 300);
    Note_Add(&status, writer, 0, 1, 0, 0, 0, 'B', "exists", nullptr, 0);
    ASSERT_EQ(status.severity, 0);

    OpenDocument* flagged = Document(session, folder, 300);
    flagged->row->noteFlag = 'N';
    Note_GetAll(&status, flagged);
    EXPECT_EQ(status.severity, 0);
    EXPECT_FALSE(flagged->notes->loaded);
    EXPECT_EQ(Note_GetCount(flagged), 0);

    OpenDocument* barred = Document(session, folder, 300);
    CsXdrApplGroup noNotes = *barred->group;
    noNotes.notePermissions = 0x02;
    barred->group = &noNotes;
    Note_GetAll(&status, barred);
    EXPECT_EQ(status.severity, 0);
    EXPECT_FALSE(barred->notes->loaded);
    // Adding is allowed: the note is cached since the user may not list the notes.
    Note_Add(&status, barred, 1, 1, 0, 0, 0, 'B', "blind", nullptr, 0);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_EQ(Note_GetCount(barred), 1);
    EXPECT_TRUE(Note_GetFirst(barred)->noAuthor) << "anonymous";
    EXPECT_EQ(Note_GetFirst(barred)->userName, "");
    barred->group = nullptr;

    ClientStatus refused;
    Note_Add(&refused, writer, 0, 1, 0, 0, 0, 'B', "x", nullptr, 4);
    EXPECT_EQ(refused.severity, CLIENT_SEV_ERROR);
    EXPECT_EQ(refused.code, 4);
    Note_GetAll(&refused, nullptr);
    EXPECT_EQ(refused.code, 4);
}

// ---------------------------------------------------------------- the loopback peer

class PeerNotes : public clienttest::PeerSessionTest {
protected:
    PeerNotes() : PeerSessionTest(qel_peer::Script("notes_printers.json")) {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(PeerSessionTest::SetUp());
        ClientStatus status;
        Folder_Open(&status, session_, "Invoices", &folder_);
        ASSERT_EQ(status.severity, 0) << status.code;
    }
    void TearDown() override {
        Note_SetShowAll(0);
        PeerSessionTest::TearDown();
    }
    OpenDocument* Document(const char* object, std::shared_ptr<DocNotesHolder> notes = nullptr) {
        const CsXdrApplGroup& group = folder_->definition->groups[0];
        SearchHit* hit = AddTestHit(folder_, 0, MakeRow(group, {"ACME", "1.5"}, object));
        return AddTestDocument(session_, folder_, hit, DocumentSpec{.notes = std::move(notes)});
    }

    OpenFolder* folder_ = nullptr;
};

TEST_F(PeerNotes, DeliveredNotesAreCachedNewestFirst) {
    OpenDocument* document = Document("ORDER");
    ClientStatus status;
    Note_GetAll(&status, document);
    ASSERT_EQ(status.severity, 0) << status.code;
    // "with data" (flag 0x08) is left out; "second" and "third" share a time stamp.
    EXPECT_EQ(Texts(document), (std::vector<std::string>{"second", "third", "fourth", "first"}));
    EXPECT_EQ(Numbers(document), (std::vector<int>{4, 3, 2, 1}));
    std::string colours;
    std::vector<bool> shared, anonymous;
    for (const DocNoteEntry* n = Note_GetFirst(document); n != nullptr; n = Note_GetNext(document, n)) {
        colours += n->colour;
        shared.push_back(n->isPublic);
        anonymous.push_back(n->noAuthor);
    }
    EXPECT_EQ(colours, "D0RB") << "code 12 reads as 'D'";
    EXPECT_EQ(shared, (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(anonymous, (std::vector<bool>{false, false, true, false}));
    const DocNoteEntry* last =
        Note_GetNext(document, Note_GetNext(document, Note_GetNext(document, Note_GetFirst(document))));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->positions[0], 1);
    EXPECT_EQ(last->positions[1], 11);
    EXPECT_EQ(Note_GetNext(document, last), nullptr);
    EXPECT_EQ(Doc_HasNotesFlag(document), 'Y');

    // Another document of the same hit shares the cache and asks nothing.
    OpenDocument* twin = Document("ORDER", document->notes);
    peer_.Stop();
    Note_GetAll(&status, twin);
    EXPECT_EQ(status.severity, 0);
    EXPECT_EQ(Note_GetCount(twin), 4);
}

TEST_F(PeerNotes, ShowAllKeepsNotesWithData) {
    Note_SetShowAll(1);
    OpenDocument* document = Document("ORDER");
    ClientStatus status;
    Note_GetAll(&status, document);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_EQ(Note_GetCount(document), 5);
    const DocNoteEntry* first = Note_GetFirst(document);
    EXPECT_EQ(first->text, "with data");
    EXPECT_EQ(std::string(first->data.begin(), first->data.end()), "bytes");
}

TEST_F(PeerNotes, AnAddedNoteTravelsAndJoinsTheLoadedList) {
    OpenDocument* document = Document("FRESH");
    OpenDocument* twin = Document("FRESH", document->notes);
    twin->row->noteFlag = 'N';
    ClientStatus status;
    Note_GetAll(&status, document);
    ASSERT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(Note_GetCount(document), 0);
    EXPECT_EQ(Doc_HasNotesFlag(document), 'N');

    const char data[] = {1, 2, 3};
    Note_Add(&status, document, 0, 1, 5, 6, 7, 'G', "added", data, sizeof data);
    ASSERT_EQ(status.severity, 0) << status.code;
    const std::vector<std::string> events = peer_.Events("add_note");
    ASSERT_EQ(events.size(), 1u);
    const std::string sent = qel_peer::JsonValue(events[0], "note");
    for (const char* part : {"\"text\": \"added\"", "\"colour\": 5", "\"page\": 5", "\"attributes\": 6",
                             "\"flags\": 10", "\"data\": \"010203\"", "\"reserved\": \"0000000007000000"})
        EXPECT_NE(sent.find(part), std::string::npos) << part << " in " << sent;
    EXPECT_EQ(Doc_HasNotesFlag(document), 'Y');
    EXPECT_EQ(Doc_HasNotesFlag(twin), 'Y') << "every document of the same notes";
    ASSERT_EQ(Note_GetCount(twin), 1);
    const DocNoteEntry* note = Note_GetFirst(twin);
    EXPECT_TRUE(note->isNew);
    EXPECT_EQ(note->userName, "ALICE");
    EXPECT_EQ(note->colour, 'G');
    EXPECT_EQ(note->positions[2], 7);
    EXPECT_EQ(note->data, (std::vector<unsigned char>{1, 2, 3}));

    Note_Add(&status, document, 0, 0, 0, 0, 0, 'Q', "", nullptr, 0);
    ASSERT_EQ(status.severity, 0) << status.code;
    const std::string second = qel_peer::JsonValue(peer_.Events("add_note").back(), "note");
    EXPECT_NE(second.find("\"colour\": 0"), std::string::npos) << second;
    EXPECT_NE(second.find("\"flags\": 5"), std::string::npos) << second;
    EXPECT_EQ(Numbers(document), (std::vector<int>{2, 1}));
}

}  // namespace

namespace {

// Outside a notes request an exit's note has nowhere to go.
TEST_F(PeerNotes, AnExitNoteOutsideALoadIsRefused) {
    session_->exitSessionId = 4242;
    ClientExitNote note{};
    note.created = 1700000000;
    note.text = "from the exit";
    EXPECT_EQ(ExitNoteCallback(4242, &note), 0);
    EXPECT_EQ(ExitNoteCallback(4243, &note), 0);
    EXPECT_EQ(ExitNoteCallback(4242, nullptr), 0);
    EXPECT_EQ(ExitNoteCallback(0, &note), 0);
    session_->exitSessionId = 0;
}

}  // namespace
