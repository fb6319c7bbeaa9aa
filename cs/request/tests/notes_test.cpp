// Notes of a document: added and listed on a copy of the sample archive, and sent to a
// server (the loopback peer).
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "qel_local.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::TestArchive;

constexpr uint32_t kInvoices = 100;
constexpr int64_t kNow = 1700001234;

struct NoteFree {
    void operator()(CsXdrNote* note) const { CsFreeNotes(note); }
};
using NotePtr = std::unique_ptr<CsXdrNote, NoteFree>;

// What reaches the handle's callbacks: messages (checked in the System Log instead) and
// the notes of a list.
struct Calls {
    CsHandle* handle = nullptr;
    std::vector<std::string> messages;
    std::vector<NotePtr> kept;  // the notes a keeping callback took
    int answer = 0;             // the note callback's answer
    size_t interruptAfter = 0;  // 0: never
    size_t seen = 0;

    static int Message(void* context, const char* text) {
        static_cast<Calls*>(context)->messages.emplace_back(text);
        return 0;
    }
    static int Note(void* context, void* entry) {
        auto* calls = static_cast<Calls*>(context);
        auto* note = static_cast<CsXdrNote*>(entry);
        ++calls->seen;
        if (calls->interruptAfter != 0 && calls->seen == calls->interruptAfter) CsInterrupt(calls->handle);
        if (calls->answer != 0) {
            // Scribbled on, so that a copy kept by the operation would show.
            std::memset(note->key, 0xEE, sizeof note->key);
            return calls->answer;
        }
        calls->kept.emplace_back(note);
        return 0;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const NotePtr& n : kept) out.emplace_back(n->text != nullptr ? n->text : "(null)");
        return out;
    }
};

// Makes the hit a row of INVOICES, loaded by ALICE on a handle of her own: notes are
// kept only for documents of rows.
void IndexDocument(TestArchive& archive, CsXdrHitRow* hit) {
    CsHandle handle{};
    HandleGuard guard{&handle};
    guard.Renew(archive);
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle, "ALICE", "Secret-1", &record), CS_OK);
    CsXdrFolder* raw = nullptr;
    ASSERT_EQ(CsOpenFolderGroups(&handle, 1, nullptr, &raw), CS_OK);
    FolderPtr folder(raw);
    EXPECT_EQ(logontest::IndexHit(&handle, &folder->groups[0], hit), CS_OK);
    EXPECT_EQ(CsLogoff(&handle), CS_OK);
}

// A document of INVOICES: the object 1FAA at offset, as the hit of its row carries it.
class Document {
public:
    Document(TestArchive& archive, uint32_t offset) {
        object_.name = name_.data();
        object_.offset = offset;
        object_.length = 10;
        object_.compression = 'N';
        hit_.object = &object_;
        values_[0].type = 'S';
        values_[0].v.text = number_.data();
        values_[1].type = 'S';
        values_[1].v.text = customer_.data();
        values_[2].type = 'I';
        values_[2].v.integer = 19730;
        hit_.valueCount = 3;
        hit_.values = values_;
        IndexDocument(archive, &hit_);
    }
    CsXdrHitRow* Hit() { return &hit_; }
    QelLocalNoteDoc Local() const {
        QelLocalNoteDoc doc;
        doc.agid = static_cast<int32_t>(kInvoices);
        doc.objectName = name_.c_str();
        doc.docOffset = static_cast<int32_t>(object_.offset);
        doc.docLength = static_cast<int32_t>(object_.length);
        return doc;
    }

private:
    std::string name_ = "1FAA";
    std::string number_ = "N1";
    std::string customer_ = "ACME";
    CsXdrObjectRef object_{};
    CsXdrValue values_[3] = {};
    CsXdrHitRow hit_{};
};

// A note to add; the texts live in the object.
class NewNote {
public:
    NewNote(const char* text, uint32_t flags, uint32_t colour = 3) : text_(text) {
        note_.text = text_.data();
        note_.flags = flags;
        note_.color = colour;
    }
    CsXdrNote* operator->() { return &note_; }
    CsXdrNote* Get() { return &note_; }
    void Data(const std::string& bytes) {
        data_ = bytes;
        note_.data = data_.data();
        note_.dataLength = static_cast<uint32_t>(data_.size());
    }

private:
    std::string text_;
    std::string data_;
    CsXdrNote note_{};
};

