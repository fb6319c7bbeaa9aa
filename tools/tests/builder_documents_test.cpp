// What a document carries besides its data, built and read back through the request
// layer on a local handle: notes as each user may see them, the resource a document
// names, the paged statement's tables and segments, and the application's data type.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "builder_fixture.h"
#include "message_test_support.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_local.h"

namespace {

using buildertest::BuilderScratch;
using buildertest::PartText;

struct FolderFree {
    void operator()(CsXdrFolder* folder) const { CsFreeFolderList(folder); }
};
struct SetFree {
    void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
};
struct TablesFree {
    void operator()(CsDocTables* tables) const { CsFreeDocTables(tables, 1); }
};

struct Sink {
    std::string data;
    static int Take(void* context, const unsigned char* data, size_t length) {
        static_cast<Sink*>(context)->data.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
};

struct Note {
    std::string user, text;
    uint32_t flags, page, colour;
    int64_t created;
};

class BuiltDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        target_ = scratch_.Dir() + "archive";
        const auto errors = scratch_.Build(buildertest::DocumentsDescription(), target_);
        for (const auto& e : errors) ADD_FAILURE() << FormatError(e);
        ASSERT_TRUE(errors.empty());
        ASSERT_EQ(ArcICONV_Startup(&pages_, QEL_STAGE_DIR "/locale"), 0);
    }
    void TearDown() override {
        Reset();
        if (pages_ != nullptr) ArcICONV_Shutdown(pages_);
    }
    void Reset() {
        for (CsXdrHitRow* hit : hits_) CsFreePackedHit(hit, -1);
        hits_.clear();
        set_.reset();
        folder_.reset();
        CsFreeLogonRecord(&handle_);
        handle_.systemParms.reset();
        handle_.~CsHandle();
        new (&handle_) CsHandle();
        std::snprintf(handle_.serverName, sizeof handle_.serverName, "BUILT");
        handle_.def.kind = CS_KIND_LOCAL;
        handle_.def.profile = "[@SRV@_BUILT]\nDIRECTORY=" + target_ + "/\n";
        handle_.iconv = pages_;
        handle_.localCcsid = 1208;
    }
    // Logs on, opens folder 1 and its storage set, and finds every statement.
    void Open(const char* user, const char* password) {
        Reset();
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &record), CS_OK);
        CsXdrFolder* folder = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &folder), CS_OK);
        folder_.reset(folder);
        CsStorageSet* set = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, folder_->groups[0].storageSet, CsResolveServerDef, &set), CS_OK);
        set_.reset(set);
        handle_.callbackContext = &hits_;
        ASSERT_EQ(CsSearchFolder(&handle_, folder_.get(), &folder_->groups[0], "", nullptr, nullptr, nullptr,
                                 0, 'N', -1, KeepHit),
                  CS_OK);
    }
    static int KeepHit(void* context, CsXdrHitRow* hit) {
        static_cast<std::vector<CsXdrHitRow*>*>(context)->push_back(hit);
        return 0;
    }
    CsXdrHitRow* Hit(const std::string& invno) {
        for (CsXdrHitRow* hit : hits_)
            if (invno == hit->values[0].v.text) return hit;
        ADD_FAILURE() << "no hit " << invno;
        return nullptr;
    }
    std::string Retrieve(CsXdrHitRow* hit) {
        Sink sink;
        CsDocRequest request;
        request.callback = Sink::Take;
        request.context = &sink;
        EXPECT_EQ(
            CsRetrieveDocData(&handle_, &folder_->groups[0], &set_->nodes[0], nullptr, hit, &request, 'N'),
            CS_OK);
        return sink.data;
    }
    static int TakeNote(void* context, void* entry) {
        auto* note = static_cast<CsXdrNote*>(entry);
        static_cast<std::vector<Note>*>(context)->push_back(
            {note->userId, note->text, note->flags, note->page, note->color, note->created});
        return 1;  // the operation frees it
    }
    std::vector<Note> Notes(CsXdrHitRow* hit) {
        std::vector<Note> notes;
        handle_.callbackContext = &notes;
        EXPECT_EQ(CsGetNotes(&handle_, folder_->groups[0].number, hit, TakeNote), CS_OK);
        return notes;
    }

    reqtest::MessageSandbox sandbox_;
    reqtest::EnvSetting registry_{"QEL_REGISTRY_DIR", sandbox_.Path()};
    BuilderScratch scratch_;
    std::string target_;
    ArcIconvContext* pages_ = nullptr;
    CsHandle handle_{};
    std::unique_ptr<CsXdrFolder, FolderFree> folder_;
    std::unique_ptr<CsStorageSet, SetFree> set_;
    std::vector<CsXdrHitRow*> hits_;
};