// Users beyond the usual ones: FRANK (of STAFF) may add notes but has no group permission
// that reads them all, HANK (of STAFF) reads every note through group permission 0x04 of
// his own row, GINA is in no group and has no permission row for the group.
std::vector<logontest::User> Users() {
    std::vector<logontest::User> users = logontest::DefaultUsers();
    users.push_back({"FRANK", 8, "FrankPw1", 0, 1700000000, 0, {11}});
    users.push_back({"GINA", 9, "GinaPw1", 0, 1700000000, 0, {}});
    users.push_back({"HANK", 12, "HankPw1", 0, 1700000000, 0, {11}});
    return users;
}

// ALICE and ROOT may add and read every note (STAFF's row: note permissions 7, group
// permissions 11 with 0x02; ROOT by type 0x04); BOB's own row allows neither (1 and 1);
// DAVE's neither, but his type 0x10 reads every note; FRANK's row adds notes (note
// permissions 7) with group permissions 1; HANK's row has group permissions 0x05.
class LocalNotes : public ::testing::Test {
protected:
    void SetUp() override {
        ArcOS_SetTestClock(kNow);
        archive_.WriteUsers(Users());
        std::string perms = archive_.Table("agperms");
        perms.replace(perms.find("IDS=11\n"), 7, "IDS=11,2,5,8,12\n");
        archive_.WriteTable("agperms", perms + "\n[2|100]\nID_PERMS=1\nDOC_PERMS=1\nANN_PERMS=1\n" +
                                           "\n[5|100]\nID_PERMS=1\nDOC_PERMS=1\nANN_PERMS=1\n" +
                                           "\n[8|100]\nID_PERMS=1\nDOC_PERMS=1\nANN_PERMS=7\n" +
                                           "\n[12|100]\nID_PERMS=1\nDOC_PERMS=5\nANN_PERMS=1\n");
    }
    void TearDown() override { ArcOS_SetTestClock(std::nullopt); }

    void LogOn(const char* user, const char* password, bool openFolder = true) {
        guard_.Renew(archive_);
        calls_ = Calls{};
        calls_.handle = &handle_;
        handle_.callbackContext = &calls_;
        handle_.messageCallback = &Calls::Message;
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &record), CS_OK) << user;
        folder_.reset();
        if (!openFolder) return;
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK) << user;
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
    }
    CsXdrApplGroup* Group() { return &folder_->groups[0]; }
    int Add(Document& doc, NewNote& note) { return CsAddNote(&handle_, Group(), doc.Hit(), note.Get()); }
    // The notes of the document the logged-on user reads, kept in calls_.
    std::vector<std::string> Read(Document& doc) {
        calls_.kept.clear();
        EXPECT_EQ(CsGetNotes(&handle_, kInvoices, doc.Hit(), &Calls::Note), CS_OK);
        return calls_.Texts();
    }
    // A note written straight through the local server, as another client wrote it.
    void AddDirectly(const Document& doc, uint32_t user, const char* name, uint32_t flags, const char* text) {
        CsHandle handle{};
        localtest::MakeHandle(&handle, archive_.Dir());
        ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
        const QelLocalNoteDoc where = doc.Local();
        QelLocalNote note;
        note.userNumber = user;
        std::strcpy(note.userName, name);
        note.flags = flags;
        note.text = text;
        EXPECT_EQ(QelLocal_AddNote(&handle, &where, &note), CS_OK);
        QelLocal_Close(&handle);
    }
    void SetInTable(const char* table, const std::string& from, const std::string& to) {
        std::string text = archive_.Table(table);
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        archive_.WriteTable(table, text);
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    Calls calls_;
};

TEST_F(LocalNotes, AnAddedNoteReadsBackAsWritten) {
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    Document doc(archive_, 200);
    NewNote note("Check the total", CS_NOTE_PUBLIC, 7);
    note->page = 2;
    note->attributes = 5;
    for (size_t i = 0; i < sizeof note->key; ++i) note->key[i] = static_cast<unsigned char>(100 + i);
    note->created = 42;  // the stamp is the operation's
    note.Data(std::string("\0bytes\xff", 7));
    ASSERT_EQ(Add(doc, note), CS_OK);
    EXPECT_EQ(note->number, 1u);
    EXPECT_STREQ(note->userId, "ALICE");
    EXPECT_EQ(note->created, kNow);
    EXPECT_EQ(doc.Hit()->noteFlag, 0) << "INVOICES keeps no note flags in its rows";

    NewNote second("Second", CS_NOTE_PRIVATE);
    ASSERT_EQ(Add(doc, second), CS_OK);
    EXPECT_EQ(second->number, 2u);

    ASSERT_EQ(Read(doc), (std::vector<std::string>{"Check the total", "Second"}));
    const CsXdrNote& back = *calls_.kept[0];
    EXPECT_EQ(back.number, 1u);
    EXPECT_STREQ(back.userId, "ALICE");
    EXPECT_EQ(back.flags, CS_NOTE_PUBLIC);
    EXPECT_EQ(back.created, kNow);
    EXPECT_EQ(back.color, 7u);
    EXPECT_EQ(back.page, 2u);
    EXPECT_EQ(back.attributes, 5u);
    EXPECT_EQ(back.key[0], 7) << "the colour is the key's first byte";
    for (size_t i = 1; i < sizeof back.key; ++i) EXPECT_EQ(back.key[i], 100 + i) << i;
    ASSERT_EQ(back.dataLength, 7u);
    EXPECT_EQ(std::string(back.data, back.dataLength), std::string("\0bytes\xff", 7));
    EXPECT_EQ(calls_.kept[1]->dataLength, 0u);
    EXPECT_EQ(calls_.kept[1]->data, nullptr);
}

// The note files keep 819. A note added in 1208 reads back in either session's code page;
// one the archive's code page cannot hold is refused and nothing is stored.
TEST_F(LocalNotes, NoteTextsCrossBetweenTheArchivesCodePageAndTheSessions) {
    Document doc(archive_, 200);
    ASSERT_NO_FATAL_FAILURE(AddDirectly(doc, 1, "ALICE", CS_NOTE_PUBLIC,
                                        "Gr\xFC\xDF"
                                        "e"));
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    NewNote added(
        "Pr\xC3\xBC"
        "fen",
        CS_NOTE_PUBLIC);
    ASSERT_EQ(Add(doc, added), CS_OK);
    NewNote refused("\xE2\x82\xAC 10", CS_NOTE_PUBLIC);
    EXPECT_EQ(Add(doc, refused), CS_FAILED);
    struct Case {
        int32_t ccsid;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {1208,
         {"Gr\xC3\xBC\xC3\x9F"
          "e",
          "Pr\xC3\xBC"
          "fen"}},
        {819,
         {"Gr\xFC\xDF"
          "e",
          "Pr\xFC"
          "fen"}},
    };
    for (const Case& c : cases) {
        handle_.localCcsid = c.ccsid;
        EXPECT_EQ(Read(doc), c.texts) << c.ccsid;
    }
}