// Public notes for everybody, private ones for their author and those who may add notes;
// time, page and colour as described, the build time when none is given.
TEST_F(BuiltDocuments, NotesAsEachUserMaySeeThem) {
    struct Case {
        const char* user;
        const char* password;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"ALICE", "Secret-1", {"Alice public", "Alice private", "Bob private"}},
        {"BOB", "Bob.Pass", {"Alice public", "Bob private"}},
        {"CAROL", "", {"Alice public"}},
    };
    for (const Case& c : cases) {
        Open(c.user, c.password);
        std::vector<std::string> texts;
        for (const Note& n : Notes(Hit("A0001"))) texts.push_back(n.text);
        EXPECT_EQ(texts, c.texts) << c.user;
    }
    Open("ALICE", "Secret-1");
    const std::vector<Note> notes = Notes(Hit("A0001"));
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].user, "ALICE");
    EXPECT_EQ(notes[0].flags, 2u | 4u) << "public text";
    EXPECT_EQ(notes[0].created, buildertest::kNoteTime);
    EXPECT_EQ(notes[0].page, 2u);
    EXPECT_EQ(notes[0].colour, 3u);
    EXPECT_EQ(notes[1].flags, 1u | 4u) << "private text";
    EXPECT_EQ(notes[1].page, 1u);
    EXPECT_GT(notes[1].created, buildertest::kNoteTime) << "the build time";
    EXPECT_EQ(notes[2].user, "BOB");
    EXPECT_EQ(notes[2].created, 1700000000);
    EXPECT_TRUE(Notes(Hit("A0002")).empty());
    EXPECT_EQ(Notes(Hit("A0007")).size(), 0u);
}

// The resource a document names comes back expanded; other documents name none.
TEST_F(BuiltDocuments, ResourceOfTheDocument) {
    Open("BOB", "Bob.Pass");
    CsXdrHitRow* withResource = Hit("A0004");
    ASSERT_NE(withResource, nullptr);
    EXPECT_EQ(withResource->object->resourceId, 7u);
    EXPECT_EQ(Hit("A0003")->object->resourceId, 0u);
    CsXdrNodeInfo* info = nullptr;
    ASSERT_EQ(CsGetStorageNodes(&handle_, folder_->groups[0].number, 7, &info), CS_OK);
    EXPECT_EQ(info->primaryNode, 1);
    EXPECT_EQ(info->compression, 'O');
    CsFreeStorageNodes(info);
    withResource->object->compression = 'O';  // the letter the node row gives
    Sink sink;
    CsDocRequest request;
    request.callback = Sink::Take;
    request.context = &sink;
    ASSERT_EQ(CsGetDocResources(&handle_, &folder_->groups[0], &set_->nodes[0], nullptr, 0,
                                withResource->object, &request),
              CS_OK);
    EXPECT_EQ(sink.data, buildertest::kResourceText);
}

// The paged statement: its data starts with page tables as long as the stored offset
// says; the tables count the pages and name the further segments, which the object
// references they make retrieve.
TEST_F(BuiltDocuments, PagedDocumentTablesAndSegments) {
    Open("BOB", "Bob.Pass");
    CsXdrHitRow* hit = Hit("A0007");
    ASSERT_NE(hit, nullptr);
    EXPECT_STREQ(hit->object->name, "3FAA$");
    const std::string data = Retrieve(hit);
    const uint32_t tablesLength = hit->object->compressedOffset;
    ASSERT_LT(tablesLength, data.size());
    EXPECT_EQ(data.substr(tablesLength), PartText(0));

    CsDocTables* raw = nullptr;
    ASSERT_EQ(CsConvertDocument(pages_, data.data(), tablesLength, 1, &raw), CS_OK);
    ASSERT_EQ(CsEndDocTables(&raw), CS_OK) << "the end word ends the tables";
    std::unique_ptr<CsDocTables, TablesFree> tables(raw);
    EXPECT_EQ(tables->total, 5u);
    EXPECT_EQ(tables->perObject, 2u);
    EXPECT_EQ(tables->objectCount, 3u);
    EXPECT_EQ(tables->codePage, 819u);
    EXPECT_TRUE(tables->flags & CS_DOCTAB_PAGE_NAMES);
    ASSERT_EQ(tables->pageEntryCount, 3u) << "the empty name is no entry";
    const uint32_t pagesNamed[] = {1, 2, 4};
    const char* names[] = {"One", "Two", "Four"};
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(tables->PageEntry(i)->page, pagesNamed[i]);
        EXPECT_EQ(tables->PageEntry(i)->name, names[i]);
    }

    const CsObjectPages view = tables->objects.View();
    CsXdrObjectRef* own = hit->object;
    for (int n = 1; n <= 2; ++n) {
        CsXdrObjectRef segment{};
        ASSERT_EQ(CsMakeObjectRef(&view, n, own, &segment), CS_OK);
        EXPECT_EQ(std::string(segment.name), n == 1 ? "3FAAB" : "3FAAC");
        hit->object = &segment;
        EXPECT_EQ(Retrieve(hit), PartText(n)) << "segment " << n + 1;
        hit->object = own;
        std::free(segment.name);
    }
}

TEST_F(BuiltDocuments, ApplicationDataTypeLetter) {
    Open("BOB", "Bob.Pass");
    ASSERT_EQ(folder_->groups[0].applCount, 1u);
    EXPECT_EQ(folder_->groups[0].appls[0].flags[0], 'R');
}

}  // namespace