TEST_F(LocalNotes, WhoReadsWhichNotes) {
    Document doc(archive_, 300);
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    NewNote open("public of ALICE", CS_NOTE_PUBLIC), own("private of ALICE", CS_NOTE_PRIVATE);
    ASSERT_EQ(Add(doc, open), CS_OK);
    ASSERT_EQ(Add(doc, own), CS_OK);
    ASSERT_NO_FATAL_FAILURE(LogOn("ROOT", "RootPw1"));
    NewNote root("private of ROOT", CS_NOTE_PRIVATE);
    ASSERT_EQ(Add(doc, root), CS_OK) << "type 0x04 without a permission row";
    ASSERT_NO_FATAL_FAILURE(AddDirectly(doc, 2, "BOB", CS_NOTE_PRIVATE, "private of BOB"));
    // Notes written for a group: their author is the group.
    ASSERT_NO_FATAL_FAILURE(AddDirectly(doc, 11, "STAFF", CS_NOTE_PRIVATE, "for STAFF"));
    ASSERT_NO_FATAL_FAILURE(AddDirectly(doc, 10, "ADMINS", CS_NOTE_PRIVATE, "for ADMINS"));
    ASSERT_NO_FATAL_FAILURE(LogOn("FRANK", "FrankPw1"));
    NewNote frank("private of FRANK", CS_NOTE_PRIVATE);
    ASSERT_EQ(Add(doc, frank), CS_OK) << "note permission 0x02 adds";

    const std::vector<std::string> all = {"public of ALICE", "private of ALICE", "private of ROOT",
                                          "private of BOB",  "for STAFF",        "for ADMINS",
                                          "private of FRANK"};
    struct Case {
        const char* user;
        const char* password;
        std::vector<std::string> notes;
    };
    const Case cases[] = {
        {"ALICE", "Secret-1", all},  // group permission 0x02 (STAFF's row)
        {"ROOT", "RootPw1", all},    // type 0x04
        {"DAVE", "DavePw1", all},    // type 0x10, permissions 1
        {"HANK", "HankPw1", all},    // group permission 0x04
        // Public ones, their own and their group's; the note permissions read no more.
        {"BOB", "Bob.Pass", {"public of ALICE", "private of BOB", "for STAFF"}},
        {"FRANK", "FrankPw1", {"public of ALICE", "for STAFF", "private of FRANK"}},
    };
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(LogOn(c.user, c.password));
        EXPECT_EQ(Read(doc), c.notes) << c.user;
    }
}

TEST_F(LocalNotes, RefusedAndFailedAddsStoreNothing) {
    Document doc(archive_, 400);
    ASSERT_NO_FATAL_FAILURE(LogOn("BOB", "Bob.Pass"));
    NewNote note("not allowed", CS_NOTE_PUBLIC);
    // The tables decide, not the caller's record.
    CsXdrApplGroup widened{};
    widened.number = kInvoices;
    widened.notePermissions = 0xFFFF;
    widened.permissions = 0xFF;
    EXPECT_EQ(CsAddNote(&handle_, &widened, doc.Hit(), note.Get()), CS_NOT_AUTHORISED);
    ASSERT_NO_FATAL_FAILURE(LogOn("HANK", "HankPw1"));
    EXPECT_EQ(Add(doc, note), CS_NOT_AUTHORISED) << "group permission 0x04 reads but does not add";
    ASSERT_NO_FATAL_FAILURE(LogOn("GINA", "GinaPw1", false));
    EXPECT_EQ(CsAddNote(&handle_, &widened, doc.Hit(), note.Get()), CS_NOT_AUTHORISED);
    EXPECT_EQ(CsGetNotes(&handle_, kInvoices, doc.Hit(), &Calls::Note), CS_NOT_AUTHORISED);

    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    NewNote colour("colour out of range", CS_NOTE_PUBLIC, 256);
    NewNote noBytes("data without bytes", CS_NOTE_PUBLIC);
    noBytes->dataLength = 4;
    CsXdrApplGroup unknown = *Group();
    unknown.number = 999;
    CsXdrHitRow noObject{};
    struct Case {
        const char* name;
        int rc;
    };
    const Case cases[] = {
        {"a colour above 255", Add(doc, colour)},
        {"data without bytes", Add(doc, noBytes)},
        {"an unknown group", CsAddNote(&handle_, &unknown, doc.Hit(), note.Get())},
        {"a hit without an object", CsAddNote(&handle_, Group(), &noObject, note.Get())},
        {"no note", CsAddNote(&handle_, Group(), doc.Hit(), nullptr)},
        {"no group", CsAddNote(&handle_, nullptr, doc.Hit(), note.Get())},
        {"listing an unknown group", CsGetNotes(&handle_, 999, doc.Hit(), &Calls::Note)},
        {"listing without an object", CsGetNotes(&handle_, kInvoices, &noObject, &Calls::Note)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.rc, CS_FAILED) << c.name;
    EXPECT_EQ(Read(doc), std::vector<std::string>{});
}

TEST_F(LocalNotes, WithoutCallbackOnlyTheNoteFlagIsSet) {
    Document withNotes(archive_, 500), privateOnly(archive_, 600), none(archive_, 700);
    ASSERT_NO_FATAL_FAILURE(AddDirectly(withNotes, 1, "ALICE", CS_NOTE_PUBLIC, "seen by all"));
    ASSERT_NO_FATAL_FAILURE(AddDirectly(privateOnly, 1, "ALICE", CS_NOTE_PRIVATE, "ALICE's"));
    struct Case {
        const char* user;
        const char* password;
        Document* doc;
        uint8_t flag;
    };
    const Case cases[] = {
        {"BOB", "Bob.Pass", &withNotes, 'Y'},     {"BOB", "Bob.Pass", &privateOnly, 'N'},
        {"BOB", "Bob.Pass", &none, 'N'},          {"ALICE", "Secret-1", &privateOnly, 'Y'},
        {"FRANK", "FrankPw1", &privateOnly, 'N'}, {"HANK", "HankPw1", &privateOnly, 'Y'},
    };
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(LogOn(c.user, c.password));
        c.doc->Hit()->noteFlag = '?';
        EXPECT_EQ(CsGetNotes(&handle_, kInvoices, c.doc->Hit(), nullptr), CS_OK) << c.user;
        EXPECT_EQ(c.doc->Hit()->noteFlag, c.flag) << c.user << " " << c.doc->Hit()->object->offset;
        EXPECT_EQ(calls_.seen, 0u);
    }
}

TEST_F(LocalNotes, NotesTheCallbackRefusesAreFreedAndAnInterruptEndsTheList) {
    Document doc(archive_, 800);
    for (const char* text : {"one", "two", "three"})
        ASSERT_NO_FATAL_FAILURE(AddDirectly(doc, 1, "ALICE", CS_NOTE_PUBLIC, text));
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    calls_.answer = 1;  // every note is the operation's to free
    EXPECT_EQ(CsGetNotes(&handle_, kInvoices, doc.Hit(), &Calls::Note), CS_OK);
    EXPECT_EQ(calls_.seen, 3u);
    EXPECT_TRUE(calls_.kept.empty());

    calls_ = Calls{};
    calls_.handle = &handle_;
    calls_.interruptAfter = 2;
    EXPECT_EQ(CsGetNotes(&handle_, kInvoices, doc.Hit(), &Calls::Note), CS_CANCELLED);
    EXPECT_EQ(calls_.Texts(), (std::vector<std::string>{"one", "two"}));
    calls_.kept.clear();
    EXPECT_EQ(Read(doc), (std::vector<std::string>{"one", "two", "three"}))
        << "the handle serves the next call";
}

TEST_F(LocalNotes, AGroupKeepingNoteFlagsMarksTheHit) {
    ASSERT_NO_FATAL_FAILURE(SetInTable("ag", "ANN_TYPE=1", "ANN_TYPE=89"));  // 'Y'
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    Document doc(archive_, 900);
    NewNote note("flagged", CS_NOTE_PUBLIC);
    ASSERT_EQ(Add(doc, note), CS_OK);
    EXPECT_EQ(doc.Hit()->noteFlag, 'Y');
    Document refused(archive_, 901);
    ASSERT_NO_FATAL_FAILURE(LogOn("BOB", "Bob.Pass"));
    EXPECT_EQ(Add(refused, note), CS_NOT_AUTHORISED);
    EXPECT_EQ(refused.Hit()->noteFlag, 0) << "no flag without a note";
}

TEST_F(LocalNotes, NoteLoggingNamesTheNumberWhenItIsKnown) {
    Document doc(archive_, 1000);
    NewNote note("logged", CS_NOTE_PUBLIC);
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    ASSERT_EQ(Add(doc, note), CS_OK);
    EXPECT_EQ(archive_.LoggedStartingWith("Annotation"), 0) << "no note logging";

    ASSERT_NO_FATAL_FAILURE(SetInTable("ag", "LOG=0", "LOG=1024"));
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    ASSERT_EQ(Add(doc, note), CS_OK);
    EXPECT_EQ(archive_.LoggedStartingWith("Annotation Id Add: Id(2) Name(INVOICES) Agid(100)"), 1);
    EXPECT_EQ(archive_.LoggedStartingWith("Annotation Add:"), 0);

    // The archive's ann.tbl lists the document's older notes: a new note goes to the note
    // folder, where reading does not look, so its number is not known.
    const std::string folder = archive_.Dir() + "note/";
    archive_.WriteTable("ann", localtest::ReadFile(folder + "note.tbl"));
    localtest::WriteFile(folder + "note.tbl", "[NOTES]\nNOTE=1\n");
    NewNote unseen("not found again", CS_NOTE_PUBLIC);
    ASSERT_EQ(Add(doc, unseen), CS_OK);
    EXPECT_EQ(unseen->number, 0u);
    EXPECT_EQ(archive_.LoggedStartingWith("Annotation Add: Name(INVOICES) Agid(100)"), 1);
    EXPECT_EQ(archive_.LoggedStartingWith("Annotation Id Add:"), 1);
}

// Notes sent to the loopback peer: its script lists two notes for every object.
class RemoteNotes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(peer_.port(), 0);
        logontest::MakePeerHandle(&handle_, peer_);
        calls_.handle = &handle_;
        handle_.callbackContext = &calls_;
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, "ALICE", "SECRET1", &record), CS_OK);
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK);
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
        object_.name = name_.data();
        object_.compression = 'O';
        hit_.object = &object_;
        std::strcpy(hit_.segment, "SEG1");
    }
    void TearDown() override { EXPECT_EQ(CsLogoff(&handle_), CS_OK); }

    qel_peer::PeerProcess peer_{qel_peer::Script("basic.json")};
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    Calls calls_;
    std::string name_ = "DOC00009";
    CsXdrObjectRef object_{};
    CsXdrHitRow hit_{};
};

TEST_F(RemoteNotes, AnAddedNoteTravelsAndIsListedWithItsNumber) {
    NewNote note("sent note", CS_NOTE_PUBLIC, 4);
    note->page = 6;
    note.Data("xyz");
    ASSERT_EQ(CsAddNote(&handle_, &folder_->groups[0], &hit_, note.Get()), CS_OK);
    EXPECT_EQ(note->number, 3u) << "the server's first answer word";
    const std::vector<std::string> added = peer_.Events("add_note");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(qel_peer::JsonValue(added[0], "object"), "\"DOC00009\"");
    EXPECT_EQ(qel_peer::JsonValue(added[0], "segment"), "\"SEG1\"");
    EXPECT_EQ(qel_peer::JsonValue(added[0], "group"), std::to_string(folder_->groups[0].number));
    const std::string sent = qel_peer::JsonValue(added[0], "note");
    for (const char* part :
         {"\"text\": \"sent note\"", "\"colour\": 4", "\"page\": 6", "\"flags\": 2", "\"data\": \"78797a\""})
        EXPECT_NE(sent.find(part), std::string::npos) << part << " in " << sent;

    ASSERT_EQ(CsGetNotes(&handle_, folder_->groups[0].number, &hit_, &Calls::Note), CS_OK);
    ASSERT_EQ(calls_.Texts(), (std::vector<std::string>{"First note", "Second note", "sent note"}));
    const CsXdrNote& back = *calls_.kept[2];
    EXPECT_EQ(back.number, 3u);
    EXPECT_STREQ(back.userId, "ALICE");
    EXPECT_EQ(std::string(back.data, back.dataLength), "xyz");
    EXPECT_EQ(std::string(calls_.kept[0]->data, calls_.kept[0]->dataLength), "extra bytes");
    std::vector<std::string> lists;
    for (const std::string& line : peer_.Events("request"))
        if (qel_peer::JsonValue(line, "code") == "69") lists.push_back(line);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_NE(lists[0].find("\"name\": \"DOC00009\""), std::string::npos) << lists[0];
}

TEST_F(RemoteNotes, TheFlagWithoutCallbackAndNotesTheCallbackRefuses) {
    hit_.noteFlag = '?';
    ASSERT_EQ(CsGetNotes(&handle_, folder_->groups[0].number, &hit_, nullptr), CS_OK);
    EXPECT_EQ(hit_.noteFlag, 'Y');
    EXPECT_EQ(calls_.seen, 0u);
    calls_.answer = 1;
    ASSERT_EQ(CsGetNotes(&handle_, folder_->groups[0].number, &hit_, &Calls::Note), CS_OK);
    EXPECT_EQ(calls_.seen, 2u);
    EXPECT_TRUE(calls_.kept.empty());
}

}  // namespace
